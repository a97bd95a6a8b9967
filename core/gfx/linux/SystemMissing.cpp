// Platforms without the Linux kernel's DRM and i2c-dev interfaces: the backend is not
// tried, and a call made anyway finds nothing.
#include "core/gfx/linux/System.h"

namespace zorvan::linuxsys {
namespace {

class MissingSystem final : public System {
public:
    bool Present() const override { return false; }
    int Open(const std::string&, OpenMode) override { return -kENOENT; }
    int Close(int) override { return -kEBADF; }
    int64_t Read(int, void*, size_t) override { return -kEBADF; }
    int64_t Write(int, const void*, size_t) override { return -kEBADF; }
    int64_t Pread(int, void*, size_t, int64_t) override { return -kEBADF; }
    int64_t Pwrite(int, const void*, size_t, int64_t) override { return -kEBADF; }
    int Ioctl(int, unsigned long, unsigned long) override { return -kEBADF; }
    int ReadDir(const std::string&, std::vector<std::string>&) override { return -kENOENT; }
    int ReadLink(const std::string&, std::string&) override { return -kENOENT; }
    int Stat(const std::string&, FileStatus&) override { return -kENOENT; }
};

}  // namespace

System& PlatformSystem() {
    static MissingSystem system;
    return system;
}

}  // namespace zorvan::linuxsys
