#pragma once
// The virtual Linux PC: its GPUs with the driver bound to each, their connectors, and for
// each DisplayPort connector whether the driver registers an AUX device with an
// I2C-over-AUX bus, what is plugged in and who may open the nodes.
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/PrivateProfile.h"

namespace zorvan::sim {

struct LinuxConnectorSpec {
    std::string type = "DP";  // "DP", "eDP", "HDMI-A", ...
    uint32_t index = 1;       // cardN-<type>-<index>
    bool connected = true;
    std::string displayName;  // the EDID's name; empty: no EDID
    bool auxDevice = true;    // the driver registers an AUX device and its I2C bus
    std::string auxName;      // the AUX channel's name, shared by its I2C bus
    bool hasChip = false;     // the virtual chip is behind it
    bool i2cDevLoaded = true; // i2c-dev made a node for the bus
    bool ddcClaimed = false;  // a kernel driver (ddcci) owns 0x37 on its bus
};

struct LinuxGpuSpec {
    std::string pciAddress;
    std::string driver;
    std::vector<LinuxConnectorSpec> connectors;
};

struct LinuxPcSpec {
    std::vector<LinuxGpuSpec> gpus;  // none: no DRM device at all
    // The udev rule applies: the nodes are open to group video, of which the user is a
    // member. Without it they are root-only and the user may not open them.
    bool udevRule = true;
};

// The [Simulator] keys of the virtual Linux PC.
struct LinuxPcSettings {
    bool udevRule = true;     // LinuxUdevRule, 1 or 0
    bool ddcClaimed = false;  // LinuxDdcClaimed, 0 or 1
};

bool ReadLinuxPcSettings(const platform::PrivateProfile& profile, LinuxPcSettings& settings,
                         std::wstring& error);

// card0: the integrated GPU (i915, 0000:00:02.0) with the chip behind card0-DP-1, nothing
// on card0-DP-2 and a monitor on card0-HDMI-A-1; card1: a GPU driven by nvidia
// (0000:01:00.0) with a monitor on card1-DP-1 and nothing on card1-DP-2, neither with an
// AUX device.
LinuxPcSpec DefaultLinuxPc(const LinuxPcSettings& settings);

// A 128-byte EDID base block whose name descriptor holds `name` (at most 13 characters).
std::string MakeEdid(const std::string& name);

}  // namespace zorvan::sim
