#pragma once
// The vendor commands the chip's firmware (boot ROM or application) answers over DDC/CI.
// Answered now, in both modes:
//   0x0A           probe: acknowledged
//   0x06 C8 02     type query: n 06 C8 02 v0 v1 (the family's two value bytes)
//   0x06 80 02     second type query: n 06 80 02 v0 v1
//   0x50 A3..A0    read register: n 50 A3..A0 V3..V0 (the word at A, most significant first)
//   0x52 A3..A0 C3..C0   read memory: n 52 and C bytes from A; C from 1 to 122, the range
//                  mapped and inside one 64 KiB bank
// A command with other parameters, an unmapped address, or any other code is ignored: no
// reply, so the host reads null messages until it gives up. Hooks (the chip's secure and
// ISP sides) see every command first, in the order they were added, and take those they own.
// A packet whose count byte announces more than it carries reaches only the memory write
// (kMemoryWriteCode), which takes what the packet carries; any other such command is
// ignored before the hooks see it.
#include <cstdint>
#include <vector>

#include "sim/chip/ChipMemory.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/DdcCiPort.h"
#include "sim/chip/isp/VendorHook.h"

namespace zorvan::sim {

// Firmware time to answer: acknowledgements and queries, and memory reads per byte.
inline constexpr uint64_t kAckProcessingUs = 2000;
inline constexpr uint64_t kQueryProcessingUs = 3000;
inline constexpr uint64_t kMemoryReadPerByteUs = 20;

// The memory write of the secure ISP side: 0x53 A3..A0 data.
inline constexpr uint8_t kMemoryWriteCode = 0x53;

class VendorCommands final : public DdcCiHandler {
public:
    VendorCommands(const ChipState& state, const ChipMemory& memory)
        : state_(state), memory_(memory) {}

    CommandOutcome Handle(const VendorCommand& command) override;
    // A hook (not owned) that sees each command before the firmware, after the hooks added
    // before it.
    void AddHook(VendorHook* hook) { hooks_.push_back(hook); }

private:
    CommandOutcome Probe(const VendorCommand& command) const;
    CommandOutcome TypeQuery(const VendorCommand& command) const;
    CommandOutcome ReadRegister(const VendorCommand& command) const;
    CommandOutcome ReadMemory(const VendorCommand& command) const;

    const ChipState& state_;
    const ChipMemory& memory_;
    std::vector<VendorHook*> hooks_;
};

}  // namespace zorvan::sim
