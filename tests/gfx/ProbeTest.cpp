// The probe packet, the checks on its reply, and the polling read of that reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/gfx/GfxLib.h"
#include "core/gfx/Probe.h"
#include "core/platform/Clock.h"
#include "tests/gfx/EventLog.h"

namespace zorvan::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ProbePacket, ClosesTheChecksumForTheAddress) {
    const auto packet = ProbePacket(0x6E);
    EXPECT_EQ(Bytes(packet.begin(), packet.end()),
              (Bytes{0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71}));
    EXPECT_EQ(ProbePacket(0x70)[7], 0x6F);
    EXPECT_EQ(ProbePacket(0x16E)[7], 0x71) << "only the low byte of the address counts";
}

TEST(ProbeReply, ChecksAreAppliedAsChosen) {
    const Bytes ack = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};
    Bytes wrongCode = ack;
    wrongCode[6] = 0x0B;
    Bytes wrongCheck = ack;
    wrongCheck[7] = 0x77;
    const ProbeChecks none{false, false, false};
    const ProbeChecks lengthOnly{true, false, false};
    const struct {
        const char* name;
        Bytes reply;
        int32_t length;
        uint32_t address;
        ProbeChecks checks;
        bool passes;
    } cases[] = {
        {"acknowledgement", ack, 8, 0x6E, kProbeChecksAll, true},
        {"check byte follows the address", {0, 0, 0, 0, 0, 0, 0x0C, 0x68}, 8, 0x70,
         kProbeChecksAll, true},
        {"seven bytes", ack, 7, 0x6E, kProbeChecksAll, false},
        {"nine bytes", ack, 9, 0x6E, kProbeChecksAll, false},
        {"nine bytes without length check", ack, 9, 0x6E, {false, true, true}, true},
        {"wrong code", wrongCode, 8, 0x6E, kProbeChecksAll, false},
        {"wrong code, code not checked", wrongCode, 8, 0x6E, {true, false, true}, true},
        {"wrong check byte", wrongCheck, 8, 0x6E, kProbeChecksAll, false},
        {"short reply, content checked", ack, 3, 0x6E, {false, true, false}, false},
        {"no checks", wrongCheck, 3, 0x6E, none, true},
        {"length only", wrongCode, 8, 0x6E, lengthOnly, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProbeReplyPasses(c.reply.data(), c.length, c.address, c.checks), c.passes)
            << c.name;
    }
    EXPECT_FALSE(ProbeReplyPasses(nullptr, 8, 0x6E, none));
}

// A link whose reads answer from a script of (result, length) pairs.
class ScriptedReads final : public GfxLib {
public:
    struct Read {
        int32_t result;
        int32_t length;
    };
    explicit ScriptedReads(EventLog& log) : GfxLib(131, 0), log_(log) {}
    std::deque<Read> script;

protected:
    int32_t DoInit(std::wstring&) override { return 0; }
    int32_t DoConnect(uint32_t&, uint32_t, std::wstring&) override { return 0; }
    int32_t DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) override { return 0; }
    int32_t DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t* length) override {
        log_.Add("read");
        const Read r = script.empty() ? Read{-1, 0} : script.front();
        if (!script.empty()) {
            script.pop_front();
        }
        if (r.result == 0) {
            *length = r.length;
        }
        return r.result;
    }
    int32_t DoAuxWrite(uint32_t, uint32_t, const uint8_t*, int32_t) override { return 0; }
    int32_t DoAuxRead(uint32_t, uint32_t, uint8_t*, int32_t) override { return 0; }

private:
    EventLog& log_;
};

TEST(ProbeRead, PollsUntilAFullReplyWithThePausesOfEachOutcome) {
    const struct {
        const char* name;
        std::vector<ScriptedReads::Read> script;
        int32_t result;
        int32_t length;
        std::vector<std::string> events;
    } cases[] = {
        {"at once", {{0, 8}}, 0, 8, {"read"}},
        {"short then full", {{0, 6}, {0, 8}}, 0, 8, {"read", "sleep 30000", "read"}},
        {"busy then full", {{GFX_BUSY, 0}, {0, 9}}, 0, 9, {"read", "sleep 10000", "read"}},
        {"failure then full", {{15, 0}, {0, 8}}, 0, 8, {"read", "read"}},
        {"short then failure", {{0, 3}, {-1, 0}, {0, 8}}, 0, 8,
         {"read", "sleep 30000", "read", "read"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventLog log;
        RecordingClock clock(log);
        platform::ScopedClock guard(clock);
        ScriptedReads link(log);
        link.script.assign(c.script.begin(), c.script.end());
        uint8_t buffer[131] = {};
        int32_t length = -1;
        EXPECT_EQ(ReadProbeReply(link, 0, 0x6E, buffer, 131, &length), c.result);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(log.events, c.events);
    }
}

TEST(ProbeRead, GivesUpAfterTwentyReadsWithTheLastResult) {
    EventLog log;
    RecordingClock clock(log);
    platform::ScopedClock guard(clock);
    ScriptedReads link(log);
    link.script.assign(19, ScriptedReads::Read{0, 3});
    link.script.push_back({GFX_BUSY, 0});
    link.script.push_back({0, 8});  // never read
    uint8_t buffer[131] = {};
    int32_t length = 0;
    EXPECT_EQ(ReadProbeReply(link, 0, 0x6E, buffer, 131, &length), GFX_BUSY);
    EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "read"), 20);
    EXPECT_EQ(link.script.size(), 1u);
}

}  // namespace
}  // namespace zorvan::test
