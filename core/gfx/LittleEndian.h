#pragma once
// Little-endian fields of the driver records, written and read byte by byte so that the
// layout does not depend on the host's byte order or on structure packing.
#include <cstdint>

namespace zorvan::le {

inline void Put32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

inline uint64_t Get64(const uint8_t* at) {
    return static_cast<uint64_t>(Get32(at)) | static_cast<uint64_t>(Get32(at + 4)) << 32;
}

}  // namespace zorvan::le
