#pragma once
// A virtual clock that also keeps every wait the core asked for, telling a sleep from a
// busy-wait, so tests count pauses instead of spending them.
#include <cstdint>
#include <vector>

#include "core/platform/Clock.h"
#include "tests/control/ScriptedLink.h"

namespace zorvan::testing {

struct Wait {
    bool sleep;  // false: a busy-wait
    uint64_t us;

    bool operator==(const Wait&) const = default;
};

inline Wait SleepOf(uint64_t ms) {
    return {true, ms * 1000};
}
inline Wait BusyOf(uint64_t ms) {
    return {false, ms * 1000};
}

class RecordingClock final : public platform::Clock {
public:
    uint64_t NowUs() override { return now_; }
    void SleepUs(uint64_t us) override;
    void SpinUs(uint64_t us) override;
    void Elapse(uint64_t us) override { now_ += us; }

    const std::vector<Wait>& waits() const { return waits_; }
    // Receives "sleep 40ms" / "busy 10ms" (or "... us" below a millisecond) when set.
    Journal* journal = nullptr;

private:
    void Record(bool sleep, uint64_t us);

    uint64_t now_ = 0;
    std::vector<Wait> waits_;
};

}  // namespace zorvan::testing
