#include "sim/chip/VendorCommands.h"

#include <optional>
#include <utility>

namespace zorvan::sim {

CommandOutcome VendorCommands::Handle(const VendorCommand& command) {
    if (command.CountAnnouncesMore() && command.code != kMemoryWriteCode) {
        return {};
    }
    for (VendorHook* hook : hooks_) {
        if (std::optional<CommandOutcome> outcome = hook->Preempt(command)) {
            return std::move(*outcome);
        }
    }
    switch (command.code) {
        case 0x0A:
            return Probe(command);
        case 0x06:
            return TypeQuery(command);
        case 0x50:
            return ReadRegister(command);
        case 0x52:
            return ReadMemory(command);
        default:
            return {};
    }
}

}  // namespace zorvan::sim
