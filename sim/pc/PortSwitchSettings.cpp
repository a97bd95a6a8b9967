#include "sim/pc/PortSwitchSettings.h"

#include "core/platform/Text.h"

namespace zorvan::sim {
namespace {

const std::wstring kSection = L"Simulator";
const std::wstring kDialogSection = L"Firmware Update";
constexpr int32_t kDefaultDdcAddress = 0x6E;
constexpr int32_t kSwitchDdcAddress = 0x60;

// The dialog's rule: an absent or zero port address is the host's, an absent or zero host
// address is 0x6E.
int32_t PortAddress(const platform::PrivateProfile& profile, const wchar_t* key) {
    int32_t host = profile.GetInt(kDialogSection, L"Ddc2biAddr", -1);
    if (host == -1 || host == 0) {
        host = kDefaultDdcAddress;
    }
    const int32_t port = profile.GetInt(kDialogSection, key, -1);
    return (port == -1 || port == 0) ? host : port;
}

}  // namespace

bool ReadPortSwitchSettings(const platform::PrivateProfile& profile, PortSwitchSettings& settings,
                            std::wstring& error) {
    settings.enabled = profile.GetInt(kSection, L"PortSwitch", 0) == 1;
    settings.stateFiles[0] = profile.GetString(kSection, L"Port1StateFile", L"");
    settings.stateFiles[1] = profile.GetString(kSection, L"Port2StateFile", L"");
    if (!settings.enabled) {
        return true;
    }
    const wchar_t* keys[2] = {L"Ddc2biAddrP1", L"Ddc2biAddrP2"};
    for (size_t i = 0; i < 2; ++i) {
        const int32_t address = PortAddress(profile, keys[i]);
        // A 7-bit I2C address written as its 8-bit DDC form; the switch's own is taken.
        if (address <= 0 || address > 0xFE || (address & 1) != 0 ||
            address == kSwitchDdcAddress) {
            error = Format(L"[Simulator] PortSwitch=1: the port address %s=0x%X is not an even "
                           L"DDC address other than 0x60.",
                           keys[i], address);
            return false;
        }
        settings.ddcAddresses[i] = static_cast<uint8_t>(address);
    }
    return true;
}

}  // namespace zorvan::sim
