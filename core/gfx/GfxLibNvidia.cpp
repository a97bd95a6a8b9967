#include "core/gfx/GfxLibNvidia.h"

namespace zorvan {

GfxLibNvidia::GfxLibNvidia() : GfxLib(131, 700) {}
GfxLibNvidia::~GfxLibNvidia() = default;

int32_t GfxLibNvidia::DoInit(std::wstring& text) {
    text = L"Graphics adapter initialization - NVIDIA: failed! (-2)\r\n";
    return GFX_INIT_FAILED;
}
int32_t GfxLibNvidia::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_INIT_FAILED;
}
int32_t GfxLibNvidia::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibNvidia::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) { return GFX_INIT_FAILED; }
int32_t GfxLibNvidia::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibNvidia::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return GFX_INIT_FAILED; }

}  // namespace zorvan
