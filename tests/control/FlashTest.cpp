// The mailbox primitives and the flash operations built on them: requests, status clearing,
// flash ID, erase with its progress, reset, flash reads in rows, and the CMDB verify.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "tests/control/ControlFixture.h"
#include "tests/control/MailboxChip.h"

namespace zorvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pair;

class FlashTest : public ControlTest {
protected:
    FlashTest() { control.delegate = &progress; }

    void QueueStatus(std::vector<uint8_t> bytes) { link.QueueAuxRead({GFX_OK, std::move(bytes)}); }
    void QueueStatusTimes(int times, std::vector<uint8_t> bytes) {
        for (int i = 0; i < times; ++i) {
            QueueStatus(bytes);
        }
    }
    std::vector<std::string> Writes() const {
        std::vector<std::string> out;
        std::copy_if(journal.begin(), journal.end(), std::back_inserter(out),
                     [](const std::string& line) { return line.rfind("AuxWrite", 0) == 0; });
        return out;
    }

    Progress progress;
};

// --- requests and status ---

TEST_F(FlashTest, RequestGoesOutBodyFirstThenItsLength) {
    const uint8_t request[] = {0x04, 0x20, 0x01, 0x25};
    ASSERT_TRUE(control.IspSendRequest(request, 0x20000));
    EXPECT_THAT(journal, ElementsAre("AuxWrite 0x20001 20 01 25 -> 0", "AuxWrite 0x20000 04 -> 0"));

    journal.clear();
    PaceLikeNvidia();
    ASSERT_TRUE(control.IspSendRequest(request, 0x20000));
    EXPECT_THAT(journal, ElementsAre("AuxWrite 0x20001 20 01 25 -> 0", "busy 2ms",
                                     "AuxWrite 0x20000 04 -> 0"));
}

struct RecoveryCase {
    const char* name;
    uint32_t address;
    std::vector<ScriptedRead> reads;
    bool sent;
    size_t readsMade;
};

class RequestRecovery : public FlashTest, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(RequestRecovery, AFailedWriteAtTheCommandBufferIsJudgedByItsLengthByte) {
    const RecoveryCase& c = GetParam();
    link.QueueAuxWriteResult(GFX_AUX_NACK);
    for (const ScriptedRead& r : c.reads) {
        link.QueueAuxRead(r);
    }
    const uint8_t request[] = {0x03, 0x10, 0x13};
    EXPECT_EQ(control.IspSendRequest(request, c.address), c.sent);
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead), c.readsMade);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestRecovery,
    ::testing::Values(
        RecoveryCase{"LengthArrived", 0x20000, {{GFX_AUX_NACK, {}}, {GFX_OK, {3}}}, true, 2},
        RecoveryCase{"OtherByte", 0x20000, {{GFX_OK, {0}}}, false, 1},
        RecoveryCase{"NeverReadable", 0x20000, {}, false, 100},
        RecoveryCase{"NotTheCommandBuffer", 0x30000, {{GFX_OK, {3}}}, false, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FlashTest, ClearStatusRetriesTheWriteThenWaitsForAZeroByte) {
    link.QueueAuxWriteResult(GFX_AUX_NACK);
    QueueStatus({3});
    link.QueueAuxRead({GFX_AUX_NACK, {}});
    QueueStatus({0});
    EXPECT_TRUE(control.IspClearStatus());
    EXPECT_EQ(link.CountOf(LinkOp::kAuxWrite), 2u);
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead), 3u);

    QueueStatusTimes(100, {3});
    EXPECT_FALSE(control.IspClearStatus());
}

// --- flash ID ---

TEST_F(FlashTest, FlashIdAnswerNeedsNonZeroIdBytes) {
    QueueStatus({0, 0, 0, 0, 0});
    QueueStatus({0x05, 0x1C, 0x00, 0x40, 0x00});  // byte 2 still zero
    QueueStatus({0x05, 0x1C, 0x15, 0x40, 0x00});
    QueueStatus({0});  // the status cleared afterwards
    uint16_t id = 0;
    std::wstring text = L"untouched";
    ASSERT_TRUE(control.ReadFlashId(id, text));
    EXPECT_EQ(id, 0x4015);
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(journal.front(), "AuxWrite 0x20001 1C FF 00 00 20 00 00 44 -> 0");
    EXPECT_THAT(progress.reports, ElementsAre(Pair(0, 500), Pair(1, 500), Pair(500, 500)));
    EXPECT_EQ(Writes().back(), "AuxWrite 0x10000 00 -> 0");
}

