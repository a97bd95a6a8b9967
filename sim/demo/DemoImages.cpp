#include "sim/demo/DemoImages.h"

#include <cstring>
#include <span>

#include "sim/chip/ChipState.h"
#include "sim/chip/secure/ImageSignature.h"
#include "sim/demo/DemoSigning.h"

namespace zorvan::sim {
namespace {

// Code areas of the two firmware regions; the rest of each region stays erased.
constexpr uint32_t kCode1Begin = 0x00000;
constexpr uint32_t kCode1End = 0x1C000;
constexpr uint32_t kCode2Begin = 0x24000;
constexpr uint32_t kCode2End = 0x3E000;
constexpr uint32_t kTamperedByte = 0x30000;

void FillCode(std::vector<uint8_t>& image, uint32_t begin, uint32_t end, uint32_t& seed) {
    for (uint32_t i = begin; i < end; ++i) {
        // xorshift32: cheap, and the same bytes on every build.
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        image[i] = static_cast<uint8_t>(seed);
    }
}

}  // namespace

std::vector<uint8_t> MakeCmdbRecord(uint8_t major, uint8_t minor, uint8_t customMajor,
                                    uint8_t customMinor, const std::vector<uint8_t>& productData) {
    std::vector<uint8_t> record(kCmdbSize, 0);
    std::memcpy(record.data(), "CMDB", 4);
    record[4] = major;
    record[5] = minor;
    record[6] = customMajor;
    record[7] = customMinor;
    for (size_t i = 0; i < productData.size() && 8 + i < kCmdbSize - 1; ++i) {
        record[8 + i] = productData[i];
    }
    uint8_t sum = 0;
    for (size_t i = 0; i < kCmdbSize - 1; ++i) {
        sum = static_cast<uint8_t>(sum + record[i]);
    }
    record[kCmdbSize - 1] = static_cast<uint8_t>(0x100 - sum);
    return record;
}

std::vector<uint8_t> MakeFirmwareImage(ChipFamily family, FirmwareVersion version) {
    std::vector<uint8_t> image(kFlashSize, 0xFF);
    uint32_t seed = 0x5A17C0DEu ^ (static_cast<uint32_t>(family) << 24) ^
                    (static_cast<uint32_t>(version.build) << 16) ^
                    (static_cast<uint32_t>(version.major) << 8) ^ version.minor;
    if (seed == 0) {
        seed = 1;
    }
    FillCode(image, kCode1Begin, kCode1End, seed);
    FillCode(image, kCode2Begin, kCode2End, seed);
    const std::vector<uint8_t> cmdb = MakeCmdbRecord(1, 0, 1, 0, {});
    std::memcpy(image.data() + kCmdbOffset, cmdb.data(), cmdb.size());
    ImageId id{};
    std::memcpy(id.data(), ProfileOf(family).appId, id.size());
    StampImage(image, family, id, version);
    SignFirmwareImage(image);
    return image;
}

void SignFirmwareImage(std::vector<uint8_t>& image) {
    if (image.size() != kFlashSize) {
        return;
    }
    const std::span<const uint8_t> regions(image.data(), kFirmwareEnd);
    const std::span<const uint8_t> lastKib(image.data() + kLastKibOffset, kLastKibSize);
    const std::vector<uint8_t> signature = SignWithDemoKey(ImageSignedPieces(regions, lastKib));
    if (signature.size() == kImageSignatureSize) {
        std::memcpy(image.data() + kImageSignatureOffset, signature.data(), signature.size());
    }
    StampImageCrc(image);
}

std::vector<uint8_t> MakeTamperedFirmwareImage(ChipFamily family, FirmwareVersion version) {
    std::vector<uint8_t> image = MakeFirmwareImage(family, version);
    image[kTamperedByte] ^= 0x10;
    StampImageCrc(image);
    return image;
}

}  // namespace zorvan::sim
