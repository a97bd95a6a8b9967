#include "sim/chip/VirtualChip.h"

#include <utility>

namespace zorvan::sim {

VirtualChip::VirtualChip(ChipState state)
    : state_(std::move(state)),
      dpcd_(state_),
      memory_(state_, dpcd_),
      commands_(state_, memory_),
      ddc_(commands_),
      isp_(state_, dpcd_, changes_, [this] { return CountProgrammedBlock(); }),
      secure_(state_, isp_, changes_) {
    commands_.AddHook(&secure_);
    commands_.AddHook(&isp_);
}

AuxReply VirtualChip::Transact(const AuxRequest& request) {
    if (!powered_) {
        return AuxTimeout();
    }
    // The chip's own work (erasing, programming, starting a driver) goes on between
    // transactions; the supply may fail in it.
    isp_.Service();
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

bool VirtualChip::CountProgrammedBlock() {
    ++programmedBlocks_;
    if (powerLossAfterBlocks_ != 0 && programmedBlocks_ >= powerLossAfterBlocks_) {
        LosePower();
    }
    return powered_;
}

void VirtualChip::LosePower() {
    if (!powered_) {
        return;
    }
    powered_ = false;
    // What the chip keeps is now what it comes up with at the next run.
    changes_.ChipChanged(StateForNextRun());
}

ChipState VirtualChip::StateForNextRun() const {
    ChipState next = state_;
    if (!powered_) {
        sim::PowerCycle(next);
    }
    return next;
}

void VirtualChip::PowerCycle() {
    isp_.PowerCycle();
    secure_.PowerCycle();
    sim::PowerCycle(state_);
    dpcd_.Reset();
    ddc_.Reset();
    powered_ = true;
    changes_.ChipChanged(state_);
}

}  // namespace zorvan::sim