struct TimeoutCase {
    const char* name;
    ScriptedRead status;
    size_t polls;
    int32_t limit;
};

class FlashIdTimeout : public FlashTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(FlashIdTimeout, GivesUpAfterItsPolls) {
    const TimeoutCase& c = GetParam();
    link.unscriptedAuxRead = c.status;
    uint16_t id = 0x1234;
    std::wstring text;
    EXPECT_FALSE(control.ReadFlashId(id, text));
    EXPECT_EQ(text, L"Reading flash ID timed out!\r\n");
    EXPECT_EQ(id, 0x1234);
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead), c.polls);
    EXPECT_EQ(progress.reports.back(), std::make_pair(static_cast<int32_t>(c.polls) - 1, c.limit));
    EXPECT_EQ(std::count(clock.waits().begin(), clock.waits().end(), BusyOf(3)),
              static_cast<ptrdiff_t>(c.polls));
}

INSTANTIATE_TEST_SUITE_P(
    Polls, FlashIdTimeout,
    ::testing::Values(TimeoutCase{"StatusStaysZero", {GFX_OK, {0, 0, 0, 0, 0}}, 500, 500},
                      TimeoutCase{"ReadsKeepFailing", {GFX_AUX_NACK, {}}, 3000, 3000}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FlashTest, FlashIdWithoutItsEchoFails) {
    QueueStatus({0x05, 0x1D, 0x15, 0x40, 0x00});
    uint16_t id = 0;
    std::wstring text;
    EXPECT_FALSE(control.ReadFlashId(id, text));
    EXPECT_EQ(text, L"Reading flash ID timed out!\r\n");
}

// --- erase and reset ---

TEST_F(FlashTest, FullEraseReportsAgainst30AndEndsWith30Of30) {
    QueueStatusTimes(40, {0});
    QueueStatus({3});
    QueueStatus({3, 0x0C, 0xF1});
    QueueStatus({0});
    ASSERT_TRUE(control.EraseFlash(0xFFFF));
    EXPECT_EQ(journal.front(), "AuxWrite 0x20001 19 FF FF 1C -> 0");
    std::vector<std::pair<int32_t, int32_t>> expected;
    for (int32_t i = 0; i < 30; ++i) {
        expected.emplace_back(i, 30);
    }
    expected.emplace_back(30, 30);
    EXPECT_EQ(progress.reports, expected) << "no report between 29 and the final one";
    EXPECT_EQ(clock.waits().front(), SleepOf(250));
    EXPECT_EQ(std::count(clock.waits().begin(), clock.waits().end(), SleepOf(50)), 40);
}

TEST_F(FlashTest, PartialEraseReportsAgainst150) {
    QueueStatus({0x11});  // neither empty nor complete: polled again at once
    QueueStatus({3});
    QueueStatus({3, 0x0C, 0xF1});
    QueueStatus({0});
    ASSERT_TRUE(control.EraseFlash(0xFFA3));
    EXPECT_EQ(journal.front(), "AuxWrite 0x20001 19 FF A3 40 -> 0");
    EXPECT_THAT(progress.reports, ElementsAre(Pair(0, 150), Pair(1, 150), Pair(150, 150)));
}

TEST_F(FlashTest, EraseFailsOnAWrongCompletionOrAfter150Polls) {
    QueueStatus({3});
    QueueStatus({3, 0x0C, 0xF2});
    EXPECT_FALSE(control.EraseFlash(0xFFFF));
    EXPECT_EQ(progress.reports.back(), std::make_pair(0, 30));

    link.unscriptedAuxRead = {GFX_OK, {0}};
    const size_t before = link.CountOf(LinkOp::kAuxRead);
    EXPECT_FALSE(control.EraseFlash(0xFFFF));
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead) - before, 150u);
}

