#include "core/gfx/GfxLibIntel.h"

#include <memory>

#include "core/gfx/cui/Cui.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// Transport modes: none chosen yet, or the AUX data block.
constexpr int kTransportNone = 0;

// The process-wide state of this backend.
struct IntelState {
    std::unique_ptr<cui::Interface> object;
    int transport = kTransportNone;
};

IntelState& State() {
    static IntelState state;
    return state;
}

int32_t NativeTransfer() {
    return State().object == nullptr ? GFX_INTEL_NO_INTERFACE : GFX_NO_DEVICE;
}

int32_t I2cTransfer() {
    return State().transport == kTransportNone ? GFX_BAD_ARGUMENT : NativeTransfer();
}

}  // namespace

GfxLibIntel::GfxLibIntel() : GfxLib(132, 0) {}

GfxLibIntel::~GfxLibIntel() { State() = IntelState{}; }

int32_t GfxLibIntel::DoInit(std::wstring& text) {
    const cui::HResult hr = cui::CreateCuiObject(&State().object);
    if (hr < 0) {
        text = Format(L"Graphics adapter initialization - Intel: failed! (%d)\r\n", hr);
        return GFX_INIT_FAILED;
    }
    text = L"Graphics adapter initialization - Intel: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibIntel::DoConnect(uint32_t& deviceId, uint32_t, std::wstring& text) {
    text.clear();
    State().transport = kTransportNone;
    deviceId = 0;
    return GFX_INTEL_NOT_FOUND;
}

int32_t GfxLibIntel::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return I2cTransfer();
}

int32_t GfxLibIntel::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) {
    return I2cTransfer();
}

int32_t GfxLibIntel::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return NativeTransfer();
}

int32_t GfxLibIntel::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return NativeTransfer(); }

}  // namespace zorvan
