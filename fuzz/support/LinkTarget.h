#pragma once
// What the link targets share: the virtual clock, so that no wait of the protocol takes
// real time, and the settings of a fuzzed link from the input's first byte.
#include <cstdint>

#include <cstddef>

#include "fuzz/support/ChipOperations.h"
#include "sim/chip/ChipState.h"

namespace zorvan::fuzz {

// Installs the virtual clock for the rest of the process.
void UseVirtualClock();

// bit 0: writes report results; bit 1: paced as NVIDIA and AMD are; bits 2-3: the link's
// reply buffer size (131, 16, 64 or 600).
struct LinkSettings {
    bool writesReport = false;
    bool paced = false;
    int32_t replyBufferSize = 131;
};
LinkSettings SettingsOf(uint8_t flags);
uint8_t FlagsOf(const LinkSettings& settings);

// One input of a target over a FuzzLink: the settings byte, then the operations of `set`.
// Returns what each operation gave.
std::vector<int64_t> RunOnFuzzLink(const uint8_t* data, size_t size, OperationSet set);

// The chip the backends find: a KQ1100, serial 1500, running the demo firmware 1.05.
const sim::ChipState& RunningChip();

// One input of the backends' target: the vendor byte, then every operation over that
// vendor's backend, the sink answering from the input once the chip is found.
std::vector<int64_t> RunBehindFuzzedSink(const uint8_t* data, size_t size);

}  // namespace zorvan::fuzz
