#include "sim/chip/secure/EsmImage.h"

#include <algorithm>
#include <cstring>

#include "sim/chip/Crc.h"
#include "sim/chip/LittleEndian.h"

namespace zorvan::sim {
namespace {

constexpr uint8_t kMagic[4] = {'Z', 'V', 'E', 'S'};
constexpr uint32_t kCrcStart = 0x0C;

}  // namespace

std::vector<uint8_t> BuildEsmPayload(uint32_t length) {
    if (length < kEsmHeaderSize) {
        length = kEsmHeaderSize;
    }
    std::vector<uint8_t> payload(length, 0);
    std::memcpy(payload.data(), kMagic, sizeof kMagic);
    Put32(&payload[0x04], length);
    uint32_t seed = 0xE5A11CEu;
    for (uint32_t i = kEsmHeaderSize; i < length; ++i) {
        // xorshift32: the same "code" on every build.
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        payload[i] = static_cast<uint8_t>(seed >> 8);
    }
    Put32(&payload[0x08], Crc32(payload.data() + kCrcStart, length - kCrcStart));
    return payload;
}

bool IsIntactEsm(std::span<const uint8_t> area, uint32_t length) {
    if (length < kEsmHeaderSize || length > area.size()) {
        return false;
    }
    const uint8_t* p = area.data();
    return std::memcmp(p, kMagic, sizeof kMagic) == 0 && Get32(p + 0x04) == length &&
           Crc32(p + kCrcStart, length - kCrcStart) == Get32(p + 0x08);
}

std::vector<uint8_t> BuildEsmFile(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> file(4 + payload.size());
    Put32(file.data(), static_cast<uint32_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), file.begin() + 4);
    return file;
}

}  // namespace zorvan::sim
