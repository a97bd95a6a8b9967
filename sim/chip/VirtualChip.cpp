#include "sim/chip/VirtualChip.h"

#include <utility>

namespace zorvan::sim {

VirtualChip::VirtualChip(ChipState state)
    : state_(std::move(state)),
      dpcd_(state_),
      memory_(state_, dpcd_),
      commands_(state_, memory_),
      ddc_(commands_) {}

AuxReply VirtualChip::Transact(const AuxRequest& request) {
    if (!powered_) {
        return AuxTimeout();
    }
    switch (request.command) {
        case AuxCommand::NativeWrite:
            return dpcd_.Write(request.address, request.data);
        case AuxCommand::NativeRead:
            return dpcd_.Read(request.address, request.length);
        case AuxCommand::I2cWrite:
        case AuxCommand::I2cRead: {
            const uint32_t count = request.command == AuxCommand::I2cWrite
                                       ? static_cast<uint32_t>(request.data.size())
                                       : request.length;
            if (request.address != kDdcChipI2cAddress || count > kAuxMaxPayload) {
                return AuxNack();
            }
            return ddc_.Transact(request);
        }
    }
    return AuxNack();
}

void VirtualChip::PowerCycle() {
    sim::PowerCycle(state_);
    dpcd_.Reset();
    ddc_.Reset();
    powered_ = true;
}

}  // namespace zorvan::sim
