#pragma once
#include "core/gfx/GfxLib.h"

namespace zorvan {

// Placeholder until the backend is built: its vendor interface never initialises.
class GfxLibAmd final : public GfxLib {
public:
    GfxLibAmd();
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
