#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Connect found no LS-PCON port that answers the probe.
inline constexpr int32_t GFX_LSPCON_NOT_FOUND = 5;
// The driver does not support the LS-PCON request.
inline constexpr int32_t GFX_LSPCON_NOT_SUPPORTED = 2;
// A data-block transfer without the driver's object.
inline constexpr int32_t GFX_LSPCON_NO_INTERFACE = -1;

// The LS-PCON port ids Connect tries, in order.
inline constexpr uint32_t kLspconFirstPort = 0x0C;
inline constexpr uint32_t kLspconLastPort = 0x0F;

// Intel LS-PCON ports through the driver's automation object (cui::ActiveDriver()), with
// an object of its own. Every AUX transaction is one exchange of the 160-byte LS-PCON
// data block; the device id is the LS-PCON port id.
class GfxLibIntelSkylake final : public GfxLib {
public:
    GfxLibIntelSkylake();
    // Releases the driver's object.
    ~GfxLibIntelSkylake();
    GfxLibIntelSkylake(const GfxLibIntelSkylake&) = delete;
    GfxLibIntelSkylake& operator=(const GfxLibIntelSkylake&) = delete;

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

private:
    // The probe of one port: the code of its write, else of its polled read, else 15 for a
    // reply that is not the chip's acknowledgement.
    int32_t ProbePort(uint32_t port, uint32_t ddcAddress);
};

}  // namespace zorvan
