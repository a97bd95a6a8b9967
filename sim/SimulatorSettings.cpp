#include "sim/SimulatorSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "core/platform/Text.h"
#include "sim/chip/ChipState.h"

namespace zorvan::sim {
namespace {

const std::wstring kSection = L"Simulator";

// A probability written as a decimal fraction from 0 to 1 ("0", "0.05", "1").
bool ParseRate(const std::wstring& text, double& rate) {
    const std::string narrow = ToUtf8(text);
    if (narrow.empty()) {
        return false;
    }
    for (char c : narrow) {
        if (!((c >= '0' && c <= '9') || c == '.')) {
            return false;
        }
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(narrow.c_str(), &end);
    if (errno != 0 || end != narrow.c_str() + narrow.size() || !(v >= 0 && v <= 1)) {
        return false;
    }
    rate = v;
    return true;
}

bool ReadRate(const platform::PrivateProfile& profile, const wchar_t* key, double& rate,
              std::wstring& error) {
    if (!profile.HasKey(kSection, key)) {
        return true;
    }
    const std::wstring text = profile.GetString(kSection, key, L"");
    if (text.empty()) {
        return true;
    }
    if (!ParseRate(text, rate)) {
        error = Format(L"[Simulator] %s=%s: the value must be a number from 0 to 1.", key,
                       text.c_str());
        return false;
    }
    return true;
}

// A flash offset, 0x-prefixed hexadecimal or decimal, below the flash size.
bool ReadStuckFlashAddress(const platform::PrivateProfile& profile,
                           std::optional<uint32_t>& address, std::wstring& error) {
    const std::wstring text = profile.GetString(kSection, L"StuckFlashAddress", L"");
    if (text.empty()) {
        return true;
    }
    const std::string narrow = ToUtf8(text);
    const bool hex =
        narrow.size() > 2 && narrow[0] == '0' && (narrow[1] == 'x' || narrow[1] == 'X');
    const std::string digits = hex ? narrow.substr(2) : narrow;
    const bool wellFormed = !digits.empty() && digits.size() <= 8 &&
                            std::all_of(digits.begin(), digits.end(), [hex](char c) {
                                return (c >= '0' && c <= '9') ||
                                       (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
                            });
    const unsigned long value =
        wellFormed ? std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10) : 0;
    if (!wellFormed || value >= kFlashSize) {
        error = Format(L"[Simulator] StuckFlashAddress=%s: the value must be a flash offset "
                       L"below 0x%X.",
                       text.c_str(), kFlashSize);
        return false;
    }
    address = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool ReadSimulatorEnabled(const platform::PrivateProfile& profile, bool& enabled,
                          std::wstring& error) {
    // Only the two documented values: anything else could be meant either way, and taking
    // it as 0 would send the program to real hardware.
    const std::wstring text = profile.GetString(kSection, L"Enabled", L"");
    if (text.empty() || text == L"0") {
        enabled = false;
        return true;
    }
    if (text == L"1") {
        enabled = true;
        return true;
    }
    enabled = false;
    error = Format(L"[Simulator] Enabled=%s: the value must be 0 or 1.", text.c_str());
    return false;
}

bool ReadSimulatorSettings(const platform::PrivateProfile& profile, SimulatorSettings& settings,
                           std::wstring& error) {
    if (!ReadSimulatorEnabled(profile, settings.enabled, error)) {
        return false;
    }

    const std::wstring vendor = profile.GetString(kSection, L"Vendor", L"NVIDIA");
    if (!vendor.empty()) {
        settings.vendor = vendor;
    }
    const std::wstring stateFile = profile.GetString(kSection, L"StateFile", L"");
    if (!stateFile.empty()) {
        settings.stateFile = stateFile;
    }

    const std::wstring clock = profile.GetString(kSection, L"Clock", L"real");
    if (clock.empty() || EqualsNoCase(clock, L"real")) {
        settings.virtualClock = false;
    } else if (EqualsNoCase(clock, L"virtual")) {
        settings.virtualClock = true;
    } else {
        error = Format(L"[Simulator] Clock=%s: the value must be virtual or real.", clock.c_str());
        return false;
    }

    settings.faultSeed = static_cast<uint32_t>(profile.GetInt(kSection, L"FaultSeed", 1));

    const int32_t blocks = profile.GetInt(kSection, L"PowerLossAfterBlocks", 0);
    if (blocks < 0) {
        error = Format(L"[Simulator] PowerLossAfterBlocks=%d: the value must be 0 or a number of "
                       L"blocks.",
                       blocks);
        return false;
    }
    settings.powerLossAfterBlocks = static_cast<uint32_t>(blocks);

    return ReadStuckFlashAddress(profile, settings.stuckFlashAddress, error) &&
           ReadPortSwitchSettings(profile, settings.portSwitch, error) &&
           ReadLinuxPcSettings(profile, settings.linuxPc, error) &&
           ReadRate(profile, L"AuxDeferRate", settings.faults.auxDefer, error) &&
           ReadRate(profile, L"I2cDeferRate", settings.faults.i2cDefer, error) &&
           ReadRate(profile, L"NullReplyRate", settings.faults.nullReply, error) &&
           ReadRate(profile, L"CorruptReplyRate", settings.faults.corruptReply, error);
}

}  // namespace zorvan::sim
