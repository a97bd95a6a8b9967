#pragma once
// A part of the chip that sees a vendor command before the firmware's own handler: it
// answers (or deliberately ignores) what it owns and passes the rest on.
#include <optional>

#include "sim/chip/DdcCiFrame.h"
#include "sim/chip/DdcCiPort.h"

namespace zorvan::sim {

class VendorHook {
  public:
    virtual ~VendorHook() = default;
    // A value: the command's outcome (`reply` false ignores it). Nothing: not handled here.
    virtual std::optional<CommandOutcome> Preempt(const VendorCommand& command) = 0;
};

}  // namespace zorvan::sim
