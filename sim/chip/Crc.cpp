#include "sim/chip/Crc.h"

#include <array>

namespace zorvan::sim {
namespace {

std::array<uint32_t, 256> MakeCrc32Table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1u) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        table[i] = c;
    }
    return table;
}

}  // namespace

uint16_t Crc16Chip(const uint8_t* data, size_t size, uint16_t crc) {
    for (size_t i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021u)
                                       : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
    static const std::array<uint32_t, 256> table = MakeCrc32Table();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace zorvan::sim
