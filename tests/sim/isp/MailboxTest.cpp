// The running ISP driver's mailbox from the link side: flash ID, erase regions, flash
// reads in rows of 16 bytes, programmed blocks through the two buffer halves, refusals,
// system reset and a supply that fails part-way through programming.
#include <gtest/gtest.h>

#include <string>

#include "sim/chip/Identification.h"
#include "sim/demo/DemoImages.h"
#include "tests/sim/isp/IspLink.h"

namespace zorvan::sim::testing {
namespace {

const Bytes kDone = {0x03, 0x0C, 0xF1};
const Bytes kCrcError = {0x03, 0x0C, 0xF2};
const Bytes kRefused = {0x03, 0x0C, 0xF3};

Bytes WithXor(Bytes bytes) {
    uint8_t x = 0;
    for (uint8_t b : bytes) {
        x = static_cast<uint8_t>(x ^ b);
    }
    bytes.push_back(x);
    return bytes;
}

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return out;
}

// A chip whose flash holds `flash`, its driver running.
class Mailbox : public IspFixture {
  protected:
    void Start(std::vector<uint8_t> flash) {
        ChipState state = NewChipState(ChipFamily::Kq1100, 1500);
        state.flash = std::move(flash);
        PowerCycle(state);
        Reload(std::move(state));
        StartDriver();
    }
    void SetUp() override { Start(std::vector<uint8_t>(kFlashSize, 0xFF)); }

    Bytes FlashAt(uint32_t offset, size_t n) {
        return Bytes(Flash().begin() + offset, Flash().begin() + static_cast<long>(offset + n));
    }
    // A read request and the raw rows it is answered with.
    Bytes ReadRows(uint32_t offset, uint8_t count, uint32_t rowBytes) {
        Request(WithXor({0x07, 0x1B, static_cast<uint8_t>(offset >> 16),
                         static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset), count}));
        return AwaitStatus(rowBytes);
    }
};

TEST_F(Mailbox, AnswersTheFlashIdRequest) {
    Request({0x09, 0x1C, 0xFF, 0x00, 0x00, 0x20, 0x00, 0x00, 0x44});
    EXPECT_EQ(AwaitStatus(5), (Bytes{0x05, 0x1C, 0x15, 0x40, 0x4C}));
}

