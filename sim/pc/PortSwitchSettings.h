#pragma once
// The optional port switch of the virtual PC: [Simulator] PortSwitch=1 puts a switch at DDC
// address 0x60 on the chip's link, with a chip of its own behind Port#1 and Port#2 at the
// DDC addresses the dialog is configured with (Ddc2biAddrP1, Ddc2biAddrP2 of "Firmware
// Update").
#include <array>
#include <cstdint>
#include <string>

#include "core/platform/PrivateProfile.h"

namespace zorvan::sim {

struct PortSwitchSettings {
    bool enabled = false;
    // The state file of the chip behind each port; empty: nothing is behind that port.
    std::array<std::wstring, 2> stateFiles;
    // 8-bit DDC/CI addresses of the chips behind the ports.
    std::array<uint8_t, 2> ddcAddresses{0x6E, 0x6E};
};

// Reads PortSwitch, Port1StateFile and Port2StateFile of [Simulator] and the port addresses
// of "Firmware Update". False, with `error` naming the key, for an unusable value.
bool ReadPortSwitchSettings(const platform::PrivateProfile& profile, PortSwitchSettings& settings,
                            std::wstring& error);

}  // namespace zorvan::sim
