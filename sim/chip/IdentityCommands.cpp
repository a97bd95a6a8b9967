// The probe and the type queries: what the chip says about itself.
#include "sim/chip/VendorCommands.h"

namespace zorvan::sim {

CommandOutcome VendorCommands::Probe(const VendorCommand& command) const {
    if (!command.params.empty()) {
        return {};
    }
    return {true, BuildAck(), kAckProcessingUs};
}

CommandOutcome VendorCommands::TypeQuery(const VendorCommand& command) const {
    if (command.params.size() != 2 || command.params[1] != 0x02) {
        return {};
    }
    const FamilyProfile& profile = ProfileOf(state_.family);
    const TypeQueryAnswer* answer = nullptr;
    if (command.params[0] == 0xC8) {
        answer = &profile.queryC8;
    } else if (command.params[0] == 0x80) {
        answer = &profile.query80;
    } else {
        return {};
    }
    const std::vector<uint8_t> data = {command.params[0], command.params[1], (*answer)[0],
                                       (*answer)[1]};
    return {true, BuildVendorReply(command.code, data), kQueryProcessingUs};
}

}  // namespace zorvan::sim
