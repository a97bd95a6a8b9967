#include "core/gfx/linux/Connectors.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace zorvan::linuxlink {
namespace {

using linuxsys::FileStatus;
using linuxsys::FileType;
using linuxsys::System;

constexpr size_t kEdidLimit = 32768;
constexpr size_t kGroupFileLimit = 1 << 20;

bool IsDigits(const std::string& text, size_t from) {
    return from < text.size() &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "prefix<digits>"
bool IsNumbered(const std::string& text, const std::string& prefix) {
    return StartsWith(text, prefix) && IsDigits(text, prefix.size());
}

// Orders "card0-DP-2" before "card0-DP-10": runs of digits compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            size_t ei = i;
            size_t ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0) {
                ++ei;
            }
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0) {
                ++ej;
            }
            std::string na = a.substr(i, ei - i);
            std::string nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size() - 1));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size() - 1));
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.pop_back();
    }
    return text;
}

std::string Basename(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "card0-DP-1" -> card "card0", type "DP"; false for the card itself and other entries.
bool SplitConnectorName(const std::string& name, std::string& card, std::string& type) {
    const size_t dash = name.find('-');
    const size_t last = name.find_last_of('-');
    if (dash == std::string::npos || last == dash || !IsNumbered(name.substr(0, dash), "card") ||
        !IsDigits(name, last + 1)) {
        return false;
    }
    card = name.substr(0, dash);
    type = name.substr(dash + 1, last - dash - 1);
    return true;
}

std::string Attribute(System& system, const std::string& path) {
    std::string value;
    return ReadAttribute(system, path, value) == 0 ? Trimmed(value) : std::string();
}

struct Gpu {
    std::string address;
    std::string driver;
};

Gpu ReadGpu(System& system, const std::string& card) {
    Gpu gpu;
    const std::string device = std::string(kDrmClassPath) + "/" + card + "/device";
    std::string target;
    if (system.ReadLink(device, target) == 0) {
        gpu.address = Basename(target);
    }
    if (system.ReadLink(device + "/driver", target) == 0) {
        gpu.driver = Basename(target);
    }
    return gpu;
}

// The entries of `names` numbered after `prefix`, in natural order.
std::vector<std::string> Numbered(const std::vector<std::string>& names, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& n : names) {
        if (IsNumbered(n, prefix)) {
            found.push_back(n);
        }
    }
    std::sort(found.begin(), found.end(), NaturalLess);
    return found;
}

// The node must be the character device that the sysfs entry's "dev" names.
bool CheckDeviceNode(System& system, const std::string& node, const std::string& devPath,
                     const std::string& entry, std::string& problem) {
    FileStatus st;
    if (system.Stat(node, st) != 0) {
        problem = node + " does not exist (udev did not create it)";
        return false;
    }
    const std::string dev = Attribute(system, devPath);
    const std::string number = std::to_string(st.deviceMajor) + ":" + std::to_string(st.deviceMinor);
    if (st.type != FileType::kCharDevice || (!dev.empty() && dev != number)) {
        problem = node + " is not the device " + (dev.empty() ? "node" : dev) + " of " + entry;
        return false;
    }
    return true;
}

void FindNodes(System& system, const std::string& dir, DpConnector& c) {
    std::vector<std::string> entries;
    if (system.ReadDir(dir, entries) != 0) {
        return;
    }
    const std::vector<std::string> aux = Numbered(entries, "drm_dp_aux");
    if (aux.empty()) {
        return;
    }
    c.auxNode = "/dev/" + aux.front();
    c.auxName = Attribute(system, dir + "/" + aux.front() + "/name");
    if (!CheckDeviceNode(system, c.auxNode, dir + "/" + aux.front() + "/dev", aux.front(),
                         c.problem)) {
        return;
    }
    // The connector's I2C-over-AUX adapter carries the AUX channel's name.
    for (const std::string& bus : Numbered(entries, "i2c-")) {
        if (Attribute(system, dir + "/" + bus + "/name") == c.auxName) {
            c.i2cBus = bus;
            break;
        }
    }
    if (c.i2cBus.empty()) {
        c.problem = "the AUX channel has no I2C-over-AUX bus";
        return;
    }
    const std::string devDir = dir + "/" + c.i2cBus + "/i2c-dev/" + c.i2cBus;
    FileStatus st;
    if (system.Stat(devDir, st) != 0) {
        c.problem = c.i2cBus + " has no device node: load the module i2c-dev (sudo modprobe i2c-dev)";
        return;
    }
    c.i2cNode = "/dev/" + c.i2cBus;
    if (!CheckDeviceNode(system, c.i2cNode, devDir + "/dev", c.i2cBus, c.problem)) {
        c.i2cNode.clear();
    }
}

std::string NoAuxReason(const DpConnector& c) {
    if (c.gpuDriver == "nvidia") {
        return "nvidia-drm registers no AUX device";
    }
    if (c.gpuDriver.empty()) {
        return "no driver is bound to the GPU, so no AUX device is registered";
    }
    return c.gpuDriver + " registers no AUX device for this connector";
}

std::string GroupName(System& system, uint32_t gid) {
    std::string groups;
    if (ReadAttribute(system, "/etc/group", groups, kGroupFileLimit) == 0) {
        size_t start = 0;
        while (start < groups.size()) {
            size_t end = groups.find('\n', start);
            if (end == std::string::npos) {
                end = groups.size();
            }
            const std::string line = groups.substr(start, end - start);
            const size_t c1 = line.find(':');
            const size_t c2 = c1 == std::string::npos ? c1 : line.find(':', c1 + 1);
            const size_t c3 = c2 == std::string::npos ? c2 : line.find(':', c2 + 1);
            if (c3 != std::string::npos && line.substr(c2 + 1, c3 - c2 - 1) == std::to_string(gid)) {
                return line.substr(0, c1);
            }
            start = end + 1;
        }
    }
    return std::to_string(gid);
}

