#include "sim/chip/OtpDamage.h"

#include <utility>

#include "sim/chip/Otp.h"

namespace zorvan::sim {

void CorruptOtpCrc(ChipState& state) {
    const uint32_t at = kOtpIdentityAddress - kOtpBase + 14;
    if (state.otp.size() < at + 2) {
        return;
    }
    std::swap(state.otp[at], state.otp[at + 1]);
    if (state.otp[at] == state.otp[at + 1]) {
        state.otp[at] = static_cast<uint8_t>(state.otp[at] ^ 0xFF);
    }
}

void CorruptOtpContent(ChipState& state) {
    for (const OtpContentWord& word : kOtpContentWords) {
        const uint32_t at = word.address - kOtpBase + 3;  // the word's low byte
        if (at < state.otp.size()) {
            state.otp[at] = static_cast<uint8_t>(state.otp[at] ^ 0x01);
        }
    }
}

}  // namespace zorvan::sim
