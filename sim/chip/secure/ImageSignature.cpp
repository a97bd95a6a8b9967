#include "sim/chip/secure/ImageSignature.h"

#include "sim/chip/ChipState.h"
#include "sim/chip/FirmwareImage.h"

namespace zorvan::sim {
namespace {

constexpr size_t kSignatureAt = kImageSignatureOffset - kLastKibOffset;
constexpr size_t kSignatureEnd = kSignatureAt + kImageSignatureSize;
constexpr size_t kCrcAt = kImageCrcOffset - kLastKibOffset;

}  // namespace

BytePieces ImageSignedPieces(std::span<const uint8_t> firmwareRegions,
                             std::span<const uint8_t> lastKib) {
    if (firmwareRegions.size() != kFirmwareEnd || lastKib.size() != kLastKibSize) {
        return {};
    }
    return {firmwareRegions, lastKib.subspan(0, kSignatureAt),
            lastKib.subspan(kSignatureEnd, kCrcAt - kSignatureEnd)};
}

std::span<const uint8_t> ImageSignatureField(std::span<const uint8_t> lastKib) {
    if (lastKib.size() != kLastKibSize) {
        return {};
    }
    return lastKib.subspan(kSignatureAt, kImageSignatureSize);
}

bool ImageSignatureValid(const std::vector<uint8_t>& flash, std::span<const uint8_t> lastKib) {
    if (flash.size() != kFlashSize || lastKib.size() != kLastKibSize) {
        return false;
    }
    const std::span<const uint8_t> regions(flash.data(), kFirmwareEnd);
    return VerifySignature(ImageSignedPieces(regions, lastKib), ImageSignatureField(lastKib),
                           ChipPublicKeyPem());
}

}  // namespace zorvan::sim
