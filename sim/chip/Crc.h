#pragma once
// Checksums the virtual chip computes on its own side of the link.
#include <cstddef>
#include <cstdint>

namespace zorvan::sim {

// CRC-16, polynomial 0x1021, initial value 0x1021, most significant bit first, no final
// XOR: the chip's OTP identity block and its flash blocks carry it.
uint16_t Crc16Chip(const uint8_t* data, size_t size, uint16_t crc = 0x1021);

// CRC-32 (IEEE 802.3, reflected, initial value and final XOR 0xFFFFFFFF). `crc` continues
// an earlier result, so separate pieces can be checked as one stream.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

}  // namespace zorvan::sim
