// The output box (appending, colours) and the progress bar.
#include <gmock/gmock.h>

#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

class OutputBox : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteConfig(
            "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n");
        Start();
    }
};

struct ProgressCase {
    int32_t done, total, position;
};
class Progress : public OutputBox, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(Progress, MapsDoneOntoTheRange0To4096) {
    Dlg().SetProgressRange(IDC_PROGRESS, 0, 4096);
    Logic().UpdateProgress(GetParam().done, GetParam().total);
    EXPECT_EQ(Ctl(IDC_PROGRESS).progressPosition, GetParam().position);
    EXPECT_TRUE(Ctl(IDC_PROGRESS).shown);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Progress,
    ::testing::Values(ProgressCase{0x30000, 0x60400, 2042}, ProgressCase{0x60480, 0x60480, 4096},
                      // past 2^19 the 32-bit product would wrap and move the bar backwards
                      ProgressCase{0x70000, 0x80000, 3584},
                      ProgressCase{0x7FFFFFFF, 0x7FFFFFFF, 4096}, ProgressCase{0, 100, 0}));

TEST_F(OutputBox, ProgressWithoutATotalLeavesTheBar) {
    Dlg().SetProgressRange(IDC_PROGRESS, 0, 4096);
    Logic().UpdateProgress(10, 20);
    Logic().UpdateProgress(5, 0);
    EXPECT_EQ(Ctl(IDC_PROGRESS).progressPosition, 2048);
}

TEST_F(OutputBox, AppendStatusAddsAtTheEndWhereverTheSelectionIs) {
    Dlg().SetText(IDC_OUTPUT_BOX, L"first\r\n");
    Dlg().SetSelection(IDC_OUTPUT_BOX, 0, 3);
    Logic().AppendStatus(L"second\r\n");
    EXPECT_EQ(Text(IDC_OUTPUT_BOX), L"first\r\nsecond\r\n");
    EXPECT_TRUE(Ctl(IDC_OUTPUT_BOX).caretScrolled);
}

struct ColourCase {
    StatusColour state;
    std::optional<BoxColours> colours;
};
class StatusColours : public OutputBox, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(StatusColours, SetTheOutputBoxColours) {
    Logic().SetStatusColour(STATUS_PASSED);
    Logic().SetStatusColour(GetParam().state);
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, GetParam().colours);
}

INSTANTIATE_TEST_SUITE_P(States, StatusColours,
                         ::testing::Values(ColourCase{STATUS_NORMAL, std::nullopt},
                                           ColourCase{STATUS_FAILED, BoxColours{0, 0xB4A0F0}},
                                           ColourCase{STATUS_PASSED, BoxColours{0, 0x78F0A0}}));

}  // namespace
}  // namespace zorvan::gui::testing
