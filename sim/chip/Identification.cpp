#include "sim/chip/Identification.h"

#include "sim/chip/FirmwareImage.h"

namespace zorvan::sim {

IdentificationBlock CurrentIdentification(const ChipState& state) {
    IdentificationBlock block{};
    if (state.mode == ChipMode::Application) {
        const ImageId id = ImageIdentification(state.flash);
        const FirmwareVersion v = ImageVersion(state.flash);
        for (size_t i = 0; i < id.size(); ++i) {
            block[i] = id[i];
        }
        block[7] = v.major;
        block[8] = v.minor;
        block[9] = v.build;
    } else {
        const FamilyProfile& p = ProfileOf(state.family);
        for (size_t i = 0; i < 6; ++i) {
            block[i] = static_cast<uint8_t>(p.romId[i]);
        }
        block[7] = p.romMajor;
        block[8] = p.romMinor;
        block[9] = 0;
    }
    block[6] = state.hwRevision;
    return block;
}

}  // namespace zorvan::sim
