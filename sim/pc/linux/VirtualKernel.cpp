#include "sim/pc/linux/VirtualKernel.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "sim/pc/linux/DpAuxDevice.h"
#include "sim/pc/linux/DpI2cBus.h"

namespace zorvan::sim {
namespace {

constexpr char kDevices[] = "/sys/devices/pci0000:00/";
constexpr uint32_t kClaimedDdcAddress = 0x37;
constexpr char kClaimingDriver[] = "ddcci";

std::string DeviceNumber(uint32_t major, uint32_t minor) {
    return std::to_string(major) + ":" + std::to_string(minor) + "\n";
}

linuxsys::FileType TypeOf(const VNode& node) {
    switch (node.kind) {
        case VNode::Kind::kDirectory:
            return linuxsys::FileType::kDirectory;
        case VNode::Kind::kFile:
            return linuxsys::FileType::kRegular;
        case VNode::Kind::kDevice:
            return linuxsys::FileType::kCharDevice;
        case VNode::Kind::kLink:
            return linuxsys::FileType::kSymlink;
    }
    return linuxsys::FileType::kOther;
}

}  // namespace

VirtualKernel::VirtualKernel(const LinuxPcSpec& pc, AuxSink* chip) {
    fs_.Directory("/dev");
    fs_.File("/etc/group", "root:x:0:\nvideo:x:" + std::to_string(kernel::kVideoGid) + ":zorvan\n",
             0644);
    if (pc.gpus.empty()) {
        return;  // no DRM driver is loaded: /sys/class/drm does not exist
    }
    fs_.Directory("/sys/class/drm");
    fs_.File("/sys/class/drm/version", "drm 1.1.0 20060810\n");
    fs_.Directory("/sys/class/drm_dp_aux_dev");
    fs_.Directory("/sys/class/i2c-dev");
    for (size_t card = 0; card < pc.gpus.size(); ++card) {
        AddGpu(card, pc.gpus[card], pc.udevRule, chip);
    }
}

void VirtualKernel::SetAccess(VNode& node, bool udevRule) const {
    node.mode = udevRule ? kernel::kRuleMode : kernel::kRootOnlyMode;
    node.gid = udevRule ? kernel::kVideoGid : 0;
    node.userMayOpen = udevRule;
}

void VirtualKernel::AddGpu(size_t card, const LinuxGpuSpec& gpu, bool udevRule, AuxSink* chip) {
    const std::string pci = kDevices + gpu.pciAddress;
    const std::string cardName = "card" + std::to_string(card);
    const std::string cardDir = pci + "/drm/" + cardName;
    fs_.File(pci + "/uevent", "DRIVER=" + gpu.driver + "\nPCI_SLOT_NAME=" + gpu.pciAddress + "\n");
    fs_.Directory("/sys/bus/pci/drivers/" + gpu.driver);
    fs_.RelativeLink(pci + "/driver", "/sys/bus/pci/drivers/" + gpu.driver);
    fs_.File(cardDir + "/dev", DeviceNumber(226, static_cast<uint32_t>(card)));
    fs_.RelativeLink(cardDir + "/device", pci);
    fs_.RelativeLink("/sys/class/drm/" + cardName, cardDir);
    for (const LinuxConnectorSpec& c : gpu.connectors) {
        const std::string name = cardName + "-" + c.type + "-" + std::to_string(c.index);
        AddConnector(cardDir, name, c, udevRule, chip);
    }
}

void VirtualKernel::AddConnector(const std::string& cardDir, const std::string& name,
                                 const LinuxConnectorSpec& layout, bool udevRule, AuxSink* chip) {
    const std::string dir = cardDir + "/" + name;
    fs_.File(dir + "/status", layout.connected ? "connected\n" : "disconnected\n");
    fs_.File(dir + "/enabled", layout.connected ? "enabled\n" : "disabled\n");
    fs_.File(dir + "/edid", layout.connected && !layout.displayName.empty() ? MakeEdid(layout.displayName)
                                                                       : std::string());
    fs_.RelativeLink("/sys/class/drm/" + name, dir);
    if (!layout.auxDevice) {
        return;
    }
    channels_.push_back(std::make_unique<AuxChannel>(layout.hasChip ? chip : nullptr));
    AuxChannel& channel = *channels_.back();

    const uint32_t aux = nextAux_++;
    const std::string auxEntry = "drm_dp_aux" + std::to_string(aux);
    fs_.File(dir + "/" + auxEntry + "/name", layout.auxName + "\n");
    fs_.File(dir + "/" + auxEntry + "/dev", DeviceNumber(kernel::kAuxMajor, aux));
    fs_.RelativeLink("/sys/class/drm_dp_aux_dev/" + auxEntry, dir + "/" + auxEntry);
    devices_.push_back(std::make_unique<DpAuxDevice>(channel));
    SetAccess(fs_.Device("/dev/" + auxEntry, kernel::kAuxMajor, aux, devices_.back().get()),
              udevRule);

    const uint32_t bus = nextBus_++;
    const std::string busEntry = "i2c-" + std::to_string(bus);
    const std::string busDir = dir + "/" + busEntry;
    fs_.File(busDir + "/name", layout.auxName + "\n");
    std::set<uint32_t> claimed;
    if (layout.ddcClaimed) {
        claimed.insert(kClaimedDdcAddress);
        const std::string client = busDir + "/" + std::to_string(bus) + "-0037";
        fs_.File(client + "/name", std::string(kClaimingDriver) + "\n");
        fs_.Directory(std::string("/sys/bus/i2c/drivers/") + kClaimingDriver);
        fs_.RelativeLink(client + "/driver", std::string("/sys/bus/i2c/drivers/") + kClaimingDriver);
    }
    if (!layout.i2cDevLoaded) {
        return;
    }
    const std::string devDir = busDir + "/i2c-dev/" + busEntry;
    fs_.File(devDir + "/dev", DeviceNumber(kernel::kI2cMajor, bus));
    fs_.File(devDir + "/name", layout.auxName + "\n");
    fs_.RelativeLink("/sys/class/i2c-dev/" + busEntry, devDir);
    devices_.push_back(std::make_unique<DpI2cBus>(channel, claimed));
    SetAccess(fs_.Device("/dev/" + busEntry, kernel::kI2cMajor, bus, devices_.back().get()),
              udevRule);
}

OpenFile* VirtualKernel::Find(int fd) {
    const auto it = files_.find(fd);
    return it == files_.end() ? nullptr : &it->second;
}

int VirtualKernel::Open(const std::string& path, linuxsys::OpenMode mode) {
    VNode* node = nullptr;
    const int r = fs_.Lookup(path, true, node);
    if (r != 0) {
        return r;
    }
    const bool write = mode == linuxsys::OpenMode::kReadWrite;
    if (node->kind == VNode::Kind::kDirectory && write) {
        return -kernel::kEISDIR;
    }
    // sysfs attributes here have no store method; device nodes follow their access.
    if ((node->kind == VNode::Kind::kFile && write) ||
        (node->kind == VNode::Kind::kDevice && !node->userMayOpen)) {
        return -kernel::kEACCES;
    }
    if (node->kind == VNode::Kind::kDevice && node->device == nullptr) {
        return -kernel::kENODEV;
    }
    const int fd = nextFd_++;
    files_[fd] = OpenFile{node, write, 0, 0};
    return fd;
}

int VirtualKernel::Close(int fd) { return files_.erase(fd) == 1 ? 0 : -kernel::kEBADF; }

int64_t VirtualKernel::Read(int fd, void* buffer, size_t count) {
    OpenFile* file = Find(fd);
    if (file == nullptr) {
        return -kernel::kEBADF;
    }
    if (file->node->kind == VNode::Kind::kDevice) {
        return file->node->device->Read(*file, static_cast<uint8_t*>(buffer), count);
    }
    const int64_t r = Pread(fd, buffer, count, file->position);
    if (r > 0) {
        file->position += r;
    }
    return r;
}

int64_t VirtualKernel::Pread(int fd, void* buffer, size_t count, int64_t offset) {
    OpenFile* file = Find(fd);
    if (file == nullptr) {
        return -kernel::kEBADF;
    }
    switch (file->node->kind) {
        case VNode::Kind::kDevice:
            return file->node->device->Pread(*file, static_cast<uint8_t*>(buffer), count, offset);
        case VNode::Kind::kDirectory:
            return -kernel::kEISDIR;
        default:
            break;
    }
    if (offset < 0) {
        return -kernel::kEINVAL;
    }
    const std::string& content = file->node->content;
    if (static_cast<uint64_t>(offset) >= content.size()) {
        return 0;
    }
    const size_t n = std::min(count, content.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, content.data() + offset, n);
    return static_cast<int64_t>(n);
}

int64_t VirtualKernel::Write(int fd, const void* data, size_t count) {
    OpenFile* file = Find(fd);
    if (file == nullptr || !file->writable) {
        return -kernel::kEBADF;
    }
    if (file->node->kind != VNode::Kind::kDevice) {
        return -kernel::kEACCES;
    }
    return file->node->device->Write(*file, static_cast<const uint8_t*>(data), count);
}

int64_t VirtualKernel::Pwrite(int fd, const void* data, size_t count, int64_t offset) {
    OpenFile* file = Find(fd);
    if (file == nullptr || !file->writable) {
        return -kernel::kEBADF;
    }
    if (file->node->kind != VNode::Kind::kDevice) {
        return -kernel::kEACCES;
    }
    return file->node->device->Pwrite(*file, static_cast<const uint8_t*>(data), count, offset);
}

int VirtualKernel::Ioctl(int fd, unsigned long request, unsigned long argument) {
    OpenFile* file = Find(fd);
    if (file == nullptr) {
        return -kernel::kEBADF;
    }
    if (file->node->kind != VNode::Kind::kDevice) {
        return -kernel::kENOTTY;
    }
    return file->node->device->Ioctl(*file, request, argument);
}

int VirtualKernel::ReadDir(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    VNode* node = nullptr;
    const int r = fs_.Lookup(path, true, node);
    if (r != 0) {
        return r;
    }
    if (node->kind != VNode::Kind::kDirectory) {
        return -kernel::kENOTDIR;
    }
    for (const auto& entry : node->entries) {
        names.push_back(entry.first);
    }
    return 0;
}

int VirtualKernel::ReadLink(const std::string& path, std::string& target) {
    VNode* node = nullptr;
    const int r = fs_.Lookup(path, false, node);
    if (r != 0) {
        return r;
    }
    if (node->kind != VNode::Kind::kLink) {
        return -kernel::kEINVAL;
    }
    target = node->content;
    return 0;
}

int VirtualKernel::Stat(const std::string& path, linuxsys::FileStatus& status) {
    VNode* node = nullptr;
    const int r = fs_.Lookup(path, true, node);
    if (r != 0) {
        return r;
    }
    status = linuxsys::FileStatus{};
    status.type = TypeOf(*node);
    status.mode = node->mode;
    status.uid = node->uid;
    status.gid = node->gid;
    status.deviceMajor = node->deviceMajor;
    status.deviceMinor = node->deviceMinor;
    return 0;
}

}  // namespace zorvan::sim
