// The two Intel backends over a scripted automation object: the data blocks as the
// driver receives them, the busy status with its pauses and limits, the device search of
// the Intel backend with its transport mode and the LS-PCON port probe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/gfx/GfxLibIntel.h"
#include "core/gfx/GfxLibIntelSkylake.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"
#include "tests/gfx/EventLog.h"
#include "tests/gfx/FakeLayers.h"

namespace zorvan::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

const Bytes kAck = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool SameGuid(const cui::Guid& a, const cui::Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, 8) == 0;
}

// Field offsets of the two blocks.
struct Offsets {
    uint32_t size, device, command, length, address, data;
};
constexpr Offsets kAux{32, 0, 4, 8, 12, 16};
constexpr Offsets kLspcon{160, 0, 16, 20, 24, 28};

// One call as the sink saw it.
struct Call {
    bool set;
    uint32_t device, command, length, address;
    Bytes data;
};

// A sink behind the driver's object: per device, the status of each call (queued; 0 once
// empty) and the DDC/CI messages that reads stream; every call is logged.
class BlockSink {
  public:
    BlockSink(FakeCui& cui, EventLog& log, const cui::Guid& guid, const Offsets& at)
        : log_(log), guid_(guid), at_(at) {
        cui.handler = [this](bool set, const cui::Guid& g, uint32_t size, uint8_t* block,
                             uint32_t* status) { return Handle(set, g, size, block, status); };
    }

    std::map<uint32_t, std::deque<uint32_t>> statuses;
    std::map<uint32_t, std::deque<Bytes>> messages;
    // Each probe written to the device queues this reply.
    std::map<uint32_t, Bytes> answerProbe;
    std::vector<Call> calls;

  private:
    cui::HResult Handle(bool set, const cui::Guid& g, uint32_t size, uint8_t* block,
                        uint32_t* status) {
        EXPECT_TRUE(SameGuid(g, guid_));
        EXPECT_EQ(size, at_.size);
        Call call{set,
                  Get32(block + at_.device),
                  Get32(block + at_.command),
                  Get32(block + at_.length),
                  Get32(block + at_.address),
                  {}};
        if (set) {
            call.data.assign(block + at_.data, block + at_.data + call.length);
        }
        calls.push_back(call);
        log_.Add(std::string(set ? "set " : "get ") + std::to_string(call.command));
        std::deque<uint32_t>& queue = statuses[call.device];
        *status = queue.empty() ? 0 : queue.front();
        if (!queue.empty()) {
            queue.pop_front();
        }
        if (*status != 0) {
            return 0;
        }
        if (set && call.command == 0 && answerProbe.count(call.device) != 0) {
            messages[call.device].push_back(answerProbe[call.device]);
        }
        if (!set && call.command != 9) {
            for (uint32_t i = 0; i < call.length; ++i) {
                block[at_.data + i] = Next(call.device);
            }
        }
        return 0;
    }

    uint8_t Next(uint32_t device) {
        Bytes& current = current_[device];
        if (current.empty() && !messages[device].empty()) {
            current = messages[device].front();
            messages[device].pop_front();
        }
        if (current.empty()) {
            return 0xFF;
        }
        const uint8_t b = current.front();
        current.erase(current.begin());
        return b;
    }

    EventLog& log_;
    const cui::Guid& guid_;
    Offsets at_;
    std::map<uint32_t, Bytes> current_;
};

class IntelBackends : public ::testing::Test {
  protected:
    void InitBoth() {
        std::wstring text;
        ASSERT_EQ(intel.Init(text), 0);
        ASSERT_EQ(lspcon.Init(text), 0);
    }

    EventLog log;
    RecordingClock clock{log};
    platform::ScopedClock clockGuard{clock};
    FakeCui cui;
    ScopedCui cuiGuard{cui};
    GfxLibIntel intel;
    GfxLibIntelSkylake lspcon;
};