TEST_F(FlashTest, SystemResetPollsTenTimesAtMost) {
    QueueStatus({0});
    link.QueueAuxRead({GFX_AUX_NACK, {}});
    QueueStatus({3});
    QueueStatus({3, 0x0C, 0xF1});
    QueueStatus({0});
    ASSERT_TRUE(control.SystemReset());
    EXPECT_EQ(journal.front(), "AuxWrite 0x20001 20 01 25 -> 0");
    EXPECT_THAT(clock.waits(), ElementsAre(SleepOf(250), BusyOf(10)));
    EXPECT_TRUE(progress.reports.empty());

    link.unscriptedAuxRead = {GFX_OK, {0}};
    const size_t before = link.CountOf(LinkOp::kAuxRead);
    EXPECT_FALSE(control.SystemReset());
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead) - before, 10u);
}

// --- reading flash ---

TEST_F(FlashTest, SixtyBytesAreReadAs57And3InRowsOf16) {
    std::vector<uint8_t> flash(60);
    std::iota(flash.begin(), flash.end(), uint8_t{0x40});
    // 57 bytes: n = 60 in four rows of 15; the first row holds n, 1B and 13 data bytes.
    std::vector<uint8_t> response = {60, 0x1B};
    response.insert(response.end(), flash.begin(), flash.begin() + 57);
    response.push_back(0xEE);
    std::vector<uint8_t> rows;
    for (size_t at = 0; at < response.size(); at += 15) {
        rows.push_back(15);
        rows.insert(rows.end(), response.begin() + static_cast<ptrdiff_t>(at),
                    response.begin() + static_cast<ptrdiff_t>(at + 15));
    }
    QueueStatus({15, 60, 0x1B});
    QueueStatus(rows);
    QueueStatusTimes(4, {0});  // response rows cleared
    // 3 bytes: n = 6 in one row of count 6.
    QueueStatus({6, 6, 0x1B});
    QueueStatus({6, 6, 0x1B, flash[57], flash[58], flash[59], 0xEE});
    QueueStatusTimes(4, {0});

    std::vector<uint8_t> out(60, 0);
    ASSERT_TRUE(control.ReadFlash(0x7FFC4, out.data(), 60));
    EXPECT_EQ(out, flash);
    const auto reads = link.EventsOf(LinkOp::kAuxRead);
    EXPECT_EQ(reads[1].length, 64) << "n + n/15 rounded up";
    EXPECT_EQ(reads[7].length, 7);
    EXPECT_THAT(Writes(),
                ElementsAre("AuxWrite 0x20001 1B 07 FF C4 39 19 -> 0", "AuxWrite 0x20000 07 -> 0",
                            "AuxWrite 0x10000 00 -> 0", "AuxWrite 0x10010 00 -> 0",
                            "AuxWrite 0x10020 00 -> 0", "AuxWrite 0x10030 00 -> 0",
                            "AuxWrite 0x20001 1B 07 FF FD 03 1A -> 0", "AuxWrite 0x20000 07 -> 0",
                            "AuxWrite 0x10000 00 -> 0", "AuxWrite 0x10010 00 -> 0",
                            "AuxWrite 0x10020 00 -> 0", "AuxWrite 0x10030 00 -> 0"));
}

struct ResponseCase {
    const char* name;
    std::vector<uint8_t> head;
    std::vector<uint8_t> rows;
};

class BadResponse : public FlashTest, public ::testing::WithParamInterface<ResponseCase> {};

