// The AMD backend over a scripted library: the display search and its probe, DDC block
// access for I2C with the header retries, native AUX with its status codes and deferrals,
// and the pauses between them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/gfx/GfxLibAmd.h"
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

// A sink on the DDC line: reads stream the queued messages (a read goes on where the last
// one stopped), the results of reads can be scripted, and every access is logged.
struct DdcSink {
    std::deque<Bytes> messages;
    std::deque<int> readResults;  // consumed one per read; 0 once empty
    Bytes current;
    std::vector<Bytes> written;

    int Access(EventLog& log, int adapter, int display, const Bytes& send, int receiveLength,
               uint8_t* receive) {
        const std::string where = std::to_string(adapter) + ":" + std::to_string(display);
        if ((send[0] & 1) == 0) {
            log.Add("write " + where + " " + std::to_string(send.size() - 1));
            written.emplace_back(send.begin() + 1, send.end());
            return 0;
        }
        log.Add("read " + where + " " + std::to_string(receiveLength));
        const int r = readResults.empty() ? 0 : readResults.front();
        if (!readResults.empty()) {
            readResults.pop_front();
        }
        if (r != 0) {
            return r;
        }
        for (int i = 0; i < receiveLength; ++i) {
            if (current.empty() && !messages.empty()) {
                current = messages.front();
                messages.pop_front();
            }
            if (current.empty()) {
                receive[i] = 0xFF;
                continue;
            }
            receive[i] = current.front();
            current.erase(current.begin());
        }
        return 0;
    }
};

class AmdBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        adl.ddc = [this](int a, int d, const Bytes& send, int n, uint8_t* receive) {
            return sink.Access(log, a, d, send, n, receive);
        };
        std::wstring text;
        ASSERT_EQ(amd.Init(text), 0);
    }
    // Adapter `index` with DisplayPort displays of the given logical indexes.
    void AddAdapter(int32_t index, std::vector<FakeAdlDisplay> displays) {
        FakeAdlAdapter adapter;
        adapter.index = index;
        for (FakeAdlDisplay& d : displays) {
            d.logicalAdapter = index;
        }
        adapter.displays = std::move(displays);
        adl.adapters.push_back(adapter);
    }
    std::string Connect(uint32_t& deviceId, int32_t expected = 0) {
        std::wstring text;
        EXPECT_EQ(amd.Connect(deviceId, 0x6E, text), expected);
        return ToUtf8(text);
    }

    EventLog log;
    RecordingClock clock{log};
    platform::ScopedClock clockGuard{clock};
    FakeAdl adl;
    ScopedAdl adlGuard{adl};
    DdcSink sink;
    GfxLibAmd amd;
};

TEST_F(AmdBackend, ConnectListsTheDisplaysAndProbesOnlyConnectedMappedDisplayPorts) {
    // Display 0 is HDMI (12), 1 mapped but not connected, 2 reported for another adapter,
    // 3 embedded DisplayPort without the chip, 4 DisplayPort with the chip.
    AddAdapter(
        0x21,
        {{0x10, 0, 12, 3}, {0x11, 0, 15, 2}, {0x12, 0, 15, 3}, {0x13, 0, 16, 3}, {0x14, 0, 15, 3}});
    adl.adapters[0].displays[2].logicalAdapter = 7;
    // The eDP panel answers with the null message every time; the chip acknowledges.
    adl.ddc = [this](int a, int d, const Bytes& send, int n, uint8_t* receive) {
        if ((send[0] & 1) == 0 && d == 0x14) {
            sink.messages.push_back(kAck);
        } else if ((send[0] & 1) == 0) {
            sink.messages.push_back({0x6E, 0x80, 0xBE});
        }
        return sink.Access(log, a, d, send, n, receive);
    };
    uint32_t deviceId = 0xDEAD;
    EXPECT_EQ(Connect(deviceId),
              "AMD Adapter num#= 1\r\n"
              " Active Adapter# 0:\r\n"
              "   Num of Disp = 5\r\n"
              "     Disp# 0: LogicId=0x0010 , Type(12) , Conn(3)\r\n"
              "     Disp# 1: LogicId=0x0011 , Type(15) , Conn(2)\r\n"
              "     Disp# 2: LogicId=0x0012 , Type(15) , Conn(3)\r\n"
              "     Disp# 3: LogicId=0x0013 , Type(16) , Conn(3)\r\n"
              "          Test Read = 0x0\r\n"
              "     Disp# 4: LogicId=0x0014 , Type(15) , Conn(3)\r\n"
              "          Test Read = 0x1\r\n");
    EXPECT_EQ(deviceId, 0x210014u);
    ASSERT_EQ(sink.written.size(), 2u);
    EXPECT_EQ(sink.written[1], (Bytes{0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71}));
}

