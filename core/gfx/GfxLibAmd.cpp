#include "core/gfx/GfxLibAmd.h"

namespace zorvan {

GfxLibAmd::GfxLibAmd() : GfxLib(131, 700) {}
GfxLibAmd::~GfxLibAmd() = default;

int32_t GfxLibAmd::DoInit(std::wstring& text) {
    text = L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
    return 1004;
}
int32_t GfxLibAmd::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_INIT_FAILED;
}
int32_t GfxLibAmd::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibAmd::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) { return GFX_INIT_FAILED; }
int32_t GfxLibAmd::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibAmd::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return GFX_INIT_FAILED; }

}  // namespace zorvan
