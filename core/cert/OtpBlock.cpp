#include "core/cert/OtpBlock.h"

#include <span>

#include "core/control/Crc16.h"

namespace zorvan::cert {
namespace {

constexpr size_t kCrcCoveredBytes = 14;

struct ContentWord {
    uint32_t address;
    uint32_t value;
};
constexpr ContentWord kContentWords[] = {
    {0x26429, 0x130},
    {0x26559, 0x130},
    {0x26689, 0x14C},
    {0x267D5, 0x2C},
};

}  // namespace

bool OtpCrcMatches(const uint8_t* otpBlock) {
    const uint16_t crc = Crc16(std::span<const uint8_t>(otpBlock, kCrcCoveredBytes));
    return otpBlock[14] == static_cast<uint8_t>(crc & 0xFF) &&
           otpBlock[15] == static_cast<uint8_t>(crc >> 8);
}

int32_t OtpSerial(const uint8_t* otpBlock) {
    return static_cast<int32_t>(static_cast<uint32_t>(otpBlock[10]) << 24 |
                                static_cast<uint32_t>(otpBlock[11]) << 16 |
                                static_cast<uint32_t>(otpBlock[12]) << 8 | otpBlock[13]);
}

bool OtpContentIntact(const std::function<uint32_t(uint32_t address)>& readWord) {
    for (const ContentWord& word : kContentWords) {
        if (readWord(word.address) != word.value) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvan::cert
