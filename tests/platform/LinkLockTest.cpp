// The link lock between processes: one holder per name, free again when the holder lets go
// or dies. Names carry the test process's id, so parallel test runs never meet.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/platform/LinkLock.h"
#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

std::wstring UniqueName(const std::wstring& link) {
    return link + L" / test " + std::to_wstring(::getpid());
}

TEST(LinkLock, OneHolderPerNameUntilItLetsGo) {
    const std::wstring name = UniqueName(L"NVIDIA: 0x1000");
    LinkLockAttempt first = TryLockLink(name);
    ASSERT_EQ(first.outcome, LinkLockOutcome::kHeld) << ToUtf8(first.error);
    ASSERT_NE(first.lock, nullptr);

    // Any second attempt on the name is busy, in this process as in any other.
    const LinkLockAttempt again = TryLockLink(name);
    EXPECT_EQ(again.outcome, LinkLockOutcome::kBusy);
    EXPECT_EQ(again.lock, nullptr);
    // Other names are other locks, however alike.
    for (const wchar_t* other : {L"NVIDIA: 0x1001", L"nvidia: 0x1000", L"NVIDIA: 0x1000 "}) {
        const LinkLockAttempt elsewhere = TryLockLink(UniqueName(other));
        EXPECT_EQ(elsewhere.outcome, LinkLockOutcome::kHeld) << ToUtf8(other);
    }

    first.lock.reset();
    const LinkLockAttempt after = TryLockLink(name);
    EXPECT_EQ(after.outcome, LinkLockOutcome::kHeld) << ToUtf8(after.error);
}

// A holder that is killed (or just ends without letting go) frees the lock with it.
TEST(LinkLock, DiesWithItsHolder) {
    const std::wstring name = UniqueName(L"AMD: 0x10000");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const LinkLockAttempt held = TryLockLink(name);
        const char answer = held.outcome == LinkLockOutcome::kHeld ? 'y' : 'n';
        (void)::write(ready[1], &answer, 1);
        ::pause();  // holds the lock until killed
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(answer, 'y');

    EXPECT_EQ(TryLockLink(name).outcome, LinkLockOutcome::kBusy);
    ::kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);
    const LinkLockAttempt after = TryLockLink(name);
    EXPECT_EQ(after.outcome, LinkLockOutcome::kHeld) << ToUtf8(after.error);
}

}  // namespace
}  // namespace zorvan::platform
