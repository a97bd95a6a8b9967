#include "sim/chip/Otp.h"

#include "sim/chip/Crc.h"

namespace zorvan::sim {
namespace {

// Identity bytes of the factory lot ("MP" production parts); part of what a certificate
// record is matched against.
constexpr uint8_t kIdentityBytes[6] = {'M', 'P', 0x20, 0x24, 0x01, 0x00};

void PutBigEndian32(std::vector<uint8_t>& otp, uint32_t offset, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
        otp[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

}  // namespace

std::vector<uint8_t> MakeOtp(ChipFamily family, uint32_t serial) {
    std::vector<uint8_t> otp(kOtpSize, 0x00);
    const uint32_t id = kOtpIdentityAddress - kOtpBase;
    const char* model = ProfileOf(family).otpModel;
    for (uint32_t i = 0; i < 4; ++i) {
        otp[id + i] = static_cast<uint8_t>(model[i]);
    }
    for (uint32_t i = 0; i < 6; ++i) {
        otp[id + 4 + i] = kIdentityBytes[i];
    }
    PutBigEndian32(otp, id + 10, serial);
    const uint16_t crc = Crc16Chip(&otp[id], 14);
    otp[id + 14] = static_cast<uint8_t>(crc & 0xFF);
    otp[id + 15] = static_cast<uint8_t>(crc >> 8);
    for (const OtpContentWord& w : kOtpContentWords) {
        PutBigEndian32(otp, w.address - kOtpBase, w.value);
    }
    return otp;
}

uint32_t OtpSerial(const std::vector<uint8_t>& otp) {
    const uint32_t at = kOtpIdentityAddress - kOtpBase + 10;
    if (otp.size() < at + 4) {
        return 0;
    }
    return (static_cast<uint32_t>(otp[at]) << 24) | (static_cast<uint32_t>(otp[at + 1]) << 16) |
           (static_cast<uint32_t>(otp[at + 2]) << 8) | otp[at + 3];
}

}  // namespace zorvan::sim
