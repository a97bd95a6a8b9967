#pragma once
// The thin system-call layer of the Linux backend: the calls it makes on sysfs and on the
// kernel's device nodes, nothing more. Every call returns what the kernel returns, a
// negative errno on failure, so the backend's error handling sees exactly the kernel's
// answers. The POSIX implementation passes the calls on; the simulator's virtual kernel
// and the tests stand behind the same interface.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::linuxsys {

// Linux errno values the backend tells apart (the kernel's ABI numbers).
inline constexpr int kEPERM = 1;
inline constexpr int kENOENT = 2;
inline constexpr int kEINTR = 4;
inline constexpr int kEIO = 5;
inline constexpr int kENXIO = 6;
inline constexpr int kEBADF = 9;
inline constexpr int kEAGAIN = 11;
inline constexpr int kEACCES = 13;
inline constexpr int kEBUSY = 16;
inline constexpr int kENODEV = 19;
inline constexpr int kENOTDIR = 20;
inline constexpr int kEINVAL = 22;
inline constexpr int kENOTTY = 25;
inline constexpr int kENOSYS = 38;
inline constexpr int kEPROTO = 71;
inline constexpr int kETIMEDOUT = 110;
inline constexpr int kEREMOTEIO = 121;

// ioctl requests of /dev/i2c-N (linux/i2c-dev.h).
inline constexpr unsigned long kI2cSlave = 0x0703;
inline constexpr unsigned long kI2cSlaveForce = 0x0706;

enum class OpenMode { kReadOnly, kReadWrite };

enum class FileType { kOther, kRegular, kDirectory, kCharDevice, kSymlink };

struct FileStatus {
    FileType type = FileType::kOther;
    uint32_t mode = 0;  // permission bits (07777)
    uint32_t uid = 0;
    uint32_t gid = 0;
    uint32_t deviceMajor = 0;  // of a device node
    uint32_t deviceMinor = 0;
};

class System {
public:
    virtual ~System() = default;
    // False on a platform without the Linux kernel's interfaces: the backend is not tried.
    virtual bool Present() const { return true; }

    // A file descriptor (>= 0) or -errno.
    virtual int Open(const std::string& path, OpenMode mode) = 0;
    virtual int Close(int fd) = 0;
    // Bytes moved (>= 0) or -errno.
    virtual int64_t Read(int fd, void* buffer, size_t count) = 0;
    virtual int64_t Write(int fd, const void* data, size_t count) = 0;
    virtual int64_t Pread(int fd, void* buffer, size_t count, int64_t offset) = 0;
    virtual int64_t Pwrite(int fd, const void* data, size_t count, int64_t offset) = 0;
    // The result of the call (>= 0) or -errno.
    virtual int Ioctl(int fd, unsigned long request, unsigned long argument) = 0;
    // The entry names of a directory without "." and "..", in the order the kernel lists
    // them; 0 or -errno.
    virtual int ReadDir(const std::string& path, std::vector<std::string>& names) = 0;
    // The target of a symbolic link; 0 or -errno.
    virtual int ReadLink(const std::string& path, std::string& target) = 0;
    // Follows symbolic links; 0 or -errno.
    virtual int Stat(const std::string& path, FileStatus& status) = 0;
};

// The layer the backend calls: the installed one, else the platform's own.
System& ActiveSystem();
// Installs a layer (not owned); null restores the platform's.
void InstallSystem(System* system);

// The platform's own layer; one source file per platform.
System& PlatformSystem();

// "EIO", "ETIMEDOUT", ...; "E<number>" for the others.
std::string ErrnoName(int error);

}  // namespace zorvan::linuxsys
