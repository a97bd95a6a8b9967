#include "tests/gfx/FakeLinux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zorvan::test {
namespace {

constexpr char kDrm[] = "/sys/class/drm";

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

bool IsDevice(const std::string& path) { return path.rfind("/dev/", 0) == 0; }

void AddEntry(std::vector<std::string>& entries, const std::string& name) {
    if (std::find(entries.begin(), entries.end(), name) == entries.end()) {
        entries.push_back(name);
    }
}

}  // namespace

std::string EdidNamed(const std::string& name) {
    std::string edid(128, '\0');
    const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(edid.data(), header, 8);
    edid[75] = static_cast<char>(0xFC);
    for (size_t i = 0; i < 13; ++i) {
        edid[77 + i] = i < name.size() ? name[i] : (i == name.size() ? '\n' : ' ');
    }
    return edid;
}

void FakeLinux::AddCard(const std::string& name, const std::string& pci, const std::string& driver) {
    const std::string card = name.substr(0, name.find('-'));
    AddEntry(dirs[kDrm], card);
    AddEntry(dirs[kDrm], name);
    links[std::string(kDrm) + "/" + card + "/device"] = "../../../" + pci;
    if (!driver.empty()) {
        links[std::string(kDrm) + "/" + card + "/device/driver"] = "../../../bus/pci/drivers/" + driver;
    }
    const std::string dir = std::string(kDrm) + "/" + name;
    AddEntry(dirs[dir], "status");
    AddEntry(dirs[dir], "edid");
}

void FakeLinux::AddDp(const std::string& name, const std::string& pci, const std::string& driver,
                      int aux, int bus, const std::string& status) {
    AddCard(name, pci, driver);
    const std::string dir = std::string(kDrm) + "/" + name;
    files[dir + "/status"] = status + "\n";
    files[dir + "/edid"] = status == "connected" ? EdidNamed("Panel " + name) : std::string();
    const std::string auxEntry = "drm_dp_aux" + std::to_string(aux);
    const std::string busEntry = "i2c-" + std::to_string(bus);
    AddEntry(dirs[dir], auxEntry);
    AddEntry(dirs[dir], busEntry);
    const std::string auxName = "AUX " + name;
    files[dir + "/" + auxEntry + "/name"] = auxName + "\n";
    files[dir + "/" + auxEntry + "/dev"] = "237:" + std::to_string(aux) + "\n";
    files[dir + "/" + busEntry + "/name"] = auxName + "\n";
    const std::string devDir = dir + "/" + busEntry + "/i2c-dev/" + busEntry;
    dirs[devDir] = {"dev", "name"};
    files[devDir + "/dev"] = "89:" + std::to_string(bus) + "\n";
    linuxsys::FileStatus node;
    node.type = linuxsys::FileType::kCharDevice;
    node.mode = 0660;
    node.gid = 44;
    node.deviceMajor = 237;
    node.deviceMinor = static_cast<uint32_t>(aux);
    stats["/dev/" + auxEntry] = node;
    node.deviceMajor = 89;
    node.deviceMinor = static_cast<uint32_t>(bus);
    stats["/dev/" + busEntry] = node;
}

void FakeLinux::AddDpWithoutAux(const std::string& name, const std::string& pci,
                                const std::string& driver) {
    AddCard(name, pci, driver);
    const std::string dir = std::string(kDrm) + "/" + name;
    files[dir + "/status"] = "connected\n";
    files[dir + "/edid"] = EdidNamed("Panel " + name);
}

size_t FakeLinux::OpenDevices() const {
    return static_cast<size_t>(std::count_if(open_.begin(), open_.end(),
                                             [](const auto& e) { return e.second.device; }));
}

int FakeLinux::Open(const std::string& path, linuxsys::OpenMode) {
    const auto error = openErrors.find(path);
    if (error != openErrors.end()) {
        if (IsDevice(path)) {
            calls.push_back("open " + path + " -> " + std::to_string(error->second));
        }
        return error->second;
    }
    const bool device = IsDevice(path) && stats.count(path) != 0;
    if (!device && files.count(path) == 0) {
        return -linuxsys::kENOENT;
    }
    if (device) {
        calls.push_back("open " + path);
    }
    const int fd = nextFd_++;
    open_[fd] = Open_{path, device, 0};
    return fd;
}

