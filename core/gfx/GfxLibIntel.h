#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Connect found no device that answers the probe.
inline constexpr int32_t GFX_INTEL_NOT_FOUND = 5;
// A data-block transfer without the driver's object.
inline constexpr int32_t GFX_INTEL_NO_INTERFACE = -1;

// Device types the search examines: an AUX device, and two kinds without a transport of
// their own (probed over whatever transport is current).
inline constexpr uint32_t kIntelDeviceAux = 7;
inline constexpr uint32_t kIntelDeviceType5 = 5;
inline constexpr uint32_t kIntelDeviceType3 = 3;
// Status bit of a device the driver reports as usable.
inline constexpr uint32_t kIntelDeviceUsable = 0x2;

// Intel graphics through the driver's automation object (cui::ActiveDriver()). Every AUX
// transaction is one exchange of the 32-byte AUX data block; the device id is the
// driver's device UID. The I2C transfers need a transport: Connect chooses the AUX data
// block when it meets an AUX device (type 7); until then they refuse with 13.
class GfxLibIntel final : public GfxLib {
public:
    GfxLibIntel();
    // Releases the driver's object.
    ~GfxLibIntel();
    GfxLibIntel(const GfxLibIntel&) = delete;
    GfxLibIntel& operator=(const GfxLibIntel&) = delete;

    // A device id from the configuration, used without a search, names an AUX device:
    // the I2C transfers then go through the AUX data block. A zero id changes nothing.
    void UseConfiguredDevice(uint32_t deviceId);

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
