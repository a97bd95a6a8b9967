// GfxLibNvidia transfers: request types, chunking, pauses, the driver-level retries and
// the DDC/CI reply read, checked on the records the driver receives and on the order of
// requests and waits.
#include <gtest/gtest.h>

#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "core/gfx/GfxLibNvidia.h"
#include "core/platform/Clock.h"
#include "tests/gfx/EventLog.h"
#include "tests/gfx/FakeNvApi.h"

namespace zorvan::test {
namespace {

using Events = std::vector<std::string>;

std::vector<uint8_t> Iota(size_t count, uint8_t first) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class NvidiaTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        AddSimpleGpu(driver, 0x1001, 0xABC);
        uint32_t deviceId = 0;
        std::wstring text;
        ASSERT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
        log.events.clear();
    }

    // (type, address, length) of every request seen.
    std::vector<std::vector<uint32_t>> Shapes() const {
        std::vector<std::vector<uint32_t>> shapes;
        for (const SeenRequest& r : driver.requests) {
            shapes.push_back({r.Type(), r.Address(), r.Length()});
        }
        return shapes;
    }

    EventLog log;
    RecordingClock clock{log};
    platform::ScopedClock clockGuard{clock};
    FakeNvApi driver{&log};
    ScopedNvApi driverGuard{driver};
    GfxLibNvidia nv;
};

// --- the retry rules of one request ---

struct RetryCase {
    const char* name;
    std::vector<AuxAnswer> answers;
    int32_t result;
    Events events;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }

class NvidiaRetry : public NvidiaTransfer, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(NvidiaRetry, FollowsTheReplyCode) {
    driver.script.assign(GetParam().answers.begin(), GetParam().answers.end());
    driver.dpcd[0x300] = 0x5A;
    uint8_t byte = 0;
    EXPECT_EQ(nv.AuxRead(0, 0x300, &byte, 1), GetParam().result);
    EXPECT_EQ(log.events, GetParam().events);
    EXPECT_EQ(byte, GetParam().result == 0 ? 0x5A : 0x00);
}

const std::string kRead = "aux t=1 0x300 len=1";

INSTANTIATE_TEST_SUITE_P(
    Cases, NvidiaRetry,
    ::testing::Values(
        RetryCase{"Acknowledged", {{0, 0}}, 0, {kRead}},
        RetryCase{"DeferredTwiceThenAcknowledged",
                  {{0, 2}, {0, 2}, {0, 0}},
                  0,
                  {kRead, "spin 5000", kRead, "spin 5000", kRead}},
        RetryCase{"DeferredThreeTimes",
                  {{0, 2}, {0, 2}, {0, 2}, {0, 0}},
                  GFX_BUSY,
                  {kRead, "spin 5000", kRead, "spin 5000", kRead, "spin 5000"}},
        RetryCase{"Refused", {{0, 1}}, GFX_AUX_NACK, {kRead}},
        RetryCase{"FailedCallMarked255", {{-1, 255}}, 1, {kRead}},
        RetryCase{"FailedCallGivesItsStatus", {{-5, 0}}, -5, {kRead}},
        RetryCase{"FailedCallAfterDeferral", {{0, 2}, {-5, 2}}, -5, {kRead, "spin 5000", kRead}},
        RetryCase{"OtherReplyCodeCountsAsSuccess", {{0, 3}}, 0, {kRead}}),
    [](const ::testing::TestParamInfo<RetryCase>& p) { return p.param.name; });

TEST_F(NvidiaTransfer, ADeferredWriteIsSentAgainWithItsData) {
    driver.script = {{0, 2}, {0, 0}};
    const std::vector<uint8_t> data = Iota(5, 0x10);
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, data.data(), 5), 0);
    ASSERT_EQ(driver.requests.size(), 2u);
    EXPECT_EQ(driver.requests[0].bytes, driver.requests[1].bytes);
    EXPECT_EQ(driver.requests[1].Data(), data);
}

// --- chunking, request types and pauses ---