int FakeLinux::Close(int fd) {
    const auto it = open_.find(fd);
    if (it == open_.end()) {
        return -linuxsys::kEBADF;
    }
    if (it->second.device) {
        calls.push_back("close " + it->second.path);
    }
    open_.erase(it);
    return 0;
}

int64_t FakeLinux::Read(int fd, void* buffer, size_t count) {
    const auto it = open_.find(fd);
    if (it == open_.end()) {
        return -linuxsys::kEBADF;
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    if (it->second.device) {
        calls.push_back("read " + std::to_string(count));
        if (read) {
            return read(it->second.path, out, count);
        }
        std::memset(out, 0xFF, count);
        return static_cast<int64_t>(count);
    }
    const std::string& content = files[it->second.path];
    const size_t n = std::min(count, content.size() - std::min(content.size(), it->second.position));
    std::memcpy(out, content.data() + it->second.position, n);
    it->second.position += n;
    return static_cast<int64_t>(n);
}

int64_t FakeLinux::Write(int fd, const void* data, size_t count) {
    const auto it = open_.find(fd);
    if (it == open_.end() || !it->second.device) {
        return -linuxsys::kEBADF;
    }
    calls.push_back("write " + std::to_string(count));
    return write ? write(it->second.path, static_cast<const uint8_t*>(data), count) : static_cast<int64_t>(count);
}

int64_t FakeLinux::Pread(int fd, void* buffer, size_t count, int64_t offset) {
    const auto it = open_.find(fd);
    if (it == open_.end() || !it->second.device) {
        return -linuxsys::kEBADF;
    }
    calls.push_back("pread " + Hex(static_cast<uint64_t>(offset)) + " " + std::to_string(count));
    uint8_t* out = static_cast<uint8_t*>(buffer);
    if (pread) {
        return pread(it->second.path, out, count, offset);
    }
    std::memset(out, 0, count);
    return static_cast<int64_t>(count);
}

int64_t FakeLinux::Pwrite(int fd, const void* data, size_t count, int64_t offset) {
    const auto it = open_.find(fd);
    if (it == open_.end() || !it->second.device) {
        return -linuxsys::kEBADF;
    }
    calls.push_back("pwrite " + Hex(static_cast<uint64_t>(offset)) + " " + std::to_string(count));
    return pwrite ? pwrite(it->second.path, static_cast<const uint8_t*>(data), count, offset)
                  : static_cast<int64_t>(count);
}

int FakeLinux::Ioctl(int fd, unsigned long request, unsigned long argument) {
    const auto it = open_.find(fd);
    if (it == open_.end() || !it->second.device) {
        return -linuxsys::kEBADF;
    }
    calls.push_back("ioctl " + Hex(request) + " " + Hex(argument));
    return ioctl ? ioctl(it->second.path, request, argument) : 0;
}

int FakeLinux::ReadDir(const std::string& path, std::vector<std::string>& names) {
    const auto it = dirs.find(path);
    if (it == dirs.end()) {
        return -linuxsys::kENOENT;
    }
    names = it->second;
    return 0;
}

int FakeLinux::ReadLink(const std::string& path, std::string& target) {
    const auto it = links.find(path);
    if (it == links.end()) {
        return -linuxsys::kENOENT;
    }
    target = it->second;
    return 0;
}

int FakeLinux::Stat(const std::string& path, linuxsys::FileStatus& status) {
    const auto it = stats.find(path);
    if (it != stats.end()) {
        status = it->second;
        return 0;
    }
    if (dirs.count(path) != 0) {
        status = linuxsys::FileStatus{};
        status.type = linuxsys::FileType::kDirectory;
        return 0;
    }
    if (files.count(path) != 0) {
        status = linuxsys::FileStatus{};
        status.type = linuxsys::FileType::kRegular;
        return 0;
    }
    return -linuxsys::kENOENT;
}

}  // namespace zorvan::test
