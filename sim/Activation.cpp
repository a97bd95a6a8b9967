#include "sim/Activation.h"

#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/SimulatorSettings.h"
#include "sim/pc/PortSwitch.h"

namespace zorvan::sim {

ActivationResult ActivateFromConfig(const std::wstring& configPath) {
    ActivationResult result;
    const std::optional<platform::PrivateProfile> profile = platform::PrivateProfile::Load(configPath);
    if (!profile) {
        return result;  // no Config.ini: the program reports that itself
    }
    bool enabled = false;
    if (!ReadSimulatorEnabled(*profile, enabled, result.error)) {
        return result;  // neither the simulator nor, unasked, the real drivers
    }
    if (!enabled) {
        return result;  // the section is not in use; its other values do not matter
    }
    SimulatorSettings settings;
    if (!ReadSimulatorSettings(*profile, settings, result.error)) {
        return result;
    }
    if (!EqualsNoCase(settings.vendor, L"NVIDIA") && !EqualsNoCase(settings.vendor, L"AMD") &&
        !EqualsNoCase(settings.vendor, L"Intel") && !EqualsNoCase(settings.vendor, L"LSPCON") &&
        !EqualsNoCase(settings.vendor, L"Linux")) {
        result.error = Format(L"[Simulator] Vendor=%s: the value must be NVIDIA, AMD, Intel, "
                              L"LSPCON or Linux.",
                              settings.vendor.c_str());
        return result;
    }
    ResolvePortStatePaths(configPath, settings.portSwitch);
    result.session = SimulatorSession::Start(
        settings, ResolveStatePath(configPath, settings.stateFile), result.error);
    return result;
}

}  // namespace zorvan::sim
