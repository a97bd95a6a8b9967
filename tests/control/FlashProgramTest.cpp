// Programming through the mailbox: the CRC, the bytes and handshakes of a block, the step
// codes of each failure, erased-block skipping per program code, and the read-back of a
// block whose completion never comes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "core/control/Crc16.h"
#include "tests/control/ControlFixture.h"
#include "tests/control/MailboxChip.h"

namespace zorvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pair;

std::vector<uint8_t> Pattern(size_t size, uint8_t start = 1) {
    std::vector<uint8_t> data(size);
    std::iota(data.begin(), data.end(), start);
    return data;
}

// The stream a block carries: its data, 00 00 and the CRC, high byte first.
std::vector<uint8_t> Stream(std::vector<uint8_t> data) {
    const uint16_t crc = Crc16(data);
    data.insert(data.end(),
                {0x00, 0x00, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)});
    return data;
}

TEST(Crc16, MatchesTheChipsCheckValues) {
    const std::vector<uint8_t> abc = {'a', 'b', 'c'};
    EXPECT_EQ(Crc16(abc), 0xEB62);
    EXPECT_EQ(Crc16({}), 0x1021) << "the initial value, no final XOR";
    const std::vector<uint8_t> one = {0x01};
    EXPECT_NE(Crc16(one), Crc16(std::vector<uint8_t>{0x02}));
}

class FlashProgramTest : public ControlTest {
protected:
    FlashProgramTest() { control.delegate = &progress; }

    bool Program(const std::vector<uint8_t>& data, uint8_t code, uint32_t offset,
                 int32_t total = 0) {
        return control.ProgramFlash(data.data(), static_cast<int32_t>(data.size()), code, offset,
                                    &counter,
                                    total == 0 ? static_cast<int32_t>(data.size()) : total, &step);
    }

    std::vector<LinkEvent> WritesAt(uint32_t address) const {
        std::vector<LinkEvent> out;
        for (const LinkEvent& e : link.EventsOf(LinkOp::kAuxWrite)) {
            if (e.address == address) {
                out.push_back(e);
            }
        }
        return out;
    }

    Progress progress;
    int32_t counter = 0;
    uint32_t step = 0xDEAD;
};

TEST_F(FlashProgramTest, OneBlockGoesThroughTheMailboxInThisOrder) {
    MailboxChip chip(link);
    const std::vector<uint8_t> data = Pattern(10, 0xA0);
    const std::vector<uint8_t> stream = Stream(data);
    ASSERT_TRUE(Program(data, PROGRAM_CODE_NORMAL, 0x7E000));

    const std::string crc = HexBytes({stream[12], stream[13]});
    EXPECT_THAT(
        journal,
        ElementsAre(
            "busy 15ms",
            // program request, its length byte last
            "AuxWrite 0x20001 10 13 -> 0", "AuxWrite 0x20000 03 -> 0", "AuxRead 0x10000 1 -> 0 00",
            // header at the command buffer once its first half is free
            "AuxRead 0x200FF 1 -> 0 00", "AuxWrite 0x20000 00 47 E0 00 00 00 00 0A -> 0",
            "AuxWrite 0x200FF 08 -> 0",
            // the first half of the stream into the second half of the buffer
            "AuxRead 0x201FF 1 -> 0 00", "AuxWrite 0x20100 A0 A1 A2 A3 A4 A5 A6 -> 0",
            "AuxWrite 0x201FF 07 -> 0",
            // the rest into the first half
            "AuxRead 0x200FF 1 -> 0 00", "AuxWrite 0x20000 A7 A8 A9 00 00 " + crc + " -> 0",
            "AuxWrite 0x200FF 07 -> 0",
            // completion, then the status cleared
            "busy 10ms", "AuxRead 0x10000 1 -> 0 03", "busy 1ms", "AuxRead 0x10000 3 -> 0 03 0C F1",
            "AuxWrite 0x10000 00 -> 0", "AuxRead 0x10000 1 -> 0 00"));
    EXPECT_THAT(progress.reports, ElementsAre(Pair(10, 10)));
}

