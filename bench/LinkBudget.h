#pragma once
// Splits the simulated time of a traced run into what the protocol cannot avoid (its fixed
// pauses and the wire time of every transaction) and the pauses spent waiting for a busy
// chip: a wait that directly follows a poll which answered "not yet".
#include <cstdint>
#include <string>

namespace zorvan::bench {

struct WaitSplit {
    uint64_t fixedUs = 0;    // pauses the protocol takes whatever the chip does
    uint64_t pollingUs = 0;  // pauses after a status, flag or reply poll that was not ready
};

WaitSplit SplitWaits(const std::string& trace);

}  // namespace zorvan::bench
