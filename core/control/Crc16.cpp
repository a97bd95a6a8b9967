#include "core/control/Crc16.h"

namespace zorvan {
namespace {

constexpr uint16_t kPolynomial = 0x1021;
constexpr uint16_t kInitialValue = 0x1021;

}  // namespace

uint16_t Crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = kInitialValue;
    for (const uint8_t byte : bytes) {
        crc = static_cast<uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (carry) {
                crc = static_cast<uint16_t>(crc ^ kPolynomial);
            }
        }
    }
    return crc;
}

}  // namespace zorvan
