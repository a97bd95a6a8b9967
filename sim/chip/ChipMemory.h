#pragma once
// The chip's own address space as the vendor memory commands (ReadMemory 0x52,
// ReadRegister 0x50) reach it:
//   0x01B000-0x01BFFF  the standard DPCD registers (identification block at 0x1B503)
//   0x026000-0x027FFF  OTP (identity block at 0x2640C, content words above it)
//   0x400000-0x47FFFF  the SPI flash, mapped only while the application runs
// Everything else is unmapped.
#include <cstdint>

#include "sim/chip/ChipState.h"
#include "sim/chip/Dpcd.h"

namespace zorvan::sim {

inline constexpr uint32_t kDpcdMirrorBase = 0x1B000;
inline constexpr uint32_t kFlashMapBase = 0x400000;

class ChipMemory {
public:
    ChipMemory(const ChipState& state, const Dpcd& dpcd) : state_(state), dpcd_(dpcd) {}

    // False, with nothing read, when any byte of the range is unmapped.
    bool Read(uint32_t address, uint32_t count, uint8_t* out) const;

private:
    const ChipState& state_;
    const Dpcd& dpcd_;
};

}  // namespace zorvan::sim
