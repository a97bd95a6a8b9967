#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Results of Init besides 0.
inline constexpr int32_t GFX_AMD_LOAD_FAILED = 1004;         // neither library file loads
inline constexpr int32_t GFX_AMD_ENTRY_POINTS_MISSING = 1005;  // an enumeration entry point
inline constexpr int32_t GFX_AMD_NATIVE_AUX_MISSING = 1006;
inline constexpr int32_t GFX_AMD_DDC_BLOCK_MISSING = 1007;
inline constexpr int32_t GFX_AMD_CREATE_FAILED = 2998;       // the ADL context

// The header of a DDC/CI reply: attempts, and the pause after each of them.
inline constexpr int kAmdHeaderAttempts = 31;
inline constexpr uint16_t kAmdHeaderPauseUs = 20000;

// AMD graphics through the AMD Display Library (adl::ActiveDriver()), loaded at run time.
// The library stays loaded for the process until the backend is destroyed. I2C goes
// through DDC block access in blocks of up to 131 bytes, DPCD through native AUX access.
// The device id is (ADL adapter index << 16) + display logical index. Transfers without
// an ADL context return GFX_NO_DEVICE without touching the link.
class GfxLibAmd final : public GfxLib {
public:
    GfxLibAmd();
    // Destroys the ADL context and unloads the library if it was loaded.
    ~GfxLibAmd();
    GfxLibAmd(const GfxLibAmd&) = delete;
    GfxLibAmd& operator=(const GfxLibAmd&) = delete;

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
