#include "core/platform/Clock.h"

#include <chrono>
#include <string>
#include <thread>

#include "core/platform/Trace.h"

namespace zorvan::platform {
namespace {

Clock* g_active = nullptr;

RealClock& DefaultClock() {
    static RealClock clock;
    return clock;
}

void TraceWait(uint64_t us, const char* kind) {
    if (trace::Enabled()) {
        trace::Line("Wait " + std::to_string(us) + "us " + kind);
    }
}

}  // namespace

uint64_t RealClock::NowUs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void RealClock::SleepUs(uint64_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

void RealClock::SpinUs(uint64_t us) {
    // The steady clock counts nanoseconds: the target is frequency x duration ticks.
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const auto target = nanoseconds(static_cast<int64_t>(static_cast<double>(us) * 1000.0));
    while (steady_clock::now() - start < target) {
    }
}

void RealClock::Elapse(uint64_t us) { SleepUs(us); }

Clock& ActiveClock() { return g_active != nullptr ? *g_active : DefaultClock(); }

void SetActiveClock(Clock* clock) { g_active = clock; }

void DelayMs(uint16_t ms) {
    const uint64_t us = static_cast<uint64_t>(ms) * 1000u;
    if (ms >= 20) {
        TraceWait(us, "sleep");
        ActiveClock().SleepUs(us);
    } else {
        TraceWait(us, "busy");
        ActiveClock().SpinUs(us);
    }
}

void BusyWaitUs(uint16_t us) {
    if (us < 20) {
        return;
    }
    TraceWait(us, "busy");
    ActiveClock().SpinUs(us);
}

void SleepMs(uint32_t ms) {
    const uint64_t us = static_cast<uint64_t>(ms) * 1000u;
    TraceWait(us, "sleep");
    ActiveClock().SleepUs(us);
}

ScopedClock::ScopedClock(Clock& clock) : previous_(g_active) { g_active = &clock; }

ScopedClock::~ScopedClock() { g_active = previous_; }

}  // namespace zorvan::platform
