#include "tools/zorvan-links/LinksTool.h"

#include "core/config/LoadConfig.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/Activation.h"

namespace zorvan::linkstool {
namespace {

// The chip's address and the I2C rule come from Config.ini when there is one.
ProbeOptions OptionsFromConfig() {
    ZorvanControl control;
    IspConfig config;
    std::wstring message;
    ProbeOptions options;
    if (LoadConfig(ConfigProgram::Console, config, control, message)) {
        options.ddcAddress = config.ddcAddress;
        options.forceDdc = config.linuxLink.forceDdc;
    }
    return options;
}

}  // namespace

const char* UsageText() {
    return "usage: zorvan-links list\n"
           "       zorvan-links probe CONNECTOR\n"
           "\n"
           "  list             one row per DisplayPort connector: GPU, driver, connector,\n"
           "                   status, display, AUX node and name, I2C bus, access\n"
           "  probe CONNECTOR  reads DPCD 0x000 and 0x500 of the connector (card0-DP-1, or\n"
           "                   its AUX node /dev/drm_dp_auxN), sends the chip's probe packet\n"
           "                   and reads the chip type; it writes nothing else\n";
}

int RunLinksTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool list = args.size() == 1 && args[0] == "list";
    const bool probe = args.size() == 2 && args[0] == "probe";
    if (!list && !probe) {
        err << UsageText();
        return LINKS_EXIT_BAD_USAGE;
    }
    // Never look at the real kernel when the simulator was asked for.
    sim::ActivationResult activation =
        sim::ActivateFromConfig(platform::ProgramFolder() + kConfigFileName);
    if (!activation.error.empty()) {
        err << ToUtf8(activation.error) << "\n";
        return LINKS_EXIT_FAILED;
    }
    if (list) {
        return RunList(linuxsys::ActiveSystem(), out, err);
    }
    return RunProbe(args[1], OptionsFromConfig(), out, err);
}

}  // namespace zorvan::linkstool
