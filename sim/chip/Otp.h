#pragma once
// The chip's one-time-programmable memory as the factory leaves it: an identity block
// (model, identity bytes, serial number, CRC-16) and a chain of content words, each
// giving the distance to the next, that tells an intact OTP from a damaged one.
#include <cstdint>
#include <vector>

#include "sim/chip/ChipFamily.h"

namespace zorvan::sim {

inline constexpr uint32_t kOtpBase = 0x26000;
inline constexpr uint32_t kOtpSize = 0x2000;

// The 16-byte identity block: model (4 ASCII), identity bytes (6), serial number
// (4, most significant first), CRC-16 of the 14 bytes before it (low byte first).
inline constexpr uint32_t kOtpIdentityAddress = 0x2640C;
inline constexpr uint32_t kOtpIdentitySize = 16;

// The content chain: at each address a 32-bit word (most significant byte first) that is
// the distance to the next address.
struct OtpContentWord {
    uint32_t address;
    uint32_t value;
};
inline constexpr OtpContentWord kOtpContentWords[] = {
    {0x26429, 0x130},
    {0x26559, 0x130},
    {0x26689, 0x14C},
    {0x267D5, 0x2C},
};

std::vector<uint8_t> MakeOtp(ChipFamily family, uint32_t serial);

// The serial number in the identity block (0 when the OTP is too short to hold one).
uint32_t OtpSerial(const std::vector<uint8_t>& otp);

}  // namespace zorvan::sim
