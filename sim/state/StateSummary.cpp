#include "sim/state/StateSummary.h"

#include <cstdio>

#include "sim/chip/FirmwareImage.h"
#include "sim/chip/Otp.h"

namespace zorvan::sim {

std::string DescribeState(const ChipState& state) {
    char line[96];
    std::string out = "family=" + FamilyName(state.family) + "\n";
    std::snprintf(line, sizeof line, "serial=%u\nhw-revision=0x%02X\n", OtpSerial(state.otp),
                  state.hwRevision);
    out += line;
    if (state.mode == ChipMode::Application) {
        const FirmwareVersion v = ImageVersion(state.flash);
        std::snprintf(line, sizeof line, "mode=application\nfirmware-version=%u.%02u\nfirmware-build=%u\n",
                      v.major, v.minor, v.build);
        out += line;
    } else {
        out += "mode=boot-rom\nfirmware-version=none\nfirmware-build=none\n";
    }
    out += state.securityFirmwareRunning ? "security-firmware=running\n"
                                         : "security-firmware=stopped\n";
    return out;
}

}  // namespace zorvan::sim