TEST_F(AmdBackend, ConnectSkipsInactiveAdaptersAndKeepsTheConfiguredIdWithoutACandidate) {
    AddAdapter(3, {{0x7, 0, 15, 3}});
    adl.adapters[0].active = 0;
    AddAdapter(4, {{0x8, 0, 13, 3}});
    uint32_t deviceId = 0x55;
    EXPECT_EQ(Connect(deviceId),
              "AMD Adapter num#= 2\r\n"
              " Active Adapter# 1:\r\n"
              "   Num of Disp = 1\r\n"
              "     Disp# 0: LogicId=0x0008 , Type(13) , Conn(3)\r\n");
    EXPECT_EQ(deviceId, 0x55u);
    EXPECT_TRUE(sink.written.empty());

    adl.countResult = -3;
    EXPECT_EQ(Connect(deviceId, 2997), "");
}

TEST_F(AmdBackend, ProbeReplyInSixBytesThenEightSleepsThirtyMillisecondsBetween) {
    AddAdapter(0, {{0x1, 0, 15, 3}});
    sink.messages = {{0x6E, 0x83, 0xC2, 0x00, 0x00, 0x0F}, kAck};
    uint32_t deviceId = 0;
    EXPECT_THAT(Connect(deviceId), ::testing::EndsWith("Test Read = 0x1\r\n"));
    EXPECT_EQ(log.events,
              (Events{"write 0:1 8", "sleep 40000",
                      // first read: header, then the 4 bytes left
                      "read 0:1 2", "spin 20000", "spin 700", "read 0:1 4", "sleep 30000",
                      // second read: the 8-byte acknowledgement
                      "read 0:1 2", "spin 20000", "spin 700", "read 0:1 6"}));
}

TEST_F(AmdBackend, ProbeReplyWithTheWrongAckCodeFailsTheProbe) {
    AddAdapter(0, {{0x1, 0, 15, 3}, {0x2, 0, 15, 3}});
    Bytes wrong = kAck;
    wrong[6] = 0x0B;
    sink.messages = {wrong, wrong};
    uint32_t deviceId = 0;
    EXPECT_EQ(Connect(deviceId),
              "AMD Adapter num#= 1\r\n Active Adapter# 0:\r\n   Num of Disp = 2\r\n"
              "     Disp# 0: LogicId=0x0001 , Type(15) , Conn(3)\r\n"
              "          Test Read = 0x0\r\n"
              "     Disp# 1: LogicId=0x0002 , Type(15) , Conn(3)\r\n"
              "          Test Read = 0x0\r\n");
    EXPECT_EQ(deviceId, 2u) << "the last candidate probed";
}

TEST_F(AmdBackend, ReplyHeaderIsTriedUpToThirtyOneTimesWithAPauseAfterEach) {
    sink.messages = {kAck};
    sink.readResults = {-1, -1};
    uint8_t reply[131] = {};
    int32_t length = 0;
    ASSERT_EQ(amd.I2cRead(0x10002, 0x6E, reply, 131, &length), 0);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(Bytes(reply, reply + 8), kAck);
    EXPECT_EQ(log.events, (Events{"read 1:2 2", "spin 20000", "read 1:2 2", "spin 20000",
                                  "read 1:2 2", "spin 20000", "spin 700", "read 1:2 6"}));

    log.events.clear();
    sink.readResults.assign(31, -7);
    EXPECT_EQ(amd.I2cRead(0x10002, 0x6E, reply, 131, &length), -7);
    EXPECT_EQ(log.events.size(), 62u);
    EXPECT_EQ(log.events.back(), "spin 20000");
}

TEST_F(AmdBackend, ReplyRestFailureAndHeaderChecksEndTheRead) {
    uint8_t reply[131] = {};
    int32_t length = 0;
    sink.messages = {kAck};
    sink.readResults = {0, -4};
    EXPECT_EQ(amd.I2cRead(0, 0x6E, reply, 131, &length), -4);

    sink.current.clear();
    sink.messages = {{0x6F, 0x85}};
    sink.readResults.clear();
    EXPECT_EQ(amd.I2cRead(0, 0x6E, reply, 131, &length), GFX_BAD_REPLY);
    sink.messages = {kAck};
    EXPECT_EQ(amd.I2cRead(0, 0x6E, reply, 7, &length), GFX_BAD_ARGUMENT);
}