std::string Octal(uint32_t mode) {
    std::string text;
    for (int shift = 9; shift >= 0; shift -= 3) {
        text += static_cast<char>('0' + ((mode >> shift) & 7u));
    }
    return text;
}

}  // namespace

bool ConnectorScan::AnyAux() const {
    return std::any_of(connectors.begin(), connectors.end(),
                       [](const DpConnector& c) { return c.HasAux(); });
}

int ReadAttribute(System& system, const std::string& path, std::string& value, size_t limit) {
    value.clear();
    const int fd = system.Open(path, linuxsys::OpenMode::kReadOnly);
    if (fd < 0) {
        return fd;
    }
    char buffer[4096];
    int result = 0;
    while (value.size() < limit) {
        const size_t want = std::min(sizeof buffer, limit - value.size());
        const int64_t n = system.Read(fd, buffer, want);
        if (n < 0) {
            result = static_cast<int>(n);
            break;
        }
        if (n == 0) {
            break;
        }
        value.append(buffer, static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(want))));
    }
    system.Close(fd);
    return result;
}

bool CheckNodeAccess(System& system, const std::string& node, std::string& problem) {
    const int fd = system.Open(node, linuxsys::OpenMode::kReadWrite);
    if (fd >= 0) {
        system.Close(fd);
        return true;
    }
    if (fd != -linuxsys::kEACCES && fd != -linuxsys::kEPERM) {
        problem = node + " cannot be opened (" + linuxsys::ErrnoName(-fd) + ")";
        return false;
    }
    FileStatus st;
    const bool known = system.Stat(node, st) == 0;
    if (known && st.gid != 0 && (st.mode & 0060u) == 0060u) {
        const std::string group = GroupName(system, st.gid);
        problem = node + " is open to group " + group + " only (mode " + Octal(st.mode) +
                  "): add this user to it (sudo usermod -aG " + group + " $USER) and log in again";
        return false;
    }
    problem = node + " is root-only" + (known ? " (mode " + Octal(st.mode) + ")" : std::string()) +
              ": install the udev rule " + kUdevRuleName +
              " (README, \"Real hardware on Linux\"), add this user to group video and log in again";
    return false;
}

ConnectorScan ScanConnectors(System& system, bool checkAccess) {
    ConnectorScan scan;
    std::vector<std::string> names;
    if (system.ReadDir(kDrmClassPath, names) != 0) {
        return scan;
    }
    scan.drmPresent = true;
    std::sort(names.begin(), names.end(), NaturalLess);
    std::map<std::string, Gpu> gpus;
    for (const std::string& name : names) {
        std::string card;
        std::string type;
        if (!SplitConnectorName(name, card, type) || (type != "DP" && type != "eDP")) {
            continue;
        }
        if (gpus.find(card) == gpus.end()) {
            gpus[card] = ReadGpu(system, card);
        }
        DpConnector c;
        c.name = name;
        c.card = card;
        c.gpuAddress = gpus[card].address;
        c.gpuDriver = gpus[card].driver;
        const std::string dir = std::string(kDrmClassPath) + "/" + name;
        c.status = Attribute(system, dir + "/status");
        std::string edid;
        if (ReadAttribute(system, dir + "/edid", edid, kEdidLimit) == 0) {
            c.displayName =
                DisplayNameFromEdid(reinterpret_cast<const uint8_t*>(edid.data()), edid.size());
        }
        FindNodes(system, dir, c);
        if (!c.HasAux()) {
            c.problem = NoAuxReason(c);
        }
        if (checkAccess && c.Usable() && CheckNodeAccess(system, c.auxNode, c.problem)) {
            CheckNodeAccess(system, c.i2cNode, c.problem);
        }
        scan.connectors.push_back(c);
    }
    return scan;
}

const DpConnector* FindConnector(const ConnectorScan& scan, const std::string& key) {
    for (const DpConnector& c : scan.connectors) {
        if (c.name == key || (c.HasAux() && c.auxNode == key)) {
            return &c;
        }
    }
    return nullptr;
}

std::string DisplayNameFromEdid(const uint8_t* edid, size_t size) {
    static constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (edid == nullptr || size < 128 || !std::equal(kHeader, kHeader + 8, edid)) {
        return std::string();
    }
    for (size_t d = 54; d + 18 <= 126; d += 18) {
        const uint8_t* descriptor = edid + d;
        if (descriptor[0] != 0 || descriptor[1] != 0 || descriptor[2] != 0 || descriptor[3] != 0xFC) {
            continue;
        }
        std::string name;
        for (size_t i = 5; i < 18 && descriptor[i] != 0x0A; ++i) {
            if (descriptor[i] >= 0x20 && descriptor[i] < 0x7F) {
                name += static_cast<char>(descriptor[i]);
            }
        }
        return Trimmed(name);
    }
    return std::string();
}

std::string Describe(const DpConnector& c) {
    std::string gpu = c.gpuAddress.empty() ? "?" : c.gpuAddress;
    if (!c.gpuDriver.empty()) {
        gpu += " " + c.gpuDriver;
    }
    std::string text = c.name + " (GPU " + gpu;
    if (c.HasAux()) {
        text += ", " + c.auxNode;
    }
    if (!c.i2cNode.empty()) {
        text += ", " + c.i2cNode;
    }
    return text + ")";
}

}  // namespace zorvan::linuxlink
