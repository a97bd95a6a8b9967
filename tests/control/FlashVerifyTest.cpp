// Verify after write on a scripted ISP driver: which byte is reported, how far the read-back
// goes, and what an unreadable flash gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "core/control/FlashVerify.h"
#include "tests/control/ControlFixture.h"
#include "tests/control/MailboxChip.h"

namespace zorvan::testing {
namespace {

constexpr uint32_t kFirst = 0x7E000;
constexpr uint32_t kSecond = 0x24000;

// Two written ranges, the second longer than one read-back piece.
class FlashVerifyTest : public ControlTest {
  protected:
    FlashVerifyTest() : chip(link) {
        chip.flash.assign(0x80000, 0xFF);
        first.assign(300, 0);
        second.assign(5000, 0);
        for (size_t i = 0; i < first.size(); ++i) {
            first[i] = static_cast<uint8_t>(i * 7);
        }
        for (size_t i = 0; i < second.size(); ++i) {
            second[i] = static_cast<uint8_t>(i * 13 + 1);
        }
        std::copy(first.begin(), first.end(), chip.flash.begin() + kFirst);
        std::copy(second.begin(), second.end(), chip.flash.begin() + kSecond);
        control.delegate = &progress;
    }
    std::vector<WrittenRange> Ranges() const { return {{kFirst, first}, {kSecond, second}}; }

    MailboxChip chip;
    Progress progress;
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
};

TEST_F(FlashVerifyTest, EqualRangesAreReadWholeWithProgressToTheEnd) {
    const VerifyOutcome outcome = VerifyWrittenFlash(control, Ranges());
    EXPECT_EQ(outcome.kind, VerifyOutcome::Kind::kEqual);
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(progress.reports.back(), (std::pair<int32_t, int32_t>{5300, 5300}));
}

struct DifferenceCase {
    const char* name;
    std::vector<std::pair<uint32_t, uint8_t>> flashBytes;  // what the flash holds instead
    uint32_t address;
    uint8_t read;
};

class Difference : public FlashVerifyTest, public ::testing::WithParamInterface<DifferenceCase> {};

TEST_P(Difference, TheFirstDifferenceInWriteOrderIsReported) {
    const DifferenceCase& c = GetParam();
    for (const auto& [address, value] : c.flashBytes) {
        chip.flash[address] = value;
    }
    const VerifyOutcome outcome = VerifyWrittenFlash(control, Ranges());
    EXPECT_EQ(outcome.kind, VerifyOutcome::Kind::kDiffers);
    EXPECT_EQ(outcome.address, c.address);
    const std::vector<uint8_t>& written = c.address >= kFirst ? first : second;
    EXPECT_EQ(outcome.wrote, written[c.address - (c.address >= kFirst ? kFirst : kSecond)]);
    EXPECT_EQ(outcome.read, c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Difference,
    ::testing::Values(DifferenceCase{"FirstByte", {{kFirst, 0xFF}}, kFirst, 0xFF},
                      // Past the first read-back piece of the second range, and its very last byte.
                      DifferenceCase{
                          "BeyondTheFirstPiece", {{kSecond + 2100, 0x00}}, kSecond + 2100, 0x00},
                      DifferenceCase{"LastByte", {{kSecond + 4999, 0xA5}}, kSecond + 4999, 0xA5},
                      // The ranges are compared in the order they were written, not by address.
                      DifferenceCase{"WriteOrderBeforeAddressOrder",
                                     {{kSecond + 10, 0xFF}, {kFirst + 299, 0xFF}},
                                     kFirst + 299,
                                     0xFF}),
    [](const ::testing::TestParamInfo<DifferenceCase>& p) { return p.param.name; });

TEST_F(FlashVerifyTest, FlashThatCannotBeReadNamesWhereTheReadBackStopped) {
    // A range that runs past the end of the flash: its last piece cannot be read.
    const std::vector<uint8_t> tail(5000, 0xFF);
    const WrittenRange beyond[] = {{0x7F000, tail}};
    const VerifyOutcome outcome = VerifyWrittenFlash(control, beyond);
    EXPECT_EQ(outcome.kind, VerifyOutcome::Kind::kUnreadable);
    EXPECT_EQ(outcome.address, 0x7F804u);  // after one piece of 36 reads of 57 bytes
    EXPECT_EQ(VerifyFailureText(outcome),
              L"Verify after write failed: reading the flash at 0x7F804 failed!\r\n");
}

TEST(VerifyFailureText, NamesTheAddressAndBothBytes) {
    VerifyOutcome outcome;
    outcome.kind = VerifyOutcome::Kind::kDiffers;
    outcome.address = 0x100;
    outcome.wrote = 0x5A;
    outcome.read = 0x0F;
    EXPECT_EQ(VerifyFailureText(outcome),
              L"Verify after write failed at 0x00100: wrote 0x5A, read 0x0F!\r\n");
}

}  // namespace
}  // namespace zorvan::testing
