#pragma once
// The chip's CRC-16: polynomial 0x1021, initial value 0x1021, most significant bit first,
// no reflection, no final XOR. Flash blocks and the OTP identity block both use it.
#include <cstdint>
#include <span>

namespace zorvan {

uint16_t Crc16(std::span<const uint8_t> bytes);

}  // namespace zorvan
