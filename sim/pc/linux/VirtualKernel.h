#pragma once
// The virtual Linux kernel: the sysfs tree and the device nodes of a virtual Linux PC,
// behind the Linux backend's system-call layer. /sys/class/drm lists the cards and their
// connectors (links into /sys/devices, as the kernel makes them), each DisplayPort
// connector whose driver registers one has its drm_dp_auxN and i2c-M entries, and /dev
// holds their nodes, whose access follows the udev rule. The AUX node and the I2C bus of a
// connector share its AUX channel; the virtual chip is plugged into the channel of the
// connector that has it, nothing into the others.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/gfx/linux/System.h"
#include "sim/link/AuxChannel.h"
#include "sim/pc/linux/DeviceFile.h"
#include "sim/pc/linux/LinuxPc.h"
#include "sim/pc/linux/VirtualFs.h"

namespace zorvan::sim {

class VirtualKernel final : public linuxsys::System {
public:
    VirtualKernel(const LinuxPcSpec& pc, AuxSink* chip);
    VirtualKernel(const VirtualKernel&) = delete;
    VirtualKernel& operator=(const VirtualKernel&) = delete;

    int Open(const std::string& path, linuxsys::OpenMode mode) override;
    int Close(int fd) override;
    int64_t Read(int fd, void* buffer, size_t count) override;
    int64_t Write(int fd, const void* data, size_t count) override;
    int64_t Pread(int fd, void* buffer, size_t count, int64_t offset) override;
    int64_t Pwrite(int fd, const void* data, size_t count, int64_t offset) override;
    int Ioctl(int fd, unsigned long request, unsigned long argument) override;
    int ReadDir(const std::string& path, std::vector<std::string>& names) override;
    int ReadLink(const std::string& path, std::string& target) override;
    int Stat(const std::string& path, linuxsys::FileStatus& status) override;

    // The tree itself, for tests that change a node.
    VirtualFs& Files() { return fs_; }
    // Descriptors open now.
    size_t OpenFiles() const { return files_.size(); }

private:
    void AddGpu(size_t card, const LinuxGpuSpec& gpu, bool udevRule, AuxSink* chip);
    void AddConnector(const std::string& cardDir, const std::string& name,
                      const LinuxConnectorSpec& layout, bool udevRule, AuxSink* chip);
    void SetAccess(VNode& node, bool udevRule) const;
    OpenFile* Find(int fd);

    VirtualFs fs_;
    std::vector<std::unique_ptr<AuxChannel>> channels_;
    std::vector<std::unique_ptr<DeviceFile>> devices_;
    std::map<int, OpenFile> files_;
    int nextFd_ = 3;
    uint32_t nextAux_ = 0;
    uint32_t nextBus_ = kernel::kFirstConnectorBus;
};

}  // namespace zorvan::sim
