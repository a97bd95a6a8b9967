#include "core/control/LinkReservation.h"

#include "core/control/ZorvanControl.h"
#include "core/gfx/nvidia/DeviceList.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// InitGraphicsAdapter's result when no backend could be initialised.
constexpr int32_t kNoBackend = 2;

std::wstring DisplayText(uint32_t id) {
    return id < 16 ? Format(L"0x%02X", id) : Format(L"0x%X", id);
}

}  // namespace

std::wstring LinkName(const ZorvanControl& control) {
    const GfxLib* gfx = control.gfx;
    if (gfx == &control.gfxNvidia) {
        const std::shared_ptr<const nvidia::Device> first = nvidia::FirstDevice();
        return L"NVIDIA: " + DisplayText(first ? first->displayId : control.deviceId);
    }
    if (gfx == &control.gfxAmd) {
        return L"AMD: " + DisplayText(control.deviceId);
    }
    if (gfx == &control.gfxIntelSkylake) {
        return L"Intel (LS-PCON): " + DisplayText(control.deviceId);
    }
    if (gfx == &control.gfxIntel) {
        return L"Intel: " + DisplayText(control.deviceId);
    }
    // One connector is one AUX node and one I2C bus, whichever name selected it.
    if (gfx == &control.gfxLinux) {
        const linuxlink::DpConnector* connector = control.gfxLinux.Current();
        return connector ? L"Linux: " + FromUtf8(connector->name) : L"Linux: none";
    }
    return L"none";
}

std::wstring LinkLockName(const std::wstring& link, const std::wstring& scope) {
    return scope.empty() ? link : link + L" @ " + scope;
}

std::unique_ptr<platform::LinkLock> ReserveLink(const ZorvanControl& control, int32_t selection,
                                                const std::wstring& scope, std::wstring& message) {
    message.clear();
    if (selection == kNoBackend) {
        return std::make_unique<platform::LinkLock>();
    }
    const std::wstring link = LinkName(control);
    platform::LinkLockAttempt attempt = platform::TryLockLink(LinkLockName(link, scope));
    switch (attempt.outcome) {
        case platform::LinkLockOutcome::kHeld:
            return std::move(attempt.lock);
        case platform::LinkLockOutcome::kBusy:
            message = Format(
                L"The link %s is in use by another program; try again when it has "
                L"finished!\r\n",
                link.c_str());
            return nullptr;
        case platform::LinkLockOutcome::kError:
            break;
    }
    message = Format(L"The link %s cannot be locked: %s\r\n", link.c_str(), attempt.error.c_str());
    return nullptr;
}

}  // namespace zorvan
