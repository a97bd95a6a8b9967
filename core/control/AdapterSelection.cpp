// ZorvanControl::InitGraphicsAdapter: picks, initialises and connects the backend the
// configuration names, or tries them in turn in automatic mode.
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

GfxLib* BackendFor(ZorvanControl& control, int32_t selection) {
    switch (selection) {
        case GFX_NVIDIA:
            return &control.gfxNvidia;
        case GFX_AMD:
            return &control.gfxAmd;
        case GFX_INTEL_LSPCON:
            return &control.gfxIntelSkylake;
        case GFX_LINUX:
            return &control.gfxLinux;
        default:
            return &control.gfxIntel;
    }
}

const wchar_t* LabelFor(int32_t selection) {
    switch (selection) {
        case GFX_NVIDIA:
            return L"NVIDIA: ";
        case GFX_AMD:
            return L"AMD: ";
        case GFX_INTEL_LSPCON:
            return L"Intel (LS-PCON): ";
        case GFX_LINUX:
            return L"Linux: ";
        default:
            return L"Intel: ";
    }
}

std::wstring DeviceIdText(uint32_t deviceId) {
    return deviceId < 16 ? Format(L"0x%02X", deviceId) : Format(L"0x%X", deviceId);
}

}  // namespace

int32_t ZorvanControl::InitGraphicsAdapter(std::wstring& text) {
    text = Format(L"Gfx Selection = %d\r\n", gfxSelection);
    // A code outside the table (negative ones included) runs no backend.
    if (gfxSelection < GFX_AUTO || gfxSelection > GFX_LINUX) {
        return 2;
    }
    std::wstring scratch;
    std::wstring suffix;
    int32_t last = 10;
    bool initialised = false;

    int32_t v = gfxSelection == GFX_AUTO ? GFX_NVIDIA : gfxSelection;
    while (v <= GFX_LINUX) {
        // The Linux backend comes after the vendors' in the search, where the platform has it.
        if (v == GFX_LINUX && gfxSelection == GFX_AUTO && !GfxLibLinux::Available()) {
            break;
        }
        gfx = BackendFor(*this, v);
        gfxName = LabelFor(v);
        last = gfx->Init(scratch);
        if (last != 0) {
            suffix = L"failed";
            // An LS-PCON interface that cannot be created skips the legacy Intel backend,
            // which uses the same driver object.
            if (v == GFX_INTEL_LSPCON) {
                v = GFX_INTEL;
            }
        } else {
            initialised = true;
            text += scratch;
            scratch.clear();
            // A configured Intel or LS-PCON id is used as it is, without probing.
            if (gfxSelection <= GFX_AMD || gfxSelection == GFX_LINUX || deviceId == 0) {
                last = gfx->Connect(deviceId, ddcAddress, scratch);
            } else if (gfx == &gfxIntel) {
                gfxIntel.UseConfiguredDevice(deviceId);
            }
            // Card and bus numbers change across boots: the Linux backend names its
            // connector, GPU and nodes instead of a number.
            suffix = last != 0             ? std::wstring()
                     : gfx == &gfxLinux ? gfxLinux.Description()
                                        : DeviceIdText(deviceId);
        }
        text += scratch;
        scratch.clear();
        if (gfxSelection != GFX_AUTO || last == 0) {
            break;
        }
        ++v;
    }
    gfxName += suffix;
    if (last == 0) {
        return 0;
    }
    return initialised ? 1 : 2;
}

}  // namespace zorvan
