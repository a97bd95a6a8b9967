#include "core/gfx/GfxLibIntelSkylake.h"

namespace zorvan {

GfxLibIntelSkylake::GfxLibIntelSkylake() : GfxLib(131, 0) {}
GfxLibIntelSkylake::~GfxLibIntelSkylake() = default;

int32_t GfxLibIntelSkylake::DoInit(std::wstring& text) {
    text = L"Graphics adapter initialization - Intel (LS-PCON): failed!\r\n";
    return GFX_INIT_FAILED;
}
int32_t GfxLibIntelSkylake::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_INIT_FAILED;
}
int32_t GfxLibIntelSkylake::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibIntelSkylake::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) { return GFX_INIT_FAILED; }
int32_t GfxLibIntelSkylake::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) { return GFX_INIT_FAILED; }
int32_t GfxLibIntelSkylake::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return GFX_INIT_FAILED; }

}  // namespace zorvan
