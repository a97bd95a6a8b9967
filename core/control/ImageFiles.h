#pragma once
// Layout of the files an update takes, as far as the loaders and later steps rely on it.
//   ISP driver:  [4-byte little-endian code length L, present when byte 0 is 0 and L <= 0x4000]
//                code, then for secure ISP 256 signature bytes; without header all is code.
//   firmware:    a full 512 KiB flash image; the version sits 20 bytes before its end
//                (minor, major, build).
//   ESM:         4-byte little-endian payload length, payload.
//   CMDB:        the Customized Data Block record, written from flash offset 0x7E000.
#include <cstdint>
#include <span>

namespace zorvan {

inline constexpr uint32_t kLengthHeaderSize = 4;
inline constexpr uint32_t kMaxDriverCode = 0x4000;
inline constexpr uint32_t kDriverSignatureSize = 256;
inline constexpr uint32_t kFirmwareImageSize = 0x80000;
inline constexpr uint32_t kFirmwareVersionFromEnd = 20;
// The ESM download always sends a first group of 256 bytes and then a rest.
inline constexpr uint32_t kMinEsmPayload = 257;
// Driver and ESM files are some KiB; the loaders refuse anything this large unread.
inline constexpr uint32_t kMaxDriverFileSize = 1024 * 1024;
inline constexpr uint32_t kMaxEsmFileSize = 1024 * 1024;

struct DriverLayout {
    bool hasHeader = false;
    uint32_t codeLength = 0;    // announced by the header (0 without one)
    bool hasSignature = false;  // the file holds 256 bytes after the announced code
    bool headerFits = true;     // the file holds all the code the header announces
};

// Reads the layout of a driver file's bytes (the file itself, not its rounded buffer).
DriverLayout InspectDriver(std::span<const uint8_t> file);

// The little-endian 32-bit length at the start of a driver or ESM file (0 if shorter).
uint32_t LengthHeader(std::span<const uint8_t> file);

}  // namespace zorvan
