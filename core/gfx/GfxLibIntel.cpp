#include "core/gfx/GfxLibIntel.h"

namespace zorvan {

GfxLibIntel::GfxLibIntel() : GfxLib(132, 0) {}
GfxLibIntel::~GfxLibIntel() = default;

int32_t GfxLibIntel::DoInit(std::wstring& text) {
    text = L"Graphics adapter initialization - Intel: failed!\r\n";
    return GFX_INIT_FAILED;
}
int32_t GfxLibIntel::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_INIT_FAILED;
}
int32_t GfxLibIntel::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibIntel::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) { return GFX_INIT_FAILED; }
int32_t GfxLibIntel::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibIntel::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return GFX_INIT_FAILED; }

}  // namespace zorvan
