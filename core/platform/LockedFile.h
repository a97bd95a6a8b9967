#pragma once
// A regular file held open under an exclusive, system-wide lock of its own, read and
// written in place. The lock is advisory (every program of ours takes it before it uses
// the file) and ends when the file is closed or its process dies, however it dies.
// Symbolic links are followed: the lock and the writes reach the file they point at.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvan::platform {

enum class LockOutcome {
    kLocked,      // open and locked
    kMissing,     // no file of that name (Open); Reason() says so
    kExists,      // a file of that name is there already (CreateNew)
    kBusy,        // another open of the file holds the lock
    kNotRegular,  // a folder, a device, a pipe...
    kFailed,      // the system refused; Reason() says why
};

class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Opens an existing file, for writing too when `writable`, and takes its lock without
    // waiting for it.
    LockOutcome Open(const std::wstring& path, bool writable);
    // Makes the file with `content` when nothing of that name exists (the content appears
    // whole or not at all; a dangling link gets its target), then opens it writable as
    // Open does.
    LockOutcome CreateNew(const std::wstring& path, const std::vector<uint8_t>& content);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    std::optional<uint64_t> Size();
    bool ReadAt(uint64_t offset, uint8_t* out, size_t count);
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t count);
    bool Truncate(uint64_t size);
    // Down to the disk, for a machine that loses power; the program's own death needs none.
    bool Flush();
    // True while `path` still names this file (it was not removed or replaced meanwhile).
    bool StillAt(const std::wstring& path) const;

    // The system's words for the last failure ("Permission denied").
    const std::wstring& Reason() const { return reason_; }

private:
    LockOutcome Fail(int error);

    int fd_ = -1;
    std::wstring reason_;
};

}  // namespace zorvan::platform
