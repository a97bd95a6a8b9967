#include "sim/faults/FaultInjector.h"

namespace zorvan::sim {

FaultInjector::FaultInjector(AuxSink& inner, const FaultRates& rates, uint64_t seed)
    : inner_(inner), rates_(rates), state_(seed) {}

// SplitMix64: small, fast, and the same sequence on every platform and compiler.
uint64_t FaultInjector::Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool FaultInjector::Roll(double rate) {
    if (!(rate > 0)) {
        return false;  // a fault that is off draws nothing, so it shifts no other fault
    }
    if (rate >= 1) {
        Next();
        return true;
    }
    // 53 random bits as a fraction in [0, 1).
    const double u = static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
    return u < rate;
}

AuxReply FaultInjector::Transact(const AuxRequest& request) {
    const bool native =
        request.command == AuxCommand::NativeWrite || request.command == AuxCommand::NativeRead;
    if (native && Roll(rates_.auxDefer)) {
        ++counts_.auxDeferred;
        return AuxDefer();
    }
    if (!native && Roll(rates_.i2cDefer)) {
        ++counts_.i2cDeferred;
        return AuxDefer();
    }
    return inner_.Transact(request);
}

bool FaultInjector::WithholdReply() {
    if (Roll(rates_.nullReply)) {
        ++counts_.repliesWithheld;
        return true;
    }
    return false;
}

bool FaultInjector::CorruptReply(size_t size, size_t& index, uint8_t& mask) {
    if (size == 0 || !Roll(rates_.corruptReply)) {
        return false;
    }
    index = static_cast<size_t>(Next() % size);
    mask = static_cast<uint8_t>(1 + Next() % 255);
    ++counts_.repliesCorrupted;
    return true;
}

}  // namespace zorvan::sim
