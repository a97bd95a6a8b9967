#pragma once
// One ordered record of what a test's fakes saw: driver requests and clock waits, so a
// test can state the exact interleaving of transactions and pauses.
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/Clock.h"

namespace zorvan::test {

struct EventLog {
    std::vector<std::string> events;
    void Add(std::string event) { events.push_back(std::move(event)); }
};

// A virtual clock that also logs every wait as "spin <us>" or "sleep <us>".
class RecordingClock final : public platform::Clock {
public:
    explicit RecordingClock(EventLog& log) : log_(log) {}
    uint64_t NowUs() override { return now_; }
    void SleepUs(uint64_t us) override {
        now_ += us;
        log_.Add("sleep " + std::to_string(us));
    }
    void SpinUs(uint64_t us) override {
        now_ += us;
        log_.Add("spin " + std::to_string(us));
    }
    void Elapse(uint64_t us) override { now_ += us; }

private:
    EventLog& log_;
    uint64_t now_ = 0;
};

}  // namespace zorvan::test
