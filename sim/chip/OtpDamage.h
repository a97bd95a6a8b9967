#pragma once
// Damaged OTPs, for chips that the host tools must refuse to provision: an identity block
// whose CRC does not match, and a broken chain of content words.
#include "sim/chip/ChipState.h"

namespace zorvan::sim {

// Stores the identity block's CRC high byte first, the byte order the host must not accept
// (the bytes are forced apart when the two happen to be equal).
void CorruptOtpCrc(ChipState& state);

// Changes every content word of the chain, so that the host's check of any of them fails.
void CorruptOtpContent(ChipState& state);

}  // namespace zorvan::sim
