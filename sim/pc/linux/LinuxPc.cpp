#include "sim/pc/linux/LinuxPc.h"

#include <algorithm>

#include "core/platform/Text.h"

namespace zorvan::sim {
namespace {

const std::wstring kSection = L"Simulator";

bool ReadSwitch(const platform::PrivateProfile& profile, const wchar_t* key, bool& value,
                std::wstring& error) {
    const std::wstring text = profile.GetString(kSection, key, L"");
    if (text.empty()) {
        return true;
    }
    if (text != L"0" && text != L"1") {
        error = Format(L"[Simulator] %s=%s: the value must be 0 or 1.", key, text.c_str());
        return false;
    }
    value = text == L"1";
    return true;
}

LinuxConnectorSpec Connector(const char* type, uint32_t index, bool connected,
                             const char* display, bool aux, const char* auxName) {
    LinuxConnectorSpec c;
    c.type = type;
    c.index = index;
    c.connected = connected;
    c.displayName = display;
    c.auxDevice = aux;
    c.auxName = auxName;
    return c;
}

}  // namespace

bool ReadLinuxPcSettings(const platform::PrivateProfile& profile, LinuxPcSettings& settings,
                         std::wstring& error) {
    return ReadSwitch(profile, L"LinuxUdevRule", settings.udevRule, error) &&
           ReadSwitch(profile, L"LinuxDdcClaimed", settings.ddcClaimed, error);
}

LinuxPcSpec DefaultLinuxPc(const LinuxPcSettings& settings) {
    LinuxGpuSpec integrated{"0000:00:02.0", "i915", {}};
    LinuxConnectorSpec chip = Connector("DP", 1, true, "Merak 2710H", true, "AUX B/DDI B/PHY B");
    chip.hasChip = true;
    chip.ddcClaimed = settings.ddcClaimed;
    integrated.connectors.push_back(chip);
    integrated.connectors.push_back(Connector("DP", 2, false, "", true, "AUX C/DDI C/PHY C"));
    integrated.connectors.push_back(Connector("HDMI-A", 1, true, "Merak 2410H", false, ""));

    LinuxGpuSpec discrete{"0000:01:00.0", "nvidia", {}};
    discrete.connectors.push_back(Connector("DP", 1, true, "Merak 3200U", false, ""));
    discrete.connectors.push_back(Connector("DP", 2, false, "", false, ""));

    LinuxPcSpec pc;
    pc.gpus = {integrated, discrete};
    pc.udevRule = settings.udevRule;
    return pc;
}

std::string MakeEdid(const std::string& name) {
    static constexpr uint8_t kHeader[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    // 1920x1080 at 60 Hz.
    static constexpr uint8_t kTiming[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                                            0x2C, 0x45, 0x00, 0x0F, 0x48, 0x42, 0x00, 0x00, 0x1E};
    std::string edid(128, '\0');
    std::copy(kHeader, kHeader + 8, edid.begin());
    edid[8] = 0x36;  // manufacturer "MRK"
    edid[9] = 0x4B;
    edid[10] = 0x10;  // product 0x2710
    edid[11] = 0x27;
    edid[16] = 1;     // week
    edid[17] = 33;    // 2023
    edid[18] = 1;     // EDID 1.4
    edid[19] = 4;
    edid[20] = static_cast<char>(0xA5);  // digital, 8 bits, DisplayPort
    edid[21] = 60;    // 60 x 34 cm
    edid[22] = 34;
    edid[23] = 120;   // gamma 2.2
    edid[24] = 0x06;
    std::copy(kTiming, kTiming + 18, edid.begin() + 54);
    const size_t nameAt = 72;
    edid[nameAt + 3] = static_cast<char>(0xFC);
    const std::string text = name.substr(0, 13);
    for (size_t i = 0; i < 13; ++i) {
        edid[nameAt + 5 + i] = i < text.size() ? text[i] : (i == text.size() ? '\n' : ' ');
    }
    edid[90 + 3] = 0x10;  // unused descriptors
    edid[108 + 3] = 0x10;
    uint8_t sum = 0;
    for (size_t i = 0; i < 127; ++i) {
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(edid[i]));
    }
    edid[127] = static_cast<char>(static_cast<uint8_t>(0x100 - sum));
    return edid;
}

}  // namespace zorvan::sim
