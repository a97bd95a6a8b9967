#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Results of Connect besides 0.
inline constexpr int32_t GFX_NV_ENUM_FAILED = 5;  // the physical GPUs could not be listed
inline constexpr int32_t GFX_NV_NO_DEVICE = 7;    // no GPU yielded a usable display

// NVIDIA graphics through NVAPI (nvapi::ActiveDriver()). Connect keeps one device per GPU
// in a process-wide list; every transfer addresses the first of them and ignores its
// device id argument. Transfers before a successful Connect return GFX_NO_DEVICE.
class GfxLibNvidia final : public GfxLib {
public:
    GfxLibNvidia();
    // Empties the process-wide device list.
    ~GfxLibNvidia();
    GfxLibNvidia(const GfxLibNvidia&) = delete;
    GfxLibNvidia& operator=(const GfxLibNvidia&) = delete;

protected:
    int32_t DoInit(std::wstring& text) override;
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override;
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override;
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override;
};

}  // namespace zorvan
