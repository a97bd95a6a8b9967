#pragma once
// Everything the virtual chip keeps between runs of the programs: the silicon it is, its
// OTP memory, its SPI flash, what it was running and whether its security firmware runs.
// Plain data; the state file stores exactly this.
#include <cstdint>
#include <vector>

#include "sim/chip/ChipFamily.h"

namespace zorvan::sim {

inline constexpr uint32_t kFlashSize = 0x80000;

// What the chip executes.
enum class ChipMode : uint8_t {
    BootRom = 0,      // no runnable image in flash: the boot ROM answers
    Application = 1,  // the firmware image in flash runs
};

struct ChipState {
    ChipFamily family = ChipFamily::Kq1100;
    uint8_t hwRevision = 0;
    ChipMode mode = ChipMode::BootRom;
    // The security firmware (ESM) started by a secure run keeps running until a power cycle.
    bool securityFirmwareRunning = false;
    std::vector<uint8_t> otp;    // kOtpSize bytes, chip addresses kOtpBase onward
    std::vector<uint8_t> flash;  // kFlashSize bytes
};

// A chip fresh from the factory: its family's defaults, the serial number in its OTP,
// a blank (all 0xFF) flash, powered on.
ChipState NewChipState(ChipFamily family, uint32_t serial);

// What the chip runs when it comes out of reset with this flash.
ChipMode ModeAtPowerOn(const ChipState& state);

// Off and on again: whatever ran in RAM, the security firmware included, is gone; the
// chip boots from its flash.
void PowerCycle(ChipState& state);

}  // namespace zorvan::sim