TEST_P(BadResponse, IsRefusedWithoutWritingPastTheOutput) {
    const ResponseCase& c = GetParam();
    QueueStatus(c.head);
    QueueStatus(c.rows);
    std::vector<uint8_t> out(4, 0xAA);
    EXPECT_FALSE(control.IspReadResponse(out.data(), 3));
    EXPECT_EQ(out[3], 0xAA);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, BadResponse,
    ::testing::Values(ResponseCase{"WrongLength", {6, 7, 0x1B}, {}},
                      ResponseCase{"WrongEcho", {6, 6, 0x1C}, {}},
                      // A row count of 0 or 2 carries no data: the read cannot complete.
                      ResponseCase{"EmptyFirstRow", {6, 6, 0x1B}, {2, 6, 0x1B, 1, 2, 3, 4}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FlashTest, HugeRowCountsAreCutToTheRow) {
    // 20 bytes: n = 23 in rows of 15 and 8; the first row claims 0xFF bytes.
    std::vector<uint8_t> data(20);
    std::iota(data.begin(), data.end(), uint8_t{1});
    std::vector<uint8_t> rows = {0xFF, 23, 0x1B};
    rows.insert(rows.end(), data.begin(), data.begin() + 13);
    rows.push_back(8);
    rows.insert(rows.end(), data.begin() + 13, data.end());
    rows.push_back(0xEE);
    QueueStatus({0xFF, 23, 0x1B});
    QueueStatus(rows);
    std::vector<uint8_t> out(20);
    ASSERT_TRUE(control.IspReadResponse(out.data(), 20));
    EXPECT_EQ(out, data);
}

TEST_F(FlashTest, ReadFlashRefusesRangesOutsideTheFlash) {
    uint8_t out[4] = {};
    EXPECT_FALSE(control.ReadFlash(0x7FFFE, out, 4));
    EXPECT_FALSE(control.ReadFlash(0x80000, out, 1));
    EXPECT_FALSE(control.ReadFlash(0, out, -1));
    EXPECT_TRUE(control.ReadFlash(0, out, 0));
    EXPECT_TRUE(link.events().empty());
}

TEST_F(FlashTest, FlashVersionIsReadTwentyBytesBeforeTheImageEnd) {
    MailboxChip chip(link);
    chip.flash.assign(0x80000, 0xFF);
    chip.flash[0x80000 - 20] = 0x06;
    chip.flash[0x80000 - 19] = 0x01;
    chip.flash[0x80000 - 18] = 0x02;
    control.firmwareLength = 0x80000;
    EXPECT_EQ(control.ReadFlashVersion(), 0x020106u);

    link.onWrite = nullptr;
    EXPECT_EQ(control.ReadFlashVersion(), 0u) << "no answer";
    control.firmwareLength = 10;
    EXPECT_EQ(control.ReadFlashVersion(), 0u);
}

// --- CMDB verify ---

class CmdbVerifyTest : public FlashTest {
protected:
    CmdbVerifyTest() {
        cmdb.assign(4096, 0x00);
        std::iota(cmdb.begin(), cmdb.end(), uint8_t{0});
        std::copy_n("CMDB", 4, cmdb.begin());
        control.cmdbImage = cmdb;
        control.cmdbLength = 4096;
    }
    std::vector<uint8_t> cmdb;
};

TEST_F(CmdbVerifyTest, ThroughTheDriverComparesTheWholeFile) {
    MailboxChip chip(link);
    chip.flash.assign(0x80000, 0xFF);
    std::copy(cmdb.begin(), cmdb.end(), chip.flash.begin() + 0x7E000);
    EXPECT_TRUE(control.VerifyCmdb(false));

    chip.flash[0x7E000 + 4000] ^= 0x01;  // far past the 128-byte record
    EXPECT_FALSE(control.VerifyCmdb(false));
}

TEST_F(CmdbVerifyTest, ThroughTheCommandChannelReadsTheMappedFlash) {
    std::vector<uint8_t> flash = cmdb;
    AnswerMemoryReads([&flash](uint32_t address, uint32_t size) {
        const uint32_t at = address - 0x47E000;
        return std::vector<uint8_t>(flash.begin() + at, flash.begin() + at + size);
    });
    EXPECT_TRUE(control.VerifyCmdb(true));
    EXPECT_EQ(MemoryReadsSent().front(), std::make_pair(0x47E000u, 96u));

    flash[4095] ^= 0x80;
    EXPECT_FALSE(control.VerifyCmdb(true));
}

TEST_F(CmdbVerifyTest, WithoutALoadedFileNothingIsRead) {
    control.cmdbImage.clear();
    EXPECT_FALSE(control.VerifyCmdb(true));
    control.cmdbImage = cmdb;
    control.cmdbLength = 0;
    EXPECT_FALSE(control.VerifyCmdb(false));
    control.cmdbLength = 5000;  // more than the image holds
    EXPECT_FALSE(control.VerifyCmdb(false));
    EXPECT_TRUE(link.events().empty());
}

}  // namespace
}  // namespace zorvan::testing
