#pragma once
// The chip's OTP identity block (16 bytes at chip address 0x2640C): model number in ASCII
// (4), further identity bytes (6), serial number (4, most significant first), and the
// CRC-16 of the 14 bytes before it (2, least significant first).
#include <cstdint>
#include <functional>

namespace zorvan::cert {

inline constexpr uint32_t OTP_BLOCK_ADDRESS = 0x2640C;

// True when bytes 14-15 hold the CRC-16 of bytes 0-13, low byte first.
bool OtpCrcMatches(const uint8_t* otpBlock);

// The serial number, bytes 10-13, as the signed number the messages show.
int32_t OtpSerial(const uint8_t* otpBlock);

// An intact OTP holds a chain of words, each the distance to the next address; `readWord`
// reads one 32-bit word of chip memory.
bool OtpContentIntact(const std::function<uint32_t(uint32_t address)>& readWord);

}  // namespace zorvan::cert
