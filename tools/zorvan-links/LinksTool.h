#pragma once
// zorvan-links: the DisplayPort connectors of a Linux PC as the kernel's DRM and i2c-dev
// interfaces show them, and a read-only identification of the chip behind one. Each
// command writes its results to `out` and its complaints to `err` and returns the exit
// status: 0 done, 1 failed (the reason on `err`), 2 wrong use (the usage on `err`).
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/gfx/linux/System.h"

namespace zorvan::linkstool {

inline constexpr int LINKS_EXIT_OK = 0;
inline constexpr int LINKS_EXIT_FAILED = 1;
inline constexpr int LINKS_EXIT_BAD_USAGE = 2;

// args: the command line without the program name. Runs on the virtual kernel when the
// Config.ini beside the program enables the simulator.
int RunLinksTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One row per DisplayPort connector; fails when no connector has an AUX device.
int RunList(linuxsys::System& system, std::ostream& out, std::ostream& err);

struct ProbeOptions {
    uint32_t ddcAddress = 0x6E;  // Ddc2biAddr
    bool forceDdc = false;       // LinuxForceDdc
};

// Reads DPCD 0x000 and 0x500, sends the probe packet and reads the chip type; writes
// nothing else. `connector`: a name such as card0-DP-1 or the path of its AUX node.
int RunProbe(const std::string& connector, const ProbeOptions& options, std::ostream& out,
             std::ostream& err);

const char* UsageText();

}  // namespace zorvan::linkstool
