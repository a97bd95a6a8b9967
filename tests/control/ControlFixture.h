#pragma once
// A ZorvanControl wired to a scripted link and a recording virtual clock, with helpers that
// play the chip's side of the common vendor commands.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "tests/control/RecordingClock.h"
#include "tests/control/ScriptedLink.h"

namespace zorvan::testing {

// Keeps every progress report, in order.
class Progress final : public ZorvanControlDelegate {
public:
    void UpdateProgress(int32_t done, int32_t total) override { reports.emplace_back(done, total); }
    std::vector<std::pair<int32_t, int32_t>> reports;
};

class ControlTest : public ::testing::Test {
protected:
    ControlTest() : guard_(clock) {
        control.gfx = &link;
        link.journal = &journal;
        clock.journal = &journal;
    }

    // Pace the scripted link like the NVIDIA and AMD backends.
    void PaceLikeNvidia() { control.nvidiaOrAmdStandIn = &link; }

    // Answers every memory read command (0x52, address, size) with the bytes the function
    // gives for it, framed as the chip frames them.
    void AnswerMemoryReads(
        std::function<std::vector<uint8_t>(uint32_t address, uint32_t size)> memory) {
        link.onWrite = [memory](ScriptedLink& l, const LinkEvent& e) {
            if (e.op != LinkOp::kI2cWrite || e.data.size() != 16 || e.data[6] != 0x52) {
                return;
            }
            const uint32_t address = BigEndian32(e.data, 7);
            const uint32_t size = BigEndian32(e.data, 11);
            l.QueueI2cReply(DataReply(0x52, memory(address, size)));
        };
    }

    // The (address, size) of every memory read command sent, in order.
    std::vector<std::pair<uint32_t, uint32_t>> MemoryReadsSent() const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& w : link.I2cWrites()) {
            if (w.size() == 16 && w[6] == 0x52) {
                out.emplace_back(BigEndian32(w, 7), BigEndian32(w, 11));
            }
        }
        return out;
    }

    static uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
        return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
               static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    }

    RecordingClock clock;
    Journal journal;
    ScriptedLink link;
    ZorvanControl control;

private:
    platform::ScopedClock guard_;
};

}  // namespace zorvan::testing
