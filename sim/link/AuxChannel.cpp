#include "sim/link/AuxChannel.h"

#include "core/platform/Clock.h"

namespace zorvan::sim {

uint64_t AuxWireTimeUs(uint32_t payloadBytes) {
    return kAuxOverheadUs + kAuxPerByteUs * payloadBytes;
}

AuxReply AuxChannel::Transact(const AuxRequest& request) {
    if (sink_ == nullptr) {
        // The driver waits for a reply that never comes.
        platform::ActiveClock().Elapse(AuxWireTimeUs(0));
        return AuxTimeout();
    }
    AuxReply reply = sink_->Transact(request);
    uint32_t moved = 0;
    if (reply.status == AuxStatus::Ack) {
        moved = request.command == AuxCommand::NativeWrite || request.command == AuxCommand::I2cWrite
                    ? static_cast<uint32_t>(request.data.size())
                    : static_cast<uint32_t>(reply.data.size());
    }
    platform::ActiveClock().Elapse(AuxWireTimeUs(moved));
    return reply;
}

}  // namespace zorvan::sim
