#pragma once
// Told of every change the chip makes to what it keeps between runs (ChipState), the
// moment it makes it, so the change can be kept at once: a finished erase, each
// programmed block, the mode it runs in, its security firmware.
#include <cstdint>

#include "sim/chip/ChipState.h"

namespace zorvan::sim {

class StateChanges {
public:
    virtual ~StateChanges() = default;
    // The flash bytes [offset, offset + count) of `state` hold new values.
    virtual void FlashChanged(const ChipState& state, uint32_t offset, uint32_t count) = 0;
    // The family, revision, mode or security-firmware state of `state` changed.
    virtual void ChipChanged(const ChipState& state) = 0;
};

// Passes changes on to whoever listens; nobody at first.
class StateChangeRelay final : public StateChanges {
public:
    void Listen(StateChanges* listener) { listener_ = listener; }

    void FlashChanged(const ChipState& state, uint32_t offset, uint32_t count) override {
        if (listener_ != nullptr) {
            listener_->FlashChanged(state, offset, count);
        }
    }
    void ChipChanged(const ChipState& state) override {
        if (listener_ != nullptr) {
            listener_->ChipChanged(state);
        }
    }

private:
    StateChanges* listener_ = nullptr;
};

}  // namespace zorvan::sim
