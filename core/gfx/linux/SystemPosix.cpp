// Linux: the calls go to the kernel as they are.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "core/gfx/linux/System.h"

namespace zorvan::linuxsys {
namespace {

int Failed() { return -errno; }

FileType TypeOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return FileType::kRegular;
    }
    if (S_ISDIR(mode)) {
        return FileType::kDirectory;
    }
    if (S_ISCHR(mode)) {
        return FileType::kCharDevice;
    }
    if (S_ISLNK(mode)) {
        return FileType::kSymlink;
    }
    return FileType::kOther;
}

class PosixSystem final : public System {
public:
    int Open(const std::string& path, OpenMode mode) override {
        const int flags = (mode == OpenMode::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
        const int fd = ::open(path.c_str(), flags);
        return fd < 0 ? Failed() : fd;
    }
    int Close(int fd) override { return ::close(fd) < 0 ? Failed() : 0; }
    int64_t Read(int fd, void* buffer, size_t count) override {
        const ssize_t r = ::read(fd, buffer, count);
        return r < 0 ? Failed() : r;
    }
    int64_t Write(int fd, const void* data, size_t count) override {
        const ssize_t r = ::write(fd, data, count);
        return r < 0 ? Failed() : r;
    }
    int64_t Pread(int fd, void* buffer, size_t count, int64_t offset) override {
        const ssize_t r = ::pread(fd, buffer, count, static_cast<off_t>(offset));
        return r < 0 ? Failed() : r;
    }
    int64_t Pwrite(int fd, const void* data, size_t count, int64_t offset) override {
        const ssize_t r = ::pwrite(fd, data, count, static_cast<off_t>(offset));
        return r < 0 ? Failed() : r;
    }
    int Ioctl(int fd, unsigned long request, unsigned long argument) override {
        const int r = ::ioctl(fd, request, argument);
        return r < 0 ? Failed() : r;
    }
    int ReadDir(const std::string& path, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            return Failed();
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        const int error = errno;
        ::closedir(dir);
        return error != 0 ? -error : 0;
    }
    int ReadLink(const std::string& path, std::string& target) override {
        char buffer[4096];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0) {
            return Failed();
        }
        target.assign(buffer, static_cast<size_t>(n));
        return 0;
    }
    int Stat(const std::string& path, FileStatus& status) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) < 0) {
            return Failed();
        }
        status.type = TypeOf(st.st_mode);
        status.mode = static_cast<uint32_t>(st.st_mode & 07777);
        status.uid = static_cast<uint32_t>(st.st_uid);
        status.gid = static_cast<uint32_t>(st.st_gid);
        status.deviceMajor = static_cast<uint32_t>(major(st.st_rdev));
        status.deviceMinor = static_cast<uint32_t>(minor(st.st_rdev));
        return 0;
    }
};

}  // namespace

System& PlatformSystem() {
    static PosixSystem system;
    return system;
}

}  // namespace zorvan::linuxsys