TEST_F(NvidiaTransfer, I2cWriteChunksAtTheSameAddressAndEndsWithTheLastPartType) {
    const struct {
        int32_t length;
        std::vector<std::vector<uint32_t>> shapes;
    } cases[] = {
        {10, {{2, 0x6E, 10}}},
        {16, {{2, 0x6E, 16}}},
        {17, {{5, 0x6E, 16}, {2, 0x6E, 1}}},
        {40, {{5, 0x6E, 16}, {5, 0x6E, 16}, {2, 0x6E, 8}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        driver.requests.clear();
        log.events.clear();
        const std::vector<uint8_t> data = Iota(static_cast<size_t>(c.length), 0x40);
        EXPECT_EQ(nv.I2cWrite(0, 0x6E, data.data(), c.length), 0);
        EXPECT_EQ(Shapes(), c.shapes);
        std::vector<uint8_t> sent;
        for (const SeenRequest& r : driver.requests) {
            const std::vector<uint8_t> part = r.Data();
            sent.insert(sent.end(), part.begin(), part.end());
        }
        EXPECT_EQ(sent, data);
        EXPECT_EQ(log.events.size(), driver.requests.size()) << "no pauses between chunks";
    }
}

TEST_F(NvidiaTransfer, AuxWriteOf40BytesPausesBeforeEachOfThreeChunks) {
    const std::vector<uint8_t> data = Iota(40, 0x00);
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, data.data(), 40), 0);
    EXPECT_EQ(log.events, (Events{"spin 700", "aux t=0 0x20000 len=16", "spin 700",
                                  "aux t=0 0x20010 len=16", "spin 700", "aux t=0 0x20020 len=8"}));
    ASSERT_EQ(driver.requests.size(), 3u);
    EXPECT_EQ(driver.requests[1].Data(), Iota(16, 16));
    EXPECT_EQ(driver.requests[2].Data(), Iota(8, 32));
}

TEST_F(NvidiaTransfer, AuxReadAdvancesTheAddressWithoutPauses) {
    for (uint32_t a = 0; a < 40; ++a) {
        driver.dpcd[0x10000 + a] = static_cast<uint8_t>(0xC0 + a);
    }
    std::vector<uint8_t> buffer(40, 0);
    EXPECT_EQ(nv.AuxRead(0, 0x10000, buffer.data(), 40), 0);
    EXPECT_EQ(log.events, (Events{"aux t=1 0x10000 len=16", "aux t=1 0x10010 len=16",
                                  "aux t=1 0x10020 len=8"}));
    EXPECT_EQ(buffer, Iota(40, 0xC0));
    for (const SeenRequest& r : driver.requests) {
        EXPECT_EQ(r.Data(), std::vector<uint8_t>(r.Length(), 0)) << "data cleared before a read";
    }
}

TEST_F(NvidiaTransfer, TheFirstFailingChunkEndsAWriteOrARead) {
    const std::vector<uint8_t> data = Iota(40, 0);
    std::vector<uint8_t> buffer(40, 0x33);

    driver.script = {{0, 0}, {0, 1}};
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, data.data(), 40), GFX_AUX_NACK);
    EXPECT_EQ(driver.requests.size(), 2u);

    driver.requests.clear();
    driver.script = {{0, 0}, {0, 1}};
    EXPECT_EQ(nv.I2cWrite(0, 0x6E, data.data(), 40), GFX_AUX_NACK);
    EXPECT_EQ(driver.requests.size(), 2u);

    driver.requests.clear();
    driver.script = {{0, 0}, {-1, 255}};
    EXPECT_EQ(nv.AuxRead(0, 0x10000, buffer.data(), 40), 1);
    EXPECT_EQ(driver.requests.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 16, buffer.end()),
              std::vector<uint8_t>(24, 0x33))
        << "nothing of the failed chunk is copied out";
}

// --- the DDC/CI reply read ---

TEST_F(NvidiaTransfer, I2cReadOfNineAndTwentyBytes) {
    const struct {
        std::vector<uint8_t> reply;
        Events events;
    } cases[] = {
        {{0x6E, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x0C, 0x01, 0x99},
         {"aux t=6 0x6E len=2", "spin 700", "aux t=3 0x6E len=7"}},
        {[] {
             std::vector<uint8_t> r = Iota(20, 0x10);
             r[0] = 0x6E;
             r[1] = 0x80 + 17;
             return r;
         }(),
         {"aux t=6 0x6E len=2", "spin 700", "aux t=6 0x6E len=16", "spin 700",
          "aux t=3 0x6E len=2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        log.events.clear();
        driver.SetI2cReply(c.reply);
        std::vector<uint8_t> buffer(131, 0);
        int32_t length = 0;
        EXPECT_EQ(nv.I2cRead(0, 0x6E, buffer.data(), 131, &length), 0);
        EXPECT_EQ(length, static_cast<int32_t>(c.reply.size()));
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length), c.reply);
        EXPECT_EQ(log.events, c.events);
    }
}

