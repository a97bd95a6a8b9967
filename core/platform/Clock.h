#pragma once
// The one clock of the programs. Every wait of the protocol goes through the free
// functions below, which report it to the link trace and hand it to the active clock:
// the real clock sleeps and spins, a virtual clock only advances its counter, so a
// whole update runs in CPU time under test and in the simulator.
#include <cstdint>

namespace zorvan::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in microseconds.
    virtual uint64_t NowUs() = 0;
    // A scheduler sleep (the waits of 20 ms and more).
    virtual void SleepUs(uint64_t us) = 0;
    // A busy-wait on the high-resolution counter.
    virtual void SpinUs(uint64_t us) = 0;
    // Time that passes on the link while a transaction is under way (simulator only).
    virtual void Elapse(uint64_t us) = 0;
};

class RealClock final : public Clock {
public:
    uint64_t NowUs() override;
    void SleepUs(uint64_t us) override;
    void SpinUs(uint64_t us) override;
    void Elapse(uint64_t us) override;
};

class VirtualClock final : public Clock {
public:
    uint64_t NowUs() override { return now_; }
    void SleepUs(uint64_t us) override { now_ += us; }
    void SpinUs(uint64_t us) override { now_ += us; }
    void Elapse(uint64_t us) override { now_ += us; }

private:
    uint64_t now_ = 0;
};

// The clock every wait uses; the real clock unless one was installed.
Clock& ActiveClock();
// Installs a clock (not owned); null restores the real clock.
void SetActiveClock(Clock* clock);

// Millisecond wait with 1 ms resolution: from 20 ms upward a sleep, below a busy-wait.
void DelayMs(uint16_t ms);
// Microsecond busy-wait of the backends; below 20 us it returns at once.
void BusyWaitUs(uint16_t us);
// A plain sleep, as the procedures' fixed pauses use.
void SleepMs(uint32_t ms);

// Installs a clock for the lifetime of the guard (tests).
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

}  // namespace zorvan::platform