TEST_F(IntelBackends, IntelConnectProbesAnAuxDeviceAndKeepsItsUid) {
    BlockSink sink(cui, log, cui::kAuxDataBlock, kAux);
    cui.adapters = {{{0x1234, 7, 2}}};
    sink.answerProbe[0x1234] = kAck;
    InitBoth();
    uint32_t deviceId = 0;
    std::wstring text;
    EXPECT_EQ(intel.Connect(deviceId, 0x6E, text), 0);
    EXPECT_EQ(text, L"  Device GUID: 0x1234 [AUX] = OK\r\n");
    EXPECT_EQ(deviceId, 0x1234u);
    // The probe as one write, the 40 ms wait, one read of header and rest, no pauses.
    EXPECT_EQ(log.events, (Events{"set 0", "sleep 40000", "get 5", "get 1"}));
    ASSERT_EQ(sink.calls.size(), 3u);
    EXPECT_EQ(sink.calls[0].data, (Bytes{0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71}));
    EXPECT_EQ(sink.calls[0].address, 0x6Eu);
    EXPECT_EQ(sink.calls[1].length, 2u);
    EXPECT_EQ(sink.calls[2].length, 6u);
}

TEST_F(IntelBackends, IntelConnectExaminesTypesSevenFiveAndThree) {
    const struct {
        const char* name;
        std::vector<std::vector<FakeCuiDevice>> adapters;
        std::map<uint32_t, Bytes> answering;
        int32_t result;
        const wchar_t* text;
        uint32_t deviceId;
        std::vector<std::string> enumCalls;
    } cases[] = {
        {"type 3 without a transport: the probe write refuses",
         {{{0x30, 3, 2}}},
         {{0x30, kAck}},
         GFX_INTEL_NOT_FOUND,
         L"N/A (0xD)\r\n",
         0,
         {"enum adapter0 0", "enum adapter0 1"}},
        {"type 5 after a type 7 goes over the AUX block",
         {{{0x70, 7, 2}, {0x50, 5, 2}}},
         {{0x50, kAck}},
         0,
         L"  Device GUID: 0x70 [AUX] = N/A (0x3)\r\nOK\r\n",
         0x50,
         {"enum adapter0 0", "enum adapter0 1"}},
        {"unusable devices and other types are not examined",
         {{{0x71, 7, 0}, {0x20, 2, 2}}},
         {},
         GFX_INTEL_NOT_FOUND,
         L"",
         0,
         {"enum adapter0 0", "enum adapter0 1", "enum adapter0 2"}},
        {"the device index runs on across adapters",
         {{{0x71, 7, 0}}, {{0x1, 7, 2}, {0x2, 7, 2}, {0x3, 7, 2}}},
         {{0x3, kAck}},
         0,
         L"  Device GUID: 0x3 [AUX] = OK\r\n",
         0x3,
         {"enum adapter0 0", "enum adapter0 1", "enum adapter1 2"}},
    };
    InitBoth();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BlockSink sink(cui, log, cui::kAuxDataBlock, kAux);
        cui.adapters = c.adapters;
        cui.enumCalls.clear();
        sink.answerProbe = c.answering;
        sink.statuses[0x70] = {3};  // the type-7 device of the second case does not answer
        uint32_t deviceId = 0xAA;
        std::wstring text;
        EXPECT_EQ(intel.Connect(deviceId, 0x6E, text), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(deviceId, c.deviceId);
        EXPECT_EQ(cui.enumCalls, c.enumCalls);
        // Every Connect starts from no transport; after one that found nothing the I2C
        // transfers refuse again.
        uint8_t byte = 0;
        if (c.result != 0) {
            EXPECT_EQ(intel.I2cWrite(0x1, 0x6E, &byte, 1), GFX_BAD_ARGUMENT);
        }
    }
}

TEST_F(IntelBackends, AConfiguredIntelDeviceIdSelectsTheAuxBlock) {
    BlockSink sink(cui, log, cui::kAuxDataBlock, kAux);
    InitBoth();
    uint8_t byte = 0x42;
    EXPECT_EQ(intel.I2cWrite(0x99, 0x6E, &byte, 1), GFX_BAD_ARGUMENT);
    EXPECT_TRUE(sink.calls.empty());
    intel.UseConfiguredDevice(0);
    EXPECT_EQ(intel.I2cWrite(0x99, 0x6E, &byte, 1), GFX_BAD_ARGUMENT);
    intel.UseConfiguredDevice(0x99);
    EXPECT_EQ(intel.I2cWrite(0x99, 0x6E, &byte, 1), 0);
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_EQ(sink.calls[0].device, 0x99u);
}