TEST_F(NvidiaTransfer, AFailedChunkOfTheReplyContributesZeros) {
    std::vector<uint8_t> reply = Iota(20, 0x10);
    reply[0] = 0x6E;
    reply[1] = 0x80 + 17;
    driver.SetI2cReply(reply);
    driver.script = {{0, 0}, {0, 1}};  // header taken, first 16-byte chunk refused

    std::vector<uint8_t> buffer(131, 0x33);
    int32_t length = 0;
    EXPECT_EQ(nv.I2cRead(0, 0x6E, buffer.data(), 131, &length), 0);
    EXPECT_EQ(length, 20);
    std::vector<uint8_t> expected(20, 0);
    expected[0] = 0x6E;
    expected[1] = 0x91;
    expected[18] = reply[2];  // the sink had not sent the refused chunk's bytes
    expected[19] = reply[3];
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 20), expected);
    EXPECT_EQ(driver.requests.size(), 3u);
}

struct ReplyCase {
    const char* name;
    std::vector<uint8_t> reply;
    int32_t capacity;
    int32_t result;
    int32_t length;   // length out when the result is 0
    size_t requests;  // requests the read takes
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class NvidiaReplyHeader : public NvidiaTransfer, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(NvidiaReplyHeader, IsCheckedBeforeTheRestIsRead) {
    const ReplyCase& c = GetParam();
    driver.SetI2cReply(c.reply);
    std::vector<uint8_t> buffer(200, 0xA5);
    int32_t length = -1;
    EXPECT_EQ(nv.I2cRead(0, 0x6E, buffer.data(), c.capacity, &length), c.result);
    EXPECT_EQ(driver.requests.size(), c.requests);
    if (c.result != 0) {
        EXPECT_EQ(length, -1);
        EXPECT_EQ(buffer, std::vector<uint8_t>(200, 0xA5));
        return;
    }
    EXPECT_EQ(length, c.length);
    const size_t stored = static_cast<size_t>(std::min(c.length, c.capacity));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<long>(stored)),
              std::vector<uint8_t>(c.reply.begin(), c.reply.begin() + static_cast<long>(stored)));
    EXPECT_EQ(buffer[stored], 0xA5) << "nothing stored beyond the reply";
}

std::vector<uint8_t> LongestReply() {
    std::vector<uint8_t> r = Iota(130, 0);
    r[0] = 0x6E;
    r[1] = 0xFF;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NvidiaReplyHeader,
    ::testing::Values(
        ReplyCase{"NullMessage", {0x6E, 0x80, 0xBE}, 131, 0, 3, 2},
        ReplyCase{"Acknowledgement", {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76}, 8, 0, 8, 2},
        ReplyCase{"CapacityTooSmall", {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76}, 7,
                  GFX_BAD_ARGUMENT, 0, 1},
        ReplyCase{"WrongSource", {0x6F, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76}, 131,
                  GFX_BAD_REPLY, 0, 1},
        ReplyCase{"LengthByteTooSmall", {0x6E, 0x7D, 0x00}, 131, GFX_BAD_REPLY, 0, 1},
        // 0x7E and 0x7F announce less than the header itself: the length out stays 2.
        ReplyCase{"LengthByte7E", {0x6E, 0x7E}, 1, 0, 2, 1},
        ReplyCase{"LengthByte7F", {0x6E, 0x7F}, 131, 0, 2, 1},
        ReplyCase{"LongestReply", LongestReply(), 131, 0, 130, 9}),
    [](const ::testing::TestParamInfo<ReplyCase>& p) { return p.param.name; });

TEST_F(NvidiaTransfer, AFailedHeaderEndsTheRead) {
    driver.script = {{0, 1}};
    uint8_t buffer[131] = {};
    int32_t length = 0;
    EXPECT_EQ(nv.I2cRead(0, 0x6E, buffer, 131, &length), GFX_AUX_NACK);
    EXPECT_EQ(driver.requests.size(), 1u);
}

TEST_F(NvidiaTransfer, BadArgumentsAreRefusedBeforeTheLink) {
    uint8_t data[4] = {};
    int32_t length = 0;
    EXPECT_EQ(nv.I2cWrite(0, 0x6E, nullptr, 4), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.I2cWrite(0, 0x6E, data, 0), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.I2cWrite(0, 0x6E, data, -1), 0);
    EXPECT_EQ(nv.I2cRead(0, 0x6E, nullptr, 4, &length), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.I2cRead(0, 0x6E, data, 4, nullptr), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, nullptr, 4), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, data, 0), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.AuxRead(0, 0x20000, nullptr, 4), GFX_BAD_ARGUMENT);
    EXPECT_EQ(nv.AuxRead(0, 0x20000, data, 0), GFX_BAD_ARGUMENT);
    EXPECT_TRUE(driver.requests.empty());
}

}  // namespace
}  // namespace zorvan::test