TEST_F(FlashProgramTest, NvidiaPacingAddsItsPausesAroundEveryMailboxStep) {
    PaceLikeNvidia();
    MailboxChip chip(link);
    ASSERT_TRUE(Program(Pattern(10), PROGRAM_CODE_NORMAL, 0));
    EXPECT_THAT(clock.waits(),
                ElementsAre(BusyOf(15), BusyOf(1), BusyOf(2),  // request, length byte last
                            BusyOf(1), BusyOf(1), BusyOf(1),   // around the status read, header
                            BusyOf(1), BusyOf(3),              // header flag, before the block
                            BusyOf(5), BusyOf(2),              // second half: piece, flag
                            BusyOf(5), BusyOf(2),              // first half: piece, flag
                            BusyOf(10), BusyOf(2),             // completion
                            BusyOf(1), BusyOf(2)));            // status cleared
}

TEST_F(FlashProgramTest, LargeHalvesAreWrittenInPiecesOfTheReplyBufferSize) {
    MailboxChip chip(link);
    const std::vector<uint8_t> data = Pattern(504);
    ASSERT_TRUE(Program(data, PROGRAM_CODE_NORMAL, 0));
    ASSERT_EQ(chip.blocks.size(), 1u);
    EXPECT_EQ(chip.blocks[0].stream, Stream(data));
    std::vector<std::pair<uint32_t, int32_t>> pieces;
    for (const LinkEvent& e : link.EventsOf(LinkOp::kAuxWrite)) {
        if (e.length > 8) {
            pieces.emplace_back(e.address, e.length);
        }
    }
    // 508 bytes: 254 to 0x20100 and 254 to 0x20000, each as 131 + 123.
    EXPECT_THAT(pieces, ElementsAre(Pair(0x20100u, 131), Pair(0x20183u, 123), Pair(0x20000u, 131),
                                    Pair(0x20083u, 123)));
}

TEST_F(FlashProgramTest, RegionIsCutIntoBlocksOfCommandSizeLessTheHeader) {
    MailboxChip chip(link);
    const std::vector<uint8_t> data = Pattern(0x24000);
    ASSERT_TRUE(Program(data, PROGRAM_CODE_NORMAL, 0x24000, 0x60400));
    ASSERT_EQ(chip.blocks.size(), 293u);
    for (size_t i = 0; i < chip.blocks.size(); ++i) {
        const uint32_t address = 0x424000 + static_cast<uint32_t>(i * 504);
        const uint32_t size = i < 292 ? 504 : 288;
        ASSERT_EQ(chip.blocks[i].header,
                  (std::vector<uint8_t>{
                      0x00, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                      static_cast<uint8_t>(address), 0, 0, static_cast<uint8_t>(size >> 8),
                      static_cast<uint8_t>(size)}))
            << "block " << i;
        const auto begin = data.begin() + static_cast<ptrdiff_t>(i * 504);
        ASSERT_EQ(chip.blocks[i].stream, Stream({begin, begin + size})) << "block " << i;
    }
    EXPECT_EQ(progress.reports.back(), std::make_pair(0x24000, 0x60400));
    EXPECT_EQ(counter, 0x24000);
}

struct CompletionCase {
    const char* name;
    size_t badBlock;
    uint32_t step;
    size_t blocksSent;
};

class BadCompletion : public FlashProgramTest,
                      public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(BadCompletion, FailsTheBlockWithTheCodeOfWhatWentBefore) {
    const CompletionCase& c = GetParam();
    MailboxChip chip(link);
    chip.completions[c.badBlock] = {0x03, 0x0C, 0xF2};
    EXPECT_FALSE(Program(Pattern(3 * 504), PROGRAM_CODE_NORMAL, 0));
    EXPECT_EQ(step, c.step);
    EXPECT_EQ(chip.blocks.size(), c.blocksSent);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BadCompletion,
                         ::testing::Values(CompletionCase{"FirstBlock", 0, 0x4, 1},
                                           CompletionCase{"LaterBlock", 1, 0x504, 2},
                                           CompletionCase{"LastBlock", 2, 0x504, 3}),
                         [](const auto& param) { return std::string(param.param.name); });

struct CodeCase {
    uint8_t code;
    std::vector<uint8_t> requestBody;  // after the length byte
    bool programsErasedBlocks;
};

class ProgramCodes : public FlashProgramTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ProgramCodes, SendTheirRequestAndSkipErasedBlocksUnless0x77) {
    const CodeCase& c = GetParam();
    MailboxChip chip(link);
    ASSERT_TRUE(Program(Pattern(20), c.code, 0));
    ASSERT_FALSE(WritesAt(0x20001).empty());
    EXPECT_EQ(WritesAt(0x20001)[0].data, c.requestBody);