// The busy status on both backends: a mailbox write is reported at once after one pause,
// anything else is repeated up to six calls in all.
TEST_F(IntelBackends, BusyStatusPausesAndRepeatsUpToSixCalls) {
    const uint8_t data[4] = {1, 2, 3, 4};
    uint8_t read[4] = {};
    const struct {
        const char* name;
        bool write;
        uint32_t address;
        size_t busy;  // busy answers before a success
        int32_t result;
        size_t calls;
    } cases[] = {
        {"write to the mailbox", true, 0x20000, 10, GFX_BUSY, 1},
        {"write elsewhere", true, 0x20004, 2, 0, 3},
        {"read kept busy", false, 0x20000, 10, GFX_BUSY, 6},
        {"read busy five times", false, 0x20000, 5, 0, 6},
    };
    InitBoth();
    for (int backend = 0; backend < 2; ++backend) {
        GfxLib& gfx = backend == 0 ? static_cast<GfxLib&>(intel) : lspcon;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (backend == 0 ? " (Intel)" : " (LS-PCON)"));
            BlockSink sink(cui, log, backend == 0 ? cui::kAuxDataBlock : cui::kLspconAuxDataBlock,
                           backend == 0 ? kAux : kLspcon);
            sink.statuses[0xC] = std::deque<uint32_t>(c.busy, 70u);
            log.events.clear();
            const int32_t r = c.write ? gfx.AuxWrite(0xC, c.address, data, 4)
                                      : gfx.AuxRead(0xC, c.address, read, 4);
            EXPECT_EQ(r, c.result);
            EXPECT_EQ(sink.calls.size(), c.calls);
            Events expected;
            for (size_t i = 0; i < c.calls; ++i) {
                expected.push_back(std::string(c.write ? "set 8" : "get 9"));
                if (i < c.busy) {
                    expected.push_back("spin 5000");
                }
            }
            EXPECT_EQ(log.events, expected);
        }
    }
}

TEST_F(IntelBackends, FailedCallsReturnTheStatusOrElseTheHresult) {
    InitBoth();
    const cui::HResult eFail = static_cast<cui::HResult>(0x80004005u);
    const struct {
        cui::HResult hr;
        uint32_t status;
        int32_t result;
    } cases[] = {{eFail, 0, eFail}, {0, 12, 12}, {eFail, 12, 12}};
    uint8_t buffer[4] = {};
    for (const auto& c : cases) {
        cui.handler = [&](bool, const cui::Guid&, uint32_t, uint8_t*, uint32_t* status) {
            *status = c.status;
            return c.hr;
        };
        EXPECT_EQ(intel.AuxRead(1, 0x100, buffer, 4), c.result);
        EXPECT_EQ(lspcon.AuxRead(0xC, 0x100, buffer, 4), c.result);
    }
}

