#pragma once
// Repeatable faults on the link to the virtual chip. The injector sits between a vendor
// driver and the chip: it defers native and I2C-over-AUX requests before the chip sees
// them, and it tells the chip's DDC/CI port to withhold a ready reply (the read gets the
// null message) or to send it with one byte changed. Every decision comes from one
// seeded generator in the order the events happen, so the same seed and the same
// traffic give the same faults.
#include <cstdint>

#include "sim/chip/DdcCiPort.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {

// Probabilities from 0 to 1.
struct FaultRates {
    double auxDefer = 0;
    double i2cDefer = 0;
    double nullReply = 0;
    double corruptReply = 0;
};

struct FaultCounts {
    uint32_t auxDeferred = 0;
    uint32_t i2cDeferred = 0;
    uint32_t repliesWithheld = 0;
    uint32_t repliesCorrupted = 0;
};

class FaultInjector final : public AuxSink, public ReplyFaults {
public:
    FaultInjector(AuxSink& inner, const FaultRates& rates, uint64_t seed);

    AuxReply Transact(const AuxRequest& request) override;
    bool WithholdReply() override;
    bool CorruptReply(size_t size, size_t& index, uint8_t& mask) override;

    const FaultCounts& Counts() const { return counts_; }

private:
    uint64_t Next();
    bool Roll(double rate);

    AuxSink& inner_;
    FaultRates rates_;
    uint64_t state_;
    FaultCounts counts_;
};

}  // namespace zorvan::sim
