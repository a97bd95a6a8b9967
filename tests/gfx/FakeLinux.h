#pragma once
// A scripted Linux system-call layer: a sysfs and /dev laid out path by path, the AUX
// node's and the I2C bus's calls answered by the test's functions, and every call on a
// device node logged.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/gfx/linux/System.h"

namespace zorvan::test {

class FakeLinux final : public linuxsys::System {
public:
    bool present = true;  // false: a platform without the kernel's interfaces
    std::map<std::string, std::vector<std::string>> dirs;
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> links;
    std::map<std::string, linuxsys::FileStatus> stats;  // what Stat finds besides dirs and files
    std::map<std::string, int> openErrors;             // -errno that opening the path gives

    // The nodes' calls, given the node's path; unset: a read gives 0xFF bytes, everything
    // else succeeds whole.
    std::function<int64_t(const std::string& node, uint8_t* buffer, size_t count, int64_t offset)>
        pread;
    std::function<int64_t(const std::string& node, const uint8_t* data, size_t count,
                          int64_t offset)>
        pwrite;
    std::function<int64_t(const std::string& node, uint8_t* buffer, size_t count)> read;
    std::function<int64_t(const std::string& node, const uint8_t* data, size_t count)> write;
    std::function<int(const std::string& node, unsigned long request, unsigned long argument)>
        ioctl;

    // "open /dev/i2c-5", "ioctl 0x703 0x37", "write 8", "read 131", "pwrite 0x20000 16",
    // "pread 0x10000 5", "close /dev/i2c-5": device nodes only.
    std::vector<std::string> calls;

    // A DisplayPort connector with its AUX node drm_dp_aux<aux> and I2C bus i2c-<bus>
    // (nodes open to this user), on card `card` whose GPU has `pci` and `driver`.
    void AddDp(const std::string& name, const std::string& pci, const std::string& driver,
               int aux, int bus, const std::string& status = "connected");
    // A DisplayPort connector whose driver registers no AUX device.
    void AddDpWithoutAux(const std::string& name, const std::string& pci,
                         const std::string& driver);
    // The device nodes open now.
    size_t OpenDevices() const;

    bool Present() const override { return present; }
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

private:
    struct Open_ {
        std::string path;
        bool device = false;
        size_t position = 0;
    };
    void AddCard(const std::string& name, const std::string& pci, const std::string& driver);
    std::map<int, Open_> open_;
    int nextFd_ = 3;
};

// Installs a layer for the lifetime of the guard.
class ScopedLinux {
public:
    explicit ScopedLinux(linuxsys::System& system) : previous_(&linuxsys::ActiveSystem()) {
        linuxsys::InstallSystem(&system);
    }
    ~ScopedLinux() { linuxsys::InstallSystem(previous_); }
    ScopedLinux(const ScopedLinux&) = delete;
    ScopedLinux& operator=(const ScopedLinux&) = delete;

private:
    linuxsys::System* previous_;
};

// An EDID base block with a name descriptor.
std::string EdidNamed(const std::string& name);

}  // namespace zorvan::test
