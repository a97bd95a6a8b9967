#pragma once
// The 10-byte identification block the chip publishes at DPCD 0x503 (and chip address
// 0x1B503): identification string (6), hardware revision, firmware major, minor, build.
// The running application reports its image's string and version; the boot ROM its own.
#include <array>
#include <cstdint>

#include "sim/chip/ChipState.h"

namespace zorvan::sim {

inline constexpr uint32_t kIdentificationDpcd = 0x503;
inline constexpr uint32_t kIdentificationSize = 10;

using IdentificationBlock = std::array<uint8_t, kIdentificationSize>;

IdentificationBlock CurrentIdentification(const ChipState& state);

}  // namespace zorvan::sim
