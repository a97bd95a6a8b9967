#pragma once
// An exclusive, system-wide lock on one display link, so that two programs never interleave
// their traffic with one chip. The operating system holds it for the process that took it:
// it goes when the holder lets it go or ends, however it ends. One source file per platform
// implements it (POSIX: flock on a lock file; Windows: a named mutex).
#include <memory>
#include <string>

namespace zorvan::platform {

class LinkLock {
  public:
    virtual ~LinkLock() = default;  // lets the link go
};

enum class LinkLockOutcome {
    kHeld,   // the lock is this process's
    kBusy,   // another process holds it
    kError,  // the system refused the lock itself; `error` says why
};

struct LinkLockAttempt {
    LinkLockOutcome outcome = LinkLockOutcome::kError;
    std::unique_ptr<LinkLock> lock;  // set when held
    std::wstring error;
};

// Takes the lock that `name` stands for without waiting. Equal names are one lock across
// all processes of the machine (for every user where the system offers a shared place);
// any text will do, the platform derives its own lock name from it. Within one process a
// second attempt on a held name is busy as well.
LinkLockAttempt TryLockLink(const std::wstring& name);

}  // namespace zorvan::platform
