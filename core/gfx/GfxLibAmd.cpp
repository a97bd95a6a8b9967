#include "core/gfx/GfxLibAmd.h"

#include <cstdlib>

#include "core/gfx/adl/Adl.h"

namespace zorvan {
namespace {

// The process-wide library state.
struct AdlState {
    adl::Driver* library = nullptr;  // the layer the library was loaded through; null: none
    bool contextCreated = false;     // ADL_Main_Control_Create succeeded
};

AdlState& State() {
    static AdlState state;
    return state;
}

void* AllocateForAdl(int size) { return std::malloc(size > 0 ? static_cast<size_t>(size) : 1); }

// Only a created context is destroyed: when Init stopped at a missing entry point the
// destroy call may be one of those missing.
void ReleaseLibrary() {
    AdlState& state = State();
    if (state.library != nullptr) {
        if (state.contextCreated) {
            state.library->MainControlDestroy();
        }
        state.library->Unload();
    }
    state = AdlState{};
}

bool HasEntryPoints(adl::Driver& driver, int first, int last) {
    for (int i = first; i <= last; ++i) {
        if (!driver.HasEntryPoint(adl::kEntryPoints[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

GfxLibAmd::GfxLibAmd() : GfxLib(131, 700) {}

GfxLibAmd::~GfxLibAmd() { ReleaseLibrary(); }

int32_t GfxLibAmd::DoInit(std::wstring& text) {
    // A repeated Init (the GUI's Refresh) releases the earlier load instead of stacking a
    // second library reference and ADL context on top of it.
    ReleaseLibrary();
    adl::Driver& driver = adl::ActiveDriver();
    if (!driver.Load(adl::kLibraryName) && !driver.Load(adl::kLibraryNameFallback)) {
        text = L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
        return GFX_AMD_LOAD_FAILED;
    }
    State().library = &driver;
    if (!HasEntryPoints(driver, 0, adl::kEnumerationEntryPoints - 1)) {
        text = L"Graphics adapter initialization - AMD: Init handles failed!\r\n";
        return GFX_AMD_ENTRY_POINTS_MISSING;
    }
    if (!HasEntryPoints(driver, adl::kNativeAuxEntryPoint, adl::kNativeAuxEntryPoint)) {
        text = L"Graphics adapter initialization - AMD: Get Native AUX ch failed!\r\n";
        return GFX_AMD_NATIVE_AUX_MISSING;
    }
    if (!HasEntryPoints(driver, adl::kDdcBlockEntryPoint, adl::kDdcBlockEntryPoint)) {
        text = L"Graphics adapter initialization - AMD: Get DDC lock access ... failed!\r\n";
        return GFX_AMD_DDC_BLOCK_MISSING;
    }
    if (driver.MainControlCreate(AllocateForAdl, 1) != adl::ADL_OK) {
        text = L"Graphics adapter initialization - AMD: Init ADL failed!\r\n";
        return GFX_AMD_CREATE_FAILED;
    }
    State().contextCreated = true;
    text = L"Graphics adapter initialization - AMD: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibAmd::DoConnect(uint32_t&, uint32_t, std::wstring& text) {
    text.clear();
    return GFX_NO_DEVICE;
}

int32_t GfxLibAmd::DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return GFX_NO_DEVICE;
}

int32_t GfxLibAmd::DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) {
    return GFX_NO_DEVICE;
}

int32_t GfxLibAmd::DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) {
    return GFX_NO_DEVICE;
}

int32_t GfxLibAmd::DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) { return GFX_NO_DEVICE; }

}  // namespace zorvan
