#pragma once
// The [Simulator] section of Config.ini.
#include <cstdint>
#include <optional>
#include <string>

#include "core/platform/PrivateProfile.h"
#include "sim/faults/FaultInjector.h"
#include "sim/pc/PortSwitchSettings.h"
#include "sim/pc/linux/LinuxPc.h"

namespace zorvan::sim {

struct SimulatorSettings {
    bool enabled = false;
    std::wstring vendor = L"NVIDIA";
    std::wstring stateFile = L"virtual-chip.state";
    bool virtualClock = false;
    uint32_t faultSeed = 1;
    FaultRates faults;
    uint32_t powerLossAfterBlocks = 0;          // 0: never
    std::optional<uint32_t> stuckFlashAddress;  // a flash byte that no longer programs
    PortSwitchSettings portSwitch;
    LinuxPcSettings linuxPc;  // Vendor=Linux only
};

// Enabled: 0 (also when absent or empty) or 1. False, with `error` naming the value, for
// anything else.
bool ReadSimulatorEnabled(const platform::PrivateProfile& profile, bool& enabled,
                          std::wstring& error);

// Reads the section (absent keys keep their defaults). False, with `error` naming the key,
// when a value is not one the key takes; a wrong Enabled is reported first.
bool ReadSimulatorSettings(const platform::PrivateProfile& profile, SimulatorSettings& settings,
                           std::wstring& error);

}  // namespace zorvan::sim
