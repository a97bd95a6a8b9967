#include "sim/chip/ChipState.h"

#include "sim/chip/FirmwareImage.h"
#include "sim/chip/Otp.h"

namespace zorvan::sim {

ChipState NewChipState(ChipFamily family, uint32_t serial) {
    ChipState state;
    state.family = family;
    state.hwRevision = ProfileOf(family).hwRevision;
    state.otp = MakeOtp(family, serial);
    state.flash.assign(kFlashSize, 0xFF);
    PowerCycle(state);
    return state;
}

ChipMode ModeAtPowerOn(const ChipState& state) {
    return IsRunnableImage(state.flash, state.family) ? ChipMode::Application : ChipMode::BootRom;
}

void PowerCycle(ChipState& state) {
    state.securityFirmwareRunning = false;
    state.mode = ModeAtPowerOn(state);
}

}  // namespace zorvan::sim