    link.onWrite = nullptr;
    MailboxChip erasedChip(link);
    const size_t writesBefore = link.CountOf(LinkOp::kAuxWrite);
    step = 0xDEAD;
    counter = 0;
    const bool programmed = Program(std::vector<uint8_t>(504, 0xFF), c.code, 0);
    EXPECT_EQ(programmed, c.programsErasedBlocks);
    EXPECT_EQ(erasedChip.blocks.size(), c.programsErasedBlocks ? 1u : 0u);
    if (!c.programsErasedBlocks) {
        EXPECT_EQ(link.CountOf(LinkOp::kAuxWrite), writesBefore) << "a skipped block costs nothing";
        EXPECT_EQ(step, 0xDEADu) << "nothing failed";
        EXPECT_EQ(counter, 504) << "progress still counts the block";
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, ProgramCodes,
                         ::testing::Values(CodeCase{0x10, {0x10, 0x13}, false},
                                           CodeCase{0x76, {0x76, 0x75}, false},
                                           CodeCase{0x77, {0x77, 0x74}, true},
                                           CodeCase{0x78, {0x78, 0x7B}, false},
                                           CodeCase{0x42, {0x10, 0x13}, false}));

// Into a freshly erased region, blank data is written by sending nothing; a block that had
// to go and failed stays a failure, blank or not.
TEST_F(FlashProgramTest, ErasedRegionTakesBlankDataButNoFailedBlock) {
    const std::vector<uint8_t> blank(504, 0xFF);
    const size_t writesBefore = link.CountOf(LinkOp::kAuxWrite);
    EXPECT_TRUE(control.ProgramErasedRegion(blank.data(), 504, PROGRAM_CODE_76, 0, nullptr, 504,
                                            &step));
    EXPECT_EQ(link.CountOf(LinkOp::kAuxWrite), writesBefore);

    link.QueueAuxWriteResult(GFX_AUX_NACK);  // the request body
    EXPECT_FALSE(control.ProgramErasedRegion(blank.data(), 504, PROGRAM_CODE_ALL, 0, nullptr, 504,
                                             &step))
        << "0x77 sends erased blocks too";
    link.QueueAuxWriteResult(GFX_AUX_NACK);
    const std::vector<uint8_t> data = Pattern(10);
    EXPECT_FALSE(control.ProgramErasedRegion(data.data(), 10, PROGRAM_CODE_NORMAL, 0, nullptr, 10,
                                             &step));
    EXPECT_EQ(step, 1u);
}

TEST_F(FlashProgramTest, BlockAfterASkippedOneIsWrittenAtItsOwnAddress) {
    MailboxChip chip(link);
    std::vector<uint8_t> data(504, 0xFF);
    const std::vector<uint8_t> tail = Pattern(10);
    data.insert(data.end(), tail.begin(), tail.end());
    ASSERT_TRUE(Program(data, PROGRAM_CODE_NORMAL, 0x1000));
    ASSERT_EQ(chip.blocks.size(), 1u);
    // 0x400000 + 0x1000 + 504
    EXPECT_THAT(chip.blocks[0].header, ElementsAre(0x00, 0x40, 0x11, 0xF8, 0, 0, 0, 10));
    EXPECT_EQ(chip.blocks[0].stream, Stream(tail));
    EXPECT_THAT(progress.reports, ElementsAre(Pair(504, 514), Pair(514, 514)));
}

TEST_F(FlashProgramTest, LargeCommandBufferStillGetsBlocksAFlagCanCount) {
    // A driver announcing 0x400 bytes: halves of 0x200, but a one-byte flag counts at most
    // 255 bytes a half, so a block carries at most 506 data bytes and its 4 trailing bytes.
    control.commandAddress = 0x30000;
    control.commandSize = 0x400;
    control.firstHalfFlagAddress = 0x301FF;
    control.secondHalfFlagAddress = 0x303FF;
    MailboxChip chip(link, 0x30000, 0x400);
    const std::vector<uint8_t> data = Pattern(1100);
    ASSERT_TRUE(Program(data, PROGRAM_CODE_NORMAL, 0));
    ASSERT_EQ(chip.blocks.size(), 3u);
    EXPECT_THAT(chip.blocks[0].header, ElementsAre(0x00, 0x40, 0x00, 0x00, 0, 0, 0x01, 0xFA));
    EXPECT_THAT(chip.blocks[1].header, ElementsAre(0x00, 0x40, 0x01, 0xFA, 0, 0, 0x01, 0xFA));
    EXPECT_THAT(chip.blocks[2].header, ElementsAre(0x00, 0x40, 0x03, 0xF4, 0, 0, 0x00, 0x58));
    // Data and trailer in two halves of 255 bytes each, counted by the flags.
    EXPECT_EQ(chip.blocks[0].stream.size(), 510u);
    const std::vector<LinkEvent> secondFlags = WritesAt(0x303FF);
    ASSERT_FALSE(secondFlags.empty());
    EXPECT_THAT(secondFlags[0].data, ElementsAre(255));
}

// --- a block whose completion never arrives ---

struct ReadBackCase {
    const char* name;
    bool flashHoldsBlock;
    bool programmed;
    uint32_t step;
};

class MissingCompletion : public FlashProgramTest,
                          public ::testing::WithParamInterface<ReadBackCase> {};

TEST_P(MissingCompletion, CountsTheBlockOnlyWhenItReadsBackEqual) {
    const ReadBackCase& c = GetParam();
    MailboxChip chip(link);
    chip.completions[0] = {};  // never comes
    const std::vector<uint8_t> data = Pattern(100);
    chip.flash.assign(0x80000, 0xFF);
    if (c.flashHoldsBlock) {
        std::copy(data.begin(), data.end(), chip.flash.begin() + 0x7E000);
    }
    EXPECT_EQ(Program(data, PROGRAM_CODE_NORMAL, 0x7E000), c.programmed);
    EXPECT_EQ(step, c.step);
    // 2000 status polls, then the block is read back as 57 + 43 bytes from its flash offset.
    std::vector<std::vector<uint8_t>> reads;
    for (const LinkEvent& e : WritesAt(0x20001)) {
        if (e.data[0] == 0x1B) {
            reads.push_back(e.data);
        }
    }
    EXPECT_THAT(
        reads, ElementsAre(
                   ElementsAre(0x1B, 0x07, 0xE0, 0x00, 57, 0x07 ^ 0x1B ^ 0x07 ^ 0xE0 ^ 0x00 ^ 57),
                   ElementsAre(0x1B, 0x07, 0xE0, 0x39, 43, 0x07 ^ 0x1B ^ 0x07 ^ 0xE0 ^ 0x39 ^ 43)));
}

INSTANTIATE_TEST_SUITE_P(ReadBack, MissingCompletion,
                         ::testing::Values(ReadBackCase{"FlashHoldsTheBlock", true, true, 0xDEAD},
                                           ReadBackCase{"FlashDiffers", false, false, 0x4}),
                         [](const auto& param) { return std::string(param.param.name); });

// --- failures before the block ---

TEST_F(FlashProgramTest, FailedProgramRequestIsStepOne) {
    link.QueueAuxWriteResult(GFX_AUX_NACK);  // the request body
    EXPECT_FALSE(Program(Pattern(10), PROGRAM_CODE_NORMAL, 0));
    EXPECT_EQ(step, 1u);
}

TEST_F(FlashProgramTest, FirstHalfNeverFreeBeforeTheHeader) {
    link.QueueAuxRead({GFX_OK, {0}});  // the status read after the request
    for (int i = 0; i < 100; ++i) {
        link.QueueAuxRead({GFX_OK, {0x08}});
    }
    EXPECT_FALSE(Program(Pattern(10), PROGRAM_CODE_NORMAL, 0));
    EXPECT_EQ(step, 0x640002u);
    EXPECT_EQ(std::count(clock.waits().begin(), clock.waits().end(), SleepOf(30)), 100);
}

TEST_F(FlashProgramTest, HeaderThatNeverArrivesAfter100WritesIsStep640003) {
    link.QueueAuxRead({GFX_OK, {0}});
    link.QueueAuxRead({GFX_OK, {0}});
    link.QueueAuxWriteResult(GFX_OK);
    link.QueueAuxWriteResult(GFX_OK);
    for (int i = 0; i < 100; ++i) {
        link.QueueAuxWriteResult(GFX_AUX_NACK);
    }
    EXPECT_FALSE(Program(Pattern(10), PROGRAM_CODE_NORMAL, 0));
    EXPECT_EQ(step, 0x640003u);
    EXPECT_EQ(WritesAt(0x20000).size(), 1u + 100u);
}

TEST_F(FlashProgramTest, HeaderReportedFailedButReadBackEqualNeedsNoFlag) {
    const std::vector<uint8_t> header = {0x00, 0x40, 0x00, 0x00, 0, 0, 0, 10};
    link.QueueAuxRead({GFX_OK, {0}});       // status after the request
    link.QueueAuxRead({GFX_OK, {0}});       // first half free
    link.QueueAuxRead({GFX_AUX_NACK, {}});  // first read back fails, the second succeeds
    link.QueueAuxRead({GFX_OK, header});
    link.QueueAuxRead({GFX_OK, {0}});  // second half free
    link.QueueAuxRead({GFX_OK, {0}});  // first half free
    link.QueueAuxRead({GFX_OK, {3}});
    link.QueueAuxRead({GFX_OK, {3, 0x0C, 0xF1}});
    link.QueueAuxRead({GFX_OK, {0}});
    link.QueueAuxWriteResult(GFX_OK);
    link.QueueAuxWriteResult(GFX_OK);
    link.QueueAuxWriteResult(GFX_AUX_NACK);
    ASSERT_TRUE(Program(Pattern(10), PROGRAM_CODE_NORMAL, 0));
    std::vector<uint8_t> flags;
    for (const LinkEvent& e : WritesAt(0x200FF)) {
        flags.push_back(e.data[0]);
    }
    EXPECT_THAT(flags, ElementsAre(7)) << "only the first half's count, no header flag";
}

TEST_F(FlashProgramTest, NothingToProgramIsRefused) {
    EXPECT_FALSE(Program({}, PROGRAM_CODE_NORMAL, 0));
    EXPECT_FALSE(control.ProgramFlash(nullptr, 10, PROGRAM_CODE_NORMAL, 0, nullptr, 10, nullptr));
    EXPECT_TRUE(link.events().empty());
}

// --- WriteBlock on its own ---

TEST_F(FlashProgramTest, WriteBlockRefusesMoreThanTheCommandBufferLessTwo) {
    const std::vector<uint8_t> data(511, 0x11);
    uint32_t code = 0x77;
    EXPECT_FALSE(control.WriteBlock(data.data(), 511, &code));
    EXPECT_FALSE(control.WriteBlock(data.data(), 0, &code));
    EXPECT_FALSE(control.WriteBlock(nullptr, 10, &code));
    EXPECT_EQ(code, 0x77u);
    EXPECT_TRUE(link.events().empty());

    EXPECT_FALSE(control.WriteBlock(data.data(), 510, &code)) << "taken, but nobody answers";
    EXPECT_EQ(code, 0x100u);
}

struct BlockFailure {
    const char* name;
    std::vector<ScriptedRead> reads;
    std::vector<int32_t> writeResults;
    uint32_t code;
};

class WriteBlockFailures : public FlashProgramTest,
                           public ::testing::WithParamInterface<BlockFailure> {};

TEST_P(WriteBlockFailures, LeaveTheirCode) {
    const BlockFailure& c = GetParam();
    for (const ScriptedRead& r : c.reads) {
        link.QueueAuxRead(r);
    }
    for (const int32_t w : c.writeResults) {
        link.QueueAuxWriteResult(w);
    }
    const std::vector<uint8_t> data = Pattern(14);
    uint32_t code = 0x500;
    EXPECT_FALSE(control.WriteBlock(data.data(), 14, &code));
    EXPECT_EQ(code, c.code);
}

std::vector<int32_t> Failures(int count, int32_t okFirst = 0) {
    std::vector<int32_t> out(static_cast<size_t>(okFirst), GFX_OK);
    out.insert(out.end(), static_cast<size_t>(count), GFX_AUX_NACK);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, WriteBlockFailures,
    ::testing::Values(
        // The second half of the buffer never frees: nothing of the block went out.
        BlockFailure{"SecondHalfBusy", std::vector<ScriptedRead>(100, {GFX_OK, {7}}), {}, 0x100},
        BlockFailure{"DataWrites", {{GFX_OK, {0}}}, Failures(100), 0x200},
        BlockFailure{"FlagWrites", {{GFX_OK, {0}}}, Failures(100, 1), 0x300},
        BlockFailure{"WrongCompletion",
                     {{GFX_OK, {0}}, {GFX_OK, {0}}, {GFX_OK, {3}}, {GFX_OK, {3, 0x0C, 0xF2}}},
                     {},
                     0x500}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zorvan::testing
