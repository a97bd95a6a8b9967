#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Connect found no device that answers the probe.
inline constexpr int32_t GFX_INTEL_NOT_FOUND = 5;
// A data-block transfer without the driver's object.
inline constexpr int32_t GFX_INTEL_NO_INTERFACE = -1;

// Intel graphics through the driver's automation object (cui::ActiveDriver()). The
// device search and the data-block transfers are not built yet: Connect finds nothing,
// the I2C transfers refuse with 13 (no transport chosen), and the native transfers return
// -1 without the object and GFX_NO_DEVICE with it, never touching the link.
class GfxLibIntel final : public GfxLib {
public:
    GfxLibIntel();
    // Releases the driver's object.
    ~GfxLibIntel();
    GfxLibIntel(const GfxLibIntel&) = delete;
    GfxLibIntel& operator=(const GfxLibIntel&) = delete;

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
