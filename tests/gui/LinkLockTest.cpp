// The dialog on a link another program holds: each button that talks to the chip stops with
// the message in the output box (failed colour) and its message box, and touches nothing;
// the one-step panel does not read the chip. The test process holds the link itself.
#include <gmock/gmock.h>

#include <memory>

#include "core/control/LinkReservation.h"
#include "core/platform/LinkLock.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/demo/DemoDriver.h"
#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::HasSubstr;

const std::wstring kBusy =
    L"The link NVIDIA: 0x1000 is in use by another program; try again when it has finished!\r\n";

class BusyLink : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteBytes("driver.bin", sim::MakeDemoDriverFile());
        old_ = Image(1, 5);
        WriteChip(old_);
    }
    // What another program on this virtual PC's chip holds.
    void HoldTheLink() {
        platform::LinkLockAttempt attempt = platform::TryLockLink(LinkLockName(
            L"NVIDIA: 0x1000", sim::VirtualChipLinkScope(WidePath("virtual-chip.state"))));
        ASSERT_EQ(attempt.outcome, platform::LinkLockOutcome::kHeld);
        held_ = std::move(attempt.lock);
    }
    void ExpectTold() {
        EXPECT_EQ(Text(IDC_OUTPUT_BOX), kBusy);
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
        ASSERT_EQ(Dlg().Messages().size(), 1u);
        EXPECT_EQ(Dlg().Messages()[0], (ShownMessage{kBusy, kAppTitle, MessageIcon::Error}));
        EXPECT_THAT(ReadLog(), HasSubstr(ToUtf8(kBusy)));
    }

    std::vector<uint8_t> old_;
    std::unique_ptr<platform::LinkLock> held_;
};

struct ButtonCase {
    const char* name;
    ControlId button;
    const wchar_t* reached;  // what the output box shows once the button got to the chip
};

class BusyButton : public BusyLink, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(BusyButton, StopsBeforeTheChipAndRunsOnceTheLinkIsFree) {
    const ButtonCase& c = GetParam();
    WriteConfig(
        "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n"
        "FwComparison=0\r\nProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    HoldTheLink();
    ASSERT_TRUE(Dlg().Click(c.button));
    ExpectTold();
    EXPECT_TRUE(Ctl(c.button).enabled);

    held_.reset();  // the other program has finished
    ASSERT_TRUE(Dlg().Click(c.button));
    EXPECT_THAT(Text(IDC_OUTPUT_BOX), HasSubstr(c.reached));
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, BusyButton,
    ::testing::Values(ButtonCase{"Start", IDC_START, L"Flash writing firmware... done!\r\n"},
                      ButtonCase{"GetFwVersion", IDC_GET_VERSION,
                                 L"Current on-board F/W Version: Zorvan App: KQ1100 v1.05"},
                      // The chip holds no CMDB block: the verify read it and found none.
                      ButtonCase{"VerifyCmdb", IDC_ERASE, L"CMDB... Verification failed!\r\n"}),
    [](const ::testing::TestParamInfo<ButtonCase>& p) { return std::string(p.param.name); });

// The update that was refused left the chip as it was.
TEST_F(BusyLink, RefusedUpdateLeavesTheFlashAlone) {
    WriteConfig(
        "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n"
        "FwComparison=0\r\n");
    Start();
    HoldTheLink();
    ASSERT_TRUE(Dlg().Click(IDC_START));
    ExpectTold();
    const sim::ChipState chip = EndAndReadChip();
    EXPECT_EQ(chip.flash, old_);
    EXPECT_EQ(chip.mode, sim::ChipMode::Application);
}

// The one-step layout reads the chip when it opens: on a busy link it says why instead, and
// the update stays off for this run.
TEST_F(BusyLink, OneStepPanelDoesNotReadTheChip) {
    WriteConfig("DriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n");
    HoldTheLink();
    Start();
    ExpectTold();
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"System connecting ... failed!");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
}

}  // namespace
}  // namespace zorvan::gui::testing
