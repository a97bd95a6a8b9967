#pragma once
// The DisplayPort connectors of the kernel's DRM devices as sysfs shows them: for each
// connector its GPU (PCI address and driver), whether a display is connected and its name
// from the EDID, the connector's AUX node (/dev/drm_dp_auxN) and its I2C-over-AUX bus
// (/dev/i2c-M, through the i2c-dev module), and whether this user may open both. Card and
// bus numbers change across boots; the connector name and the GPU's address do not.
#include <cstdint>
#include <string>
#include <vector>

#include "core/gfx/linux/System.h"

namespace zorvan::linuxlink {

inline constexpr char kDrmClassPath[] = "/sys/class/drm";
// The udev rule we ship that opens the nodes to group video.
inline constexpr char kUdevRuleName[] = "60-zorvan-dp-aux.rules";

struct DpConnector {
    std::string name;        // "card0-DP-1"
    std::string card;        // "card0"
    std::string gpuAddress;  // "0000:00:02.0"; empty when sysfs does not tell
    std::string gpuDriver;   // "i915"; empty when no driver is bound
    std::string status;      // "connected", "disconnected", "unknown"
    std::string displayName; // from the EDID's name descriptor; empty without one
    std::string auxNode;     // "/dev/drm_dp_aux0"; empty: the driver registers none
    std::string auxName;     // the AUX channel's name, "AUX B/DDI B/PHY B" ("DPMST" behind an MST hub)
    std::string i2cNode;     // "/dev/i2c-5"; empty when there is no usable bus node
    std::string i2cBus;      // "i2c-5"
    // Why the connector cannot be used; empty when both nodes are there and, once the
    // access was checked, this user may open them.
    std::string problem;

    bool Connected() const { return status == "connected"; }
    bool HasAux() const { return !auxNode.empty(); }
    bool Usable() const { return problem.empty(); }
};

struct ConnectorScan {
    bool drmPresent = false;  // /sys/class/drm could be listed
    std::vector<DpConnector> connectors;  // DisplayPort and embedded DisplayPort, in order

    bool AnyAux() const;
};

// Lists the connectors; with checkAccess each usable connector's nodes are opened and
// closed again (no transfer), and a refusal is told in `problem`.
ConnectorScan ScanConnectors(linuxsys::System& system, bool checkAccess);

// Finds a connector by its name ("card0-DP-1") or by the path of its AUX node; null when
// none matches.
const DpConnector* FindConnector(const ConnectorScan& scan, const std::string& key);

// Whether this user may open the node for reading and writing; `problem` receives the
// reason when not: which node, and what to do about it.
bool CheckNodeAccess(linuxsys::System& system, const std::string& node, std::string& problem);

// The display's name from an EDID base block; empty when the block is not one or has no
// name descriptor. Only printable ASCII is kept.
std::string DisplayNameFromEdid(const uint8_t* edid, size_t size);

// "card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5)"
std::string Describe(const DpConnector& connector);

// Reads a small sysfs attribute whole (at most `limit` bytes); 0 or -errno.
int ReadAttribute(linuxsys::System& system, const std::string& path, std::string& value,
                  size_t limit = 4096);

}  // namespace zorvan::linuxlink
