#include "bench/LinkBudget.h"

#include <sstream>

namespace zorvan::bench {
namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// A poll whose answer means the chip is still working: a failed read, a status byte 0,
// a command-buffer half still taken, or the DDC/CI null message.
bool NotReady(const std::string& line) {
    if (!StartsWith(line, "AuxRead ") && !StartsWith(line, "I2cRead ")) {
        return false;
    }
    if (line.find("-> 0 ") == std::string::npos) {
        return true;
    }
    const size_t data = line.find("data=");
    if (data == std::string::npos) {
        return false;
    }
    const std::string bytes = line.substr(data + 5);
    if (StartsWith(line, "I2cRead ")) {
        return bytes.size() >= 5 && bytes.compare(3, 2, "80") == 0;
    }
    const bool flag = line.find("addr=0x200FF ") != std::string::npos ||
                      line.find("addr=0x201FF ") != std::string::npos;
    return flag ? !StartsWith(bytes, "00") : StartsWith(bytes, "00");
}

}  // namespace

WaitSplit SplitWaits(const std::string& trace) {
    WaitSplit split;
    std::istringstream in(trace);
    std::string line;
    bool lastPollNotReady = false;
    while (std::getline(in, line)) {
        if (StartsWith(line, "Wait ")) {
            const uint64_t us = std::stoull(line.substr(5));
            (lastPollNotReady ? split.pollingUs : split.fixedUs) += us;
        } else if (!StartsWith(line, "  ")) {
            lastPollNotReady = NotReady(line);
        }
    }
    return split;
}

}  // namespace zorvan::bench
