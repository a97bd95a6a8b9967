// LockedFile on POSIX: flock(2) on the open file, positioned reads and writes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/platform/Files.h"
#include "core/platform/LockedFile.h"
#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where a new file of this name goes: the name itself, or the end of the chain of
// symbolic links that starts there when its last link points at nothing yet.
std::string CreationTarget(std::string path) {
    for (int depth = 0; depth < 16; ++depth) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) {
            return path;
        }
        target.resize(static_cast<size_t>(n));
        path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
    }
    return path;
}

bool WriteAllAt(int fd, uint64_t offset, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, data, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        count -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

LockedFile::~LockedFile() { Close(); }

void LockedFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);  // the lock goes with the last descriptor of the open file
        fd_ = -1;
    }
}

LockOutcome LockedFile::Fail(int error) {
    reason_ = FromUtf8(std::strerror(error));
    return LockOutcome::kFailed;
}

LockOutcome LockedFile::Open(const std::wstring& path, bool writable) {
    Close();
    reason_.clear();
    const std::string native = NativePath(path);
    // A file replaced between our open and our lock is opened again: the lock must be on
    // the file the name stands for.
    for (int attempt = 0; attempt < 8; ++attempt) {
        struct stat named {};
        if (::stat(native.c_str(), &named) != 0) {
            const int error = errno;
            Fail(error);
            return error == ENOENT ? LockOutcome::kMissing : LockOutcome::kFailed;
        }
        if (!S_ISREG(named.st_mode)) {
            return LockOutcome::kNotRegular;  // never opened: a device may do things on open
        }
        const int fd = ::open(native.c_str(),
                              (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT) {
                continue;
            }
            return Fail(errno);
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                return LockOutcome::kBusy;
            }
            return Fail(error);
        }
        if (::stat(native.c_str(), &named) == 0 && SameFile(named, opened)) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            fd_ = fd;
            return LockOutcome::kLocked;
        }
        ::close(fd);
    }
    return Fail(EAGAIN);
}

LockOutcome LockedFile::CreateNew(const std::wstring& path, const std::vector<uint8_t>& content) {
    Close();
    reason_.clear();
    const std::string target = CreationTarget(NativePath(path));
    std::string temp = target + ".new-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return Fail(errno);
    }
    // mkostemp makes the file private; a state file gets the mode any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
    ok = ok && WriteAllAt(fd, 0, content.data(), content.size());
    ok = ok && ::fsync(fd) == 0;
    int error = errno;
    ok = ::close(fd) == 0 && ok;
    // link() publishes the whole file under the name only if the name is still free.
    if (ok && ::link(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    ::unlink(temp.c_str());
    if (!ok) {
        if (error == EEXIST) {
            return LockOutcome::kExists;
        }
        return Fail(error);
    }
    return Open(path, true);
}

std::optional<uint64_t> LockedFile::Size() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        Fail(fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return static_cast<uint64_t>(st.st_size);
}

bool LockedFile::ReadAt(uint64_t offset, uint8_t* out, size_t count) {
    while (count > 0) {
        const ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail(n == 0 ? EIO : errno);
            return false;
        }
        out += n;
        count -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool LockedFile::WriteAt(uint64_t offset, const uint8_t* data, size_t count) {
    if (!WriteAllAt(fd_, offset, data, count)) {
        Fail(errno);
        return false;
    }
    return true;
}

bool LockedFile::Truncate(uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        Fail(errno);
        return false;
    }
    return true;
}

bool LockedFile::Flush() {
    if (::fsync(fd_) != 0) {
        Fail(errno);
        return false;
    }
    return true;
}

bool LockedFile::StillAt(const std::wstring& path) const {
    struct stat named {};
    struct stat opened {};
    return fd_ >= 0 && ::fstat(fd_, &opened) == 0 && ::stat(NativePath(path).c_str(), &named) == 0 &&
           SameFile(named, opened);
}

}  // namespace zorvan::platform
