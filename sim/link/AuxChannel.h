#pragma once
// One display output's AUX channel: the wire between a GPU and whatever sink is plugged
// in. Each transaction costs its time on the wire (a fixed overhead plus the time of its
// payload bytes) on the active clock, so back-to-back polls see the sink make progress;
// with nothing plugged in, or a sink without power, requests time out.
#include <cstdint>

#include "sim/link/AuxSink.h"

namespace zorvan::sim {

// Start, command, address and reply of one transaction, and the time of one data byte.
inline constexpr uint64_t kAuxOverheadUs = 100;
inline constexpr uint64_t kAuxPerByteUs = 25;

// Wire time of a transaction that moves `payloadBytes` data bytes.
uint64_t AuxWireTimeUs(uint32_t payloadBytes);

class AuxChannel {
public:
    explicit AuxChannel(AuxSink* sink = nullptr) : sink_(sink) {}

    void Plug(AuxSink* sink) { sink_ = sink; }
    bool HasSink() const { return sink_ != nullptr; }

    AuxReply Transact(const AuxRequest& request);

private:
    AuxSink* sink_;
};

}  // namespace zorvan::sim