TEST_F(Mailbox, EraseCodesClearTheirRegions) {
    struct Range {
        uint32_t begin;
        uint32_t end;
    };
    struct Case {
        uint16_t code;
        std::vector<Range> erased;
    };
    const Case cases[] = {
        {0xFFFF, {{0x00000, 0x80000}}},
        {0xFFA1, {{0x00000, 0x60000}, {0x7E000, 0x80000}}},
        {0xFFA2, {{0x00000, 0x60000}, {0x7F000, 0x80000}}},
        {0xFFA3, {{0x7E000, 0x7F000}}},
        {0xFFA4, {{0x60000, 0x61000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("erase code " + std::to_string(c.code));
        Start(std::vector<uint8_t>(kFlashSize, 0x00));
        Request(
            WithXor({0x05, 0x19, static_cast<uint8_t>(c.code >> 8), static_cast<uint8_t>(c.code)}));
        EXPECT_EQ(AuxRead(kStatus, 1), Bytes{0x00}) << "the status reads 0 while erasing";
        EXPECT_EQ(AwaitStatus(), kDone);

        std::vector<uint8_t> expected(kFlashSize, 0x00);
        for (const Range& r : c.erased) {
            std::fill(expected.begin() + r.begin, expected.begin() + r.end, 0xFF);
        }
        EXPECT_TRUE(Flash() == expected);
    }
}

TEST_F(Mailbox, ReadResponseComesInRowsOfSixteen) {
    Start(Pattern(kFlashSize, 0x21));
    // 57 bytes: n = 60 in four full rows of a count byte and 15 bytes.
    const Bytes rows = ReadRows(0x7FFC0, 57, 64);
    ASSERT_EQ(rows.size(), 64u);
    Bytes response;
    for (size_t row = 0; row < 4; ++row) {
        EXPECT_EQ(rows[row * 16], 15) << "row " << row;
        response.insert(response.end(), rows.begin() + static_cast<long>(row * 16 + 1),
                        rows.begin() + static_cast<long>(row * 16 + 16));
    }
    Bytes expected = {60, 0x1B};
    const Bytes data = FlashAt(0x7FFC0, 57);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(response, WithXor(expected));

    // Cleared as a host clears it, the next request's answer is alone in the status area:
    // 3 bytes are one row of count 6.
    for (uint32_t row : {0u, 16u, 32u, 48u}) {
        ASSERT_TRUE(AuxWrite(kStatus + row, {0x00}));
    }
    Bytes one = {0x06, 0x06, 0x1B};
    const Bytes three = FlashAt(0x000039, 3);
    one.insert(one.end(), three.begin(), three.end());
    one.push_back(static_cast<uint8_t>(0x06 ^ 0x1B ^ three[0] ^ three[1] ^ three[2]));
    one.resize(16, 0x00);
    EXPECT_EQ(ReadRows(0x000039, 3, 16), one);
}

TEST_F(Mailbox, ProgramsABlockWhoseCrcMatches) {
    // CRC-16 of "abc" with the chip's polynomial and start value is 0xEB62.
    EXPECT_EQ(ProgramBlock(0x1000, {'a', 'b', 'c'}, 0x10, 0xEB62), kDone);
    EXPECT_EQ(FlashAt(0x0FFF, 5), (Bytes{0xFF, 'a', 'b', 'c', 0xFF}));
}

TEST_F(Mailbox, RefusesABlockWhoseCrcDoesNotMatch) {
    ASSERT_TRUE(ClearStatus());
    EXPECT_EQ(ProgramBlock(0x1000, {'a', 'b', 'c'}, 0x10, 0xEB63), kCrcError);
    EXPECT_EQ(FlashAt(0x1000, 3), Bytes(3, 0xFF));

    // The driver is ready for the next block at once.
    ASSERT_TRUE(ClearStatus());
    EXPECT_EQ(ProgramBlock(0x1000, {'a', 'b', 'c'}), kDone);
    EXPECT_EQ(FlashAt(0x1000, 3), (Bytes{'a', 'b', 'c'}));
}

TEST_F(Mailbox, PlainDriverProgramsFullBlocksWithThePlainCodeOnly) {
    const Bytes data = Pattern(504, 0x10);
    EXPECT_EQ(ProgramBlock(0x24000, data), kDone);
    EXPECT_EQ(FlashAt(0x24000, 504), data);

    // The secure program codes belong to a driver the chip has verified (secure ISP).
    for (uint8_t code : {uint8_t{0x76}, uint8_t{0x77}, uint8_t{0x78}}) {
        SCOPED_TRACE("program code " + std::to_string(code));
        ASSERT_TRUE(ClearStatus());
        Request({0x03, code, static_cast<uint8_t>(0x03 ^ code)});
        EXPECT_EQ(AwaitStatus(), kRefused);
    }
    ASSERT_TRUE(ClearStatus());
    EXPECT_EQ(ProgramBlock(0x7FC00, Pattern(504, 0x77), 0x10), kDone) << "still taking 0x10";
    std::vector<uint8_t> expected(kFlashSize, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin() + 0x24000);
    const Bytes last = Pattern(504, 0x77);
    std::copy(last.begin(), last.end(), expected.begin() + 0x7FC00);
    EXPECT_TRUE(Flash() == expected);
}

TEST_F(Mailbox, ProgrammingOnlyClearsBits) {
    Start(std::vector<uint8_t>(kFlashSize, 0x0F));
    EXPECT_EQ(ProgramBlock(0x2000, {0xF3, 0x3C}), kDone);
    EXPECT_EQ(FlashAt(0x2000, 2), (Bytes{0x03, 0x0C}));
}

TEST_F(Mailbox, RefusesMalformedRequests) {
    struct Case {
        const char* what;
        Bytes request;
    };
    const Case cases[] = {
        {"erase with a wrong XOR byte", {0x05, 0x19, 0xFF, 0xFF, 0x04}},
        {"unknown erase code", WithXor({0x05, 0x19, 0xFF, 0xA5})},
        {"read of 0 bytes", WithXor({0x07, 0x1B, 0x00, 0x00, 0x00, 0x00})},
        {"read of 58 bytes", WithXor({0x07, 0x1B, 0x00, 0x00, 0x00, 58})},
        {"read past the end of the flash", WithXor({0x07, 0x1B, 0x07, 0xFF, 0xF0, 0x11})},
        {"flash ID request with a changed byte",
         {0x09, 0x1C, 0xFF, 0x00, 0x00, 0x21, 0x00, 0x00, 0x44}},
        {"reset with a wrong XOR byte", {0x04, 0x20, 0x01, 0x24}},
        {"unknown request", WithXor({0x03, 0x55})},
        {"program request of the wrong length", WithXor({0x04, 0x10, 0x00})},
    };
    Start(std::vector<uint8_t>(kFlashSize, 0x00));
    for (const Case& c : cases) {
        ASSERT_TRUE(ClearStatus());
        Request(c.request);
        EXPECT_EQ(AwaitStatus(), kRefused) << c.what;
    }
    EXPECT_TRUE(Flash() == std::vector<uint8_t>(kFlashSize, 0x00));
    EXPECT_EQ(AuxRead(0x40C, 3), (Bytes{0x00, 0x02, 0x01})) << "still running";
}

TEST_F(Mailbox, RefusesBlocksOutsideTheMappedFlash) {
    struct Case {
        const char* what;
        uint32_t offset;  // from the flash's mapped start 0x400000
        size_t length;
    };
    // Offsets below 0 wrap: 0xFFC00000 + 0x400000 is address 0, the flash as an unmapped
    // host would address it.
    const Case cases[] = {
        {"unmapped address 0", 0xFFC00000u, 16},
        {"running past the flash end", 0x7FFF0, 17},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ClearStatus());
        EXPECT_EQ(ProgramBlock(c.offset, Pattern(c.length, 0)), kRefused) << c.what;
    }
    EXPECT_TRUE(Flash() == std::vector<uint8_t>(kFlashSize, 0xFF));
}

TEST_F(Mailbox, HalvesStayTakenWithoutAProgramRequest) {
    ASSERT_TRUE(AuxWrite(kSecondHalf, Pattern(20, 1)));
    ASSERT_TRUE(AuxWrite(kSecondFlag, {20}));
    Wait(1000);
    EXPECT_FALSE(AwaitFree(kSecondFlag));
    EXPECT_EQ(AuxRead(kStatus, 1), Bytes{0x00});
    EXPECT_TRUE(Flash() == std::vector<uint8_t>(kFlashSize, 0xFF));
}

TEST_F(Mailbox, SystemResetRestartsTheChipFromItsFlash) {
    struct Case {
        const char* what;
        bool firmware;
        bool application;
    };
    const Case cases[] = {{"valid image", true, true}, {"blank flash", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(c.firmware ? MakeFirmwareImage(ChipFamily::Kq1100, {1, 6, 0})
                         : std::vector<uint8_t>(kFlashSize, 0xFF));
        Request({0x04, 0x20, 0x01, 0x25});
        EXPECT_EQ(AwaitStatus(), kDone);
        ASSERT_TRUE(ClearStatus());
        EXPECT_EQ(AuxRead(kStatus, 1), Bytes{0x00});

        EXPECT_EQ(AuxRead(0x40C, 3), (Bytes{0x00, 0x00, 0x00})) << "mailbox gone";
        EXPECT_EQ(Chip().State().mode, c.application ? ChipMode::Application : ChipMode::BootRom);
        const std::optional<Bytes> id = AuxRead(kIdentificationDpcd, kIdentificationSize);
        ASSERT_TRUE(id);
        if (c.application) {
            EXPECT_EQ((*id)[7], 1);
            EXPECT_EQ((*id)[8], 6);
        }
        EXPECT_NE(Exchange(HostPacket({0x06, 0xC8, 0x02})), kNullMessage) << "DDC/CI answers";
    }
}

TEST_F(Mailbox, ResetGoesAheadWhenTheHostNeverClearsItsAnswer) {
    Request({0x04, 0x20, 0x01, 0x25});
    EXPECT_EQ(AwaitStatus(), kDone);
    Wait(2000);
    EXPECT_EQ(AuxRead(0x40C, 3), (Bytes{0x00, 0x00, 0x00}));
}

TEST_F(Mailbox, SupplyFailsAfterTheConfiguredBlock) {
    Chip().SetPowerLossAfterBlocks(2);
    EXPECT_EQ(ProgramBlock(0x0000, Pattern(504, 1)), kDone);
    ASSERT_TRUE(ClearStatus());
    // The second block reaches the flash, its completion never comes.
    EXPECT_EQ(ProgramBlock(0x01F8, Pattern(504, 2)), Bytes{});
    EXPECT_FALSE(Chip().Powered());
    EXPECT_EQ(link_->NativeRead(0x40C, 3).status, AuxStatus::Timeout);

    EXPECT_EQ(FlashAt(0x0000, 504), Pattern(504, 1));
    EXPECT_EQ(FlashAt(0x01F8, 504), Pattern(504, 2));
    EXPECT_EQ(FlashAt(0x03F0, 16), Bytes(16, 0xFF));
}

}  // namespace
}  // namespace zorvan::sim::testing
