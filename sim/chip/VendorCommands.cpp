#include "sim/chip/VendorCommands.h"

namespace zorvan::sim {

CommandOutcome VendorCommands::Handle(const VendorCommand& command) {
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
