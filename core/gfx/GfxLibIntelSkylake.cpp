#include "core/gfx/GfxLibIntelSkylake.h"

#include <memory>

#include "core/gfx/cui/Cui.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// The process-wide object of this backend, apart from the Intel backend's own.
std::unique_ptr<cui::Interface>& Object() {
    static std::unique_ptr<cui::Interface> object;
    return object;
}

int32_t Transfer() { return Object() == nullptr ? GFX_LSPCON_NO_INTERFACE : GFX_NO_DEVICE; }

}  // namespace

GfxLibIntelSkylake::GfxLibIntelSkylake() : GfxLib(131, 0) {}

GfxLibIntelSkylake::~GfxLibIntelSkylake() { Object().reset(); }

int32_t GfxLibIntelSkylake::DoInit(std::wstring& text) {
    const cui::HResult hr = cui::CreateCuiObject(&Object());
    if (hr < 0) {
        text = Format(L"Graphics adapter initialization - Intel (LS-PCON): failed! (%d)\r\n", hr);
        return GFX_INIT_FAILED;
    }
    text = L"Graphics adapter initialization - Intel (LS-PCON): done!\r\n";
    return GFX_OK;
}

int32_t GfxLibIntelSkylake::DoConnect(uint32_t& deviceId, uint32_t, std::wstring& text) {
    text.clear();
    deviceId = 0;
    return GFX_LSPCON_NOT_FOUND;
}

int32_t GfxLibIntelSkylake::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return Transfer();
}

int32_t GfxLibIntelSkylake::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) {
    return Transfer();
}

int32_t GfxLibIntelSkylake::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return Transfer();
}

int32_t GfxLibIntelSkylake::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) {
    return Transfer();
}

}  // namespace zorvan
