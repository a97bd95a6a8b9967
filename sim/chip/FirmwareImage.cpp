#include "sim/chip/FirmwareImage.h"

#include <cstring>

#include "sim/chip/ChipState.h"
#include "sim/chip/Crc.h"
#include "sim/chip/LittleEndian.h"

namespace zorvan::sim {
namespace {

constexpr uint8_t kMagic[4] = {'Z', 'V', 'F', 'W'};

}  // namespace

uint32_t ImageCrc(const std::vector<uint8_t>& image) {
    if (image.size() != kFlashSize) {
        return 0;
    }
    const uint32_t crc = Crc32(image.data(), kFirmwareEnd);
    return Crc32(image.data() + kLastKibOffset, kImageCrcOffset - kLastKibOffset, crc);
}

bool IsRunnableImage(const std::vector<uint8_t>& flash, ChipFamily family) {
    if (flash.size() != kFlashSize) {
        return false;
    }
    if (std::memcmp(flash.data() + kImageMagicOffset, kMagic, sizeof kMagic) != 0) {
        return false;
    }
    if (flash[kImageTargetOffset] != static_cast<uint8_t>(family)) {
        return false;
    }
    return Get32(flash.data() + kImageCrcOffset) == ImageCrc(flash);
}

FirmwareVersion ImageVersion(const std::vector<uint8_t>& flash) {
    if (flash.size() != kFlashSize) {
        return {};
    }
    FirmwareVersion v;
    v.minor = flash[kImageVersionOffset];
    v.major = flash[kImageVersionOffset + 1];
    v.build = flash[kImageVersionOffset + 2];
    return v;
}

ImageId ImageIdentification(const std::vector<uint8_t>& flash) {
    ImageId id{};
    if (flash.size() == kFlashSize) {
        std::memcpy(id.data(), flash.data() + kImageIdOffset, id.size());
    }
    return id;
}

void StampImage(std::vector<uint8_t>& image, ChipFamily target, const ImageId& id,
                FirmwareVersion version) {
    image.resize(kFlashSize, 0xFF);
    std::memcpy(image.data() + kImageIdOffset, id.data(), id.size());
    image[kImageVersionOffset] = version.minor;
    image[kImageVersionOffset + 1] = version.major;
    image[kImageVersionOffset + 2] = version.build;
    std::memcpy(image.data() + kImageMagicOffset, kMagic, sizeof kMagic);
    image[kImageTargetOffset] = static_cast<uint8_t>(target);
    std::memset(image.data() + kImageTargetOffset + 1, 0, kImageCrcOffset - kImageTargetOffset - 1);
    StampImageCrc(image);
}

void StampImageCrc(std::vector<uint8_t>& image) {
    if (image.size() != kFlashSize) {
        return;
    }
    const uint32_t crc = ImageCrc(image);
    for (uint32_t i = 0; i < 4; ++i) {
        image[kImageCrcOffset + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
}

}  // namespace zorvan::sim
