// The link lock on POSIX systems: flock on a lock file named after the link. The kernel
// drops a flock with the last descriptor of its holder, so the lock dies with the process.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/platform/LinkLock.h"
#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

// The machine's folder for lock files, shared by every user. Where it is missing or closed
// to us: the user's runtime folder (its locks are then seen by that user's programs only),
// and last the temporary folder, which every user shares again.
constexpr const char* kSharedLockFolder = "/run/lock";
constexpr const char* kLastLockFolder = "/tmp";
// A lock file that keeps being replaced under us while we take it; a few turns are plenty.
constexpr int kAttempts = 8;

bool UsableFolder(const char* path) {
    struct stat st {};
    return path != nullptr && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path, W_OK | X_OK) == 0;
}

std::string LockFolder() {
    if (UsableFolder(kSharedLockFolder)) {
        return kSharedLockFolder;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (UsableFolder(runtime)) {
        return runtime;
    }
    return kLastLockFolder;
}

// FNV-1a: a short, fixed-width file name for a link name of any length and content.
uint64_t NameHash(std::string_view bytes) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string LockPath(const std::string& name) {
    char file[64];
    std::snprintf(file, sizeof file, "/zorvan-link-%016llx.lock",
                  static_cast<unsigned long long>(NameHash(name)));
    return LockFolder() + file;
}

std::wstring SystemError(const char* what, const std::string& path, int error) {
    return FromUtf8(std::string(what) + " " + path + ": " + std::generic_category().message(error));
}

// A lock file another user made may refuse to be opened for writing (or, in a sticky
// folder, opened with O_CREAT at all); flock needs only a descriptor, so read-only will do.
int OpenLockFile(const std::string& path, bool& writable) {
    writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    return fd;
}

// Whether the path still names the file the descriptor has open: a holder removes its lock
// file before it lets go, so a lock won on a removed file is no lock at all.
bool StillInPlace(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

class FlockLinkLock final : public LinkLock {
  public:
    FlockLinkLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~FlockLinkLock() override {
        // Removed while still held (see StillInPlace), so no lock files pile up; a file
        // another user owns in a sticky folder stays, which does no harm.
        ::unlink(path_.c_str());
        ::close(fd_);
    }
    FlockLinkLock(const FlockLinkLock&) = delete;
    FlockLinkLock& operator=(const FlockLinkLock&) = delete;

  private:
    int fd_;
    std::string path_;
};

// Who holds the lock, for whoever looks into the folder.
void RecordHolder(int fd, const std::string& name) {
    const std::string line = std::to_string(::getpid()) + " " + name + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, line.data(), line.size(), 0);
    }
}

}  // namespace

LinkLockAttempt TryLockLink(const std::wstring& name) {
    const std::string utf8 = ToUtf8(name);
    const std::string path = LockPath(utf8);
    LinkLockAttempt attempt;
    for (int turn = 0; turn < kAttempts; ++turn) {
        bool writable = false;
        const int fd = OpenLockFile(path, writable);
        if (fd < 0) {
            attempt.error = SystemError("cannot open", path, errno);
            return attempt;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EINTR) {
                continue;
            }
            if (error == EWOULDBLOCK) {
                attempt.outcome = LinkLockOutcome::kBusy;
                return attempt;
            }
            attempt.error = SystemError("cannot lock", path, error);
            return attempt;
        }
        if (!StillInPlace(fd, path)) {
            ::close(fd);
            continue;
        }
        if (writable) {
            RecordHolder(fd, utf8);
        }
        attempt.outcome = LinkLockOutcome::kHeld;
        attempt.lock = std::make_unique<FlockLinkLock>(fd, path);
        return attempt;
    }
    attempt.error = SystemError("cannot keep hold of", path, EAGAIN);
    return attempt;
}

}  // namespace zorvan::platform
