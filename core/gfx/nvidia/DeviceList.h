#pragma once
// The NVIDIA backend's process-wide list of found devices: one per GPU whose display
// search succeeded. Connect refills it; every transfer addresses its first entry.
#include <cstdint>
#include <deque>
#include <memory>

#include "core/gfx/nvapi/NvApi.h"
#include "core/gfx/nvapi/Records.h"

namespace zorvan::nvidia {

struct Device {
    nvapi::DisplayHandle displayHandle = 0;
    uint32_t displayId = 0;
    // Block of the first node of the display's DP topology; zero without an MST root.
    uint8_t topology[nvapi::kTopologyBlockSize] = {};
};

using DeviceList = std::deque<std::shared_ptr<Device>>;

DeviceList& Devices();

// The device transfers address, or null while the list is empty.
std::shared_ptr<const Device> FirstDevice();

}  // namespace zorvan::nvidia
