#include "tests/control/RecordingClock.h"

#include <string>

namespace zorvan::testing {

void RecordingClock::SleepUs(uint64_t us) {
    Record(true, us);
}

void RecordingClock::SpinUs(uint64_t us) {
    Record(false, us);
}

void RecordingClock::Record(bool sleep, uint64_t us) {
    now_ += us;
    waits_.push_back({sleep, us});
    if (journal != nullptr) {
        const std::string amount =
            us % 1000 == 0 ? std::to_string(us / 1000) + "ms" : std::to_string(us) + "us";
        journal->push_back((sleep ? "sleep " : "busy ") + amount);
    }
}

}  // namespace zorvan::testing
