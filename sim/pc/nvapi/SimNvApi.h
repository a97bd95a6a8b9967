#pragma once
// The NVIDIA driver interface of the virtual PC. It checks every record the way the
// driver does (version words, sizes, counts, request types, the length field) before it
// touches the link, and fills the records byte by byte. A DP AUX request answers with
// the reply code at offset 36: 0 acknowledged, 1 refused, 2 deferred; a request that gets
// no reply on the wire fails the call (NVAPI_ERROR) with reply code 255. An I2C request
// names its device by the 8-bit write address (0x6E for the chip, reads included); an odd
// address is refused as an invalid argument, so it never reaches the chip at 0x37.
#include <cstddef>
#include <cstdint>

#include "core/gfx/nvapi/NvApi.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/nvapi/NvRecords.h"

namespace zorvan::sim {

// The driver's interface is the host's driver layer (nvapi::Driver); every code and layout
// it decodes is its own (NvRecords.h).
class SimNvApi final : public nvapi::Driver {
public:
    explicit SimNvApi(VirtualPc& pc) : pc_(pc) {}

    // The status Initialize returns (a PC whose driver is broken returns an error).
    void SetInitializeStatus(nvapi::Status status) { initializeStatus_ = status; }

    nvapi::Status Initialize() override;
    nvapi::Status EnumPhysicalGpus(nvapi::GpuHandle handles[kNvMaxPhysicalGpus],
                                   uint32_t* count) override;
    nvapi::Status GetConnectedDisplayIds(nvapi::GpuHandle gpu, uint8_t* records, uint32_t* count,
                                         uint32_t flags) override;
    nvapi::Status GetDisplayHandleFromId(uint32_t displayId, nvapi::DisplayHandle* handle) override;
    nvapi::Status QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) override;
    nvapi::Status DpAuxChannel(nvapi::DisplayHandle display, uint8_t* request,
                               uint32_t size) override;

    static constexpr nvapi::GpuHandle kGpuHandleBase = 0x00100000;
    static constexpr nvapi::DisplayHandle kDisplayHandleBase = 0x00D00000;

private:
    struct Where {
        size_t gpu = 0;
        size_t display = 0;
    };
    bool FindDisplayId(uint32_t displayId, Where& where) const;
    bool FindDisplayHandle(nvapi::DisplayHandle handle, Where& where) const;
    const DisplaySpec& Display(const Where& where) const;
    nvapi::DisplayHandle HandleOf(const Where& where) const;

    VirtualPc& pc_;
    nvapi::Status initializeStatus_ = kNvOk;
    bool initialized_ = false;
};

}  // namespace zorvan::sim
