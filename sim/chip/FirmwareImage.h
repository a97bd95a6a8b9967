#pragma once
// What makes a flash image runnable. The chip's boot ROM starts the application in
// flash only when the image's trailer, in the last KiB of the flash, holds the magic
// "ZVFW", the chip family the image was built for, and a CRC-32 that matches the firmware
// regions (0x00000-0x5FFFF) and the last KiB up to the CRC itself. The certificate block
// (0x60000) and the Customized Data Block (0x7E000) lie outside it, so writing those does
// not break the firmware. Anything else (a blank flash, a half-written image, an image
// for another family) leaves the chip in its boot ROM.
//
// Trailer (flash offsets):
//   0x7FFE0  6 bytes   identification string the application reports
//   0x7FFEC  3 bytes   version: minor, major, build
//   0x7FFF0  4 bytes   "ZVFW"
//   0x7FFF4  1 byte    target chip family code
//   0x7FFF5  7 bytes   zero
//   0x7FFFC  4 bytes   CRC-32, little-endian
//
// A signed image (the demo images are) also carries, in its last KiB:
//   0x7FD00  256 bytes RSA-2048 PKCS#1 v1.5 signature over SHA-256 of the firmware regions
//                      0x00000-0x5FFFF followed by the last KiB without this field and
//                      without the CRC (0x7FC00-0x7FCFF, then 0x7FE00-0x7FFFB)
// The trailer CRC covers the signature field, so an image is built in this order: content,
// trailer fields, signature, CRC. The boot ROM runs an image by its trailer alone; the
// signature matters to a signed ISP driver, which writes the last KiB with the secure
// program code 0x77 only when the image it completes verifies (sim/chip/secure/README.md).
// Plain ISP does not look at it.
#include <array>
#include <cstdint>
#include <vector>

#include "sim/chip/ChipFamily.h"

namespace zorvan::sim {

inline constexpr uint32_t kFirmwareEnd = 0x60000;
inline constexpr uint32_t kCertificateOffset = 0x60000;
inline constexpr uint32_t kCmdbOffset = 0x7E000;
inline constexpr uint32_t kCmdbSize = 128;
inline constexpr uint32_t kLastKibOffset = 0x7FC00;
inline constexpr uint32_t kLastKibSize = 0x400;
inline constexpr uint32_t kImageSignatureOffset = 0x7FD00;
inline constexpr uint32_t kImageSignatureSize = 256;
inline constexpr uint32_t kImageIdOffset = 0x7FFE0;
inline constexpr uint32_t kImageVersionOffset = 0x7FFEC;
inline constexpr uint32_t kImageMagicOffset = 0x7FFF0;
inline constexpr uint32_t kImageTargetOffset = 0x7FFF4;
inline constexpr uint32_t kImageCrcOffset = 0x7FFFC;

struct FirmwareVersion {
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t build = 0;
};

using ImageId = std::array<uint8_t, 6>;

// The CRC the trailer must hold for this image (which must be a whole flash).
uint32_t ImageCrc(const std::vector<uint8_t>& image);

bool IsRunnableImage(const std::vector<uint8_t>& flash, ChipFamily family);

// Trailer fields as they stand (meaningful for runnable images).
FirmwareVersion ImageVersion(const std::vector<uint8_t>& flash);
ImageId ImageIdentification(const std::vector<uint8_t>& flash);

// Writes the trailer (id, version, magic, target, CRC) into a whole-flash image after
// its content has been filled in.
void StampImage(std::vector<uint8_t>& image, ChipFamily target, const ImageId& id,
                FirmwareVersion version);

// Writes the CRC alone, after a change inside the range it covers (the signature).
void StampImageCrc(std::vector<uint8_t>& image);

}  // namespace zorvan::sim