TEST_F(IntelBackends, TransfersFillTheBlocksAsTheDriverReadsThem) {
    InitBoth();
    const struct {
        GfxLib* gfx;
        const cui::Guid* guid;
        Offsets at;
    } backends[] = {{&intel, &cui::kAuxDataBlock, kAux},
                    {&lspcon, &cui::kLspconAuxDataBlock, kLspcon}};
    uint8_t data[40];
    for (uint8_t i = 0; i < 40; ++i) {
        data[i] = static_cast<uint8_t>(0xA0 + i);
    }
    intel.UseConfiguredDevice(0x77);
    for (const auto& b : backends) {
        std::vector<Bytes> blocks;
        cui.handler = [&](bool, const cui::Guid& guid, uint32_t size, uint8_t* block, uint32_t*) {
            EXPECT_TRUE(SameGuid(guid, *b.guid));
            blocks.emplace_back(block, block + size);
            return 0;
        };
        ASSERT_EQ(b.gfx->AuxWrite(0x0D, 0x20000, data, 40), 0);
        ASSERT_EQ(b.gfx->I2cWrite(0x0D, 0x6E, data, 20), 0);
        ASSERT_EQ(blocks.size(), 5u);
        const uint32_t commands[] = {8, 8, 8, 4, 0};
        const uint32_t addresses[] = {0x20000, 0x20010, 0x20020, 0x6E, 0x6E};
        const uint32_t lengths[] = {16, 16, 8, 16, 4};
        const size_t from[] = {0, 16, 32, 0, 16};
        for (size_t i = 0; i < blocks.size(); ++i) {
            const Bytes& block = blocks[i];
            ASSERT_EQ(block.size(), b.at.size);
            EXPECT_EQ(Get32(&block[b.at.device]), 0x0Du);
            EXPECT_EQ(Get32(&block[b.at.command]), commands[i]);
            EXPECT_EQ(Get32(&block[b.at.length]), lengths[i]);
            EXPECT_EQ(Get32(&block[b.at.address]), addresses[i]);
            Bytes payload(block.begin() + b.at.data, block.begin() + b.at.data + 16);
            Bytes expected(data + from[i], data + from[i] + lengths[i]);
            expected.resize(16, 0);
            EXPECT_EQ(payload, expected);
        }
        // Everything else in the LS-PCON block is zero.
        if (b.at.size == 160) {
            EXPECT_EQ(Bytes(blocks[2].begin() + 4, blocks[2].begin() + 16), Bytes(12, 0));
            EXPECT_EQ(Bytes(blocks[2].begin() + 44, blocks[2].end()), Bytes(116, 0));
        }
    }
}

TEST_F(IntelBackends, LspconConnectTriesThePortsInTurn) {
    InitBoth();
    Bytes wrongAck = kAck;
    wrongAck[6] = 0x0B;
    const struct {
        const char* name;
        std::map<uint32_t, std::deque<uint32_t>> statuses;
        std::map<uint32_t, Bytes> answering;
        int32_t result;
        const wchar_t* text;
        uint32_t deviceId;
        uint32_t lastPort;  // no port after it is tried
    } cases[] = {
        {"the chip on 0x0E only",
         {{0x0C, {2}}, {0x0D, {1}}},
         {{0x0E, kAck}},
         0,
         L"  Device ID: 0x0C = N/A (0x2)\r\n  Device ID: 0x0D = N/A (0x1)\r\n"
         L"  Device ID: 0x0E = OK\r\n",
         0x0E,
         0x0E},
        {"a reply with 0x0B at index 6 fails that port",
         {},
         {{0x0C, wrongAck}, {0x0D, kAck}},
         0,
         L"  Device ID: 0x0C = N/A (0xF)\r\n  Device ID: 0x0D = OK\r\n",
         0x0D,
         0x0D},
        {"a driver without LS-PCON support",
         {{0x0C, {5}}},
         {{0x0D, kAck}},
         GFX_LSPCON_NOT_SUPPORTED,
         L"  Not Supported!\r\n",
         0,
         0x0C},
        {"nothing answers",
         {{0x0C, {1}}, {0x0D, {1}}, {0x0E, {1}}, {0x0F, {1}}},
         {},
         GFX_LSPCON_NOT_FOUND,
         L"  Device ID: 0x0C = N/A (0x1)\r\n  Device ID: 0x0D = N/A (0x1)\r\n"
         L"  Device ID: 0x0E = N/A (0x1)\r\n  Device ID: 0x0F = N/A (0x1)\r\n",
         0,
         0x0F},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BlockSink sink(cui, log, cui::kLspconAuxDataBlock, kLspcon);
        sink.statuses = c.statuses;
        sink.answerProbe = c.answering;
        uint32_t deviceId = 0x99;
        std::wstring text;
        EXPECT_EQ(lspcon.Connect(deviceId, 0x6E, text), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(deviceId, c.deviceId);
        uint32_t highest = 0;
        for (const Call& call : sink.calls) {
            highest = call.device > highest ? call.device : highest;
        }
        EXPECT_EQ(highest, c.lastPort) << "no port after the one that ended the search";
    }
}

}  // namespace
}  // namespace zorvan::test
