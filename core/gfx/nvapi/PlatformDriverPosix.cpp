// Platforms without the NVIDIA driver interface: the driver library is never found, so
// initialisation fails as it does on a PC without the NVIDIA driver.
#include "core/gfx/nvapi/PlatformDriver.h"

namespace zorvan::nvapi {
namespace {

class MissingDriver final : public Driver {
public:
    Status Initialize() override { return NVAPI_LIBRARY_NOT_FOUND; }
    Status EnumPhysicalGpus(GpuHandle[kMaxPhysicalGpus], uint32_t* count) override {
        if (count != nullptr) {
            *count = 0;
        }
        return NVAPI_API_NOT_INITIALIZED;
    }
    Status GetConnectedDisplayIds(GpuHandle, uint8_t*, uint32_t*, uint32_t) override {
        return NVAPI_API_NOT_INITIALIZED;
    }
    Status GetDisplayHandleFromId(uint32_t, DisplayHandle*) override {
        return NVAPI_API_NOT_INITIALIZED;
    }
    Status QueryDpTopology(uint32_t, uint8_t*, uint32_t*) override {
        return NVAPI_API_NOT_INITIALIZED;
    }
    Status DpAuxChannel(DisplayHandle, uint8_t*, uint32_t) override {
        return NVAPI_API_NOT_INITIALIZED;
    }
};

}  // namespace

Driver& PlatformDriver() {
    static MissingDriver driver;
    return driver;
}

}  // namespace zorvan::nvapi