TEST_F(AmdBackend, I2cWriteGoesInBlocksOf131BytesBehindTheAddress) {
    Bytes packet(140);
    for (size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(amd.I2cWrite(0x30001, 0x6E, packet.data(), 140), 0);
    EXPECT_EQ(log.events, (Events{"write 3:1 131", "write 3:1 9"}));
    ASSERT_EQ(sink.written.size(), 2u);
    EXPECT_EQ(sink.written[0], Bytes(packet.begin(), packet.begin() + 131));
    EXPECT_EQ(sink.written[1], Bytes(packet.begin() + 131, packet.end()));

    adl.ddc = [](int, int, const Bytes&, int, uint8_t*) { return -9; };
    EXPECT_EQ(amd.I2cWrite(0, 0x6E, packet.data(), 140), -9);
}

// Native AUX: the statuses the library reports, one per call, and what the transfer makes
// of them.
TEST_F(AmdBackend, NativeAuxStatusesAndDeferrals) {
    const struct {
        const char* name;
        std::vector<int> results;      // ADL result of each call
        std::vector<uint32_t> status;  // status of each call
        int32_t expected;
        Events events;
    } cases[] = {
        {"done", {0}, {1}, 0, {"aux 3"}},
        {"deferred twice",
         {0, 0, 0},
         {9, 9, 1},
         0,
         {"aux 3", "spin 5000", "aux 3", "spin 5000", "aux 3"}},
        {"deferred three times",
         {0, 0, 0},
         {9, 9, 9},
         GFX_BUSY,
         {"aux 3", "spin 5000", "aux 3", "spin 5000", "aux 3", "spin 5000"}},
        {"other status", {0}, {4}, 4004, {"aux 3"}},
        {"call fails", {-3}, {1}, 2997, {"aux 3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_t call = 0;
        adl.nativeAux = [&](int, int, uint8_t* record) {
            log.Add("aux " + std::to_string(Get32(record + 8)));
            const size_t i = call++;
            std::memcpy(record + 4, &c.status[i], 4);
            return c.results[i];
        };
        log.events.clear();
        const uint8_t data[4] = {1, 2, 3, 4};
        // Writes pause 700 us before the chunk; the rest is the transaction's own.
        Events expected = {"spin 700"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        EXPECT_EQ(amd.AuxWrite(0, 0x20000, data, 4), c.expected);
        EXPECT_EQ(log.events, expected);
    }
}

TEST_F(AmdBackend, NativeTransfersFillTheRecordChunkByChunk) {
    std::vector<Bytes> records;
    adl.nativeAux = [&](int adapter, int display, uint8_t* record) {
        EXPECT_EQ(adapter, 2);
        EXPECT_EQ(display, 5);
        records.emplace_back(record, record + 36);
        for (uint32_t i = 0; i < Get32(record + 16); ++i) {
            record[20 + i] = static_cast<uint8_t>(Get32(record + 12) + i);
        }
        record[4] = 1;
        return 0;
    };
    uint8_t data[40];
    for (uint8_t i = 0; i < 40; ++i) {
        data[i] = i;
    }
    ASSERT_EQ(amd.AuxWrite(0x20005, 0x20000, data, 40), 0);
    ASSERT_EQ(records.size(), 3u);
    const uint32_t addresses[] = {0x20000, 0x20010, 0x20020};
    const uint32_t sizes[] = {16, 16, 8};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Get32(records[i].data()), 36u);
        EXPECT_EQ(Get32(records[i].data() + 8), 3u);
        EXPECT_EQ(Get32(records[i].data() + 12), addresses[i]);
        EXPECT_EQ(Get32(records[i].data() + 16), sizes[i]);
        EXPECT_EQ(Bytes(records[i].begin() + 20, records[i].begin() + 20 + sizes[i]),
                  Bytes(data + 16 * i, data + 16 * i + sizes[i]));
    }
    EXPECT_EQ(Bytes(records[2].begin() + 28, records[2].end()), Bytes(8, 0)) << "tail cleared";
    EXPECT_EQ(log.events, (Events{"spin 700", "spin 700", "spin 700"}));

    records.clear();
    log.events.clear();
    uint8_t read[20] = {};
    ASSERT_EQ(amd.AuxRead(0x20005, 0x100, read, 20), 0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Get32(records[1].data() + 8), 2u);
    EXPECT_EQ(read[0], 0x00);
    EXPECT_EQ(read[19], static_cast<uint8_t>(0x110 + 3));
    EXPECT_TRUE(log.events.empty()) << "reads do not pause";
}

}  // namespace
}  // namespace zorvan::test
