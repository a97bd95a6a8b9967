#pragma once
// The [Firmware Update] keys of the Linux kernel backend.
#include <string>

namespace zorvan {

struct LinuxLinkSettings {
    // LinuxConnector: a connector name ("card0-DP-1") or the path of its AUX node
    // ("/dev/drm_dp_aux0"); empty: the connectors are searched.
    std::wstring connector;
    // LinuxForceDdc=1: take the chip's I2C address even while a kernel driver owns it.
    bool forceDdc = false;
};

}  // namespace zorvan
