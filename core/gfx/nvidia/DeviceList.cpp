#include "core/gfx/nvidia/DeviceList.h"

namespace zorvan::nvidia {

DeviceList& Devices() {
    static DeviceList devices;
    return devices;
}

std::shared_ptr<const Device> FirstDevice() {
    const DeviceList& devices = Devices();
    return devices.empty() ? nullptr : devices.front();
}

}  // namespace zorvan::nvidia
