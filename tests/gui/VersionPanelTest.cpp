// The firmware version panel: the one-step layout with its status and version lines,
// "Get FW Version" and "Refresh", against the virtual chip.
#include <gmock/gmock.h>

#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kFiles = "DriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n";
const std::string kNoSimulator;  // the real drivers: none on this machine, so no chip

class OneStep : public DialogFixture {
  protected:
    // Shown controls of the panel must not overlap and must fit in the window.
    void ExpectTidyColumn() {
        std::vector<ControlId> shown;
        for (const ControlSpec& s : MainDialogTemplate().controls) {
            if (Ctl(s.id).shown) {
                shown.push_back(s.id);
            }
        }
        for (size_t i = 0; i < shown.size(); ++i) {
            for (size_t j = i + 1; j < shown.size(); ++j) {
                EXPECT_FALSE(Ctl(shown[i]).rect.Overlaps(Ctl(shown[j]).rect))
                    << shown[i] << " overlaps " << shown[j];
            }
            EXPECT_LE(Ctl(shown[i]).rect.Bottom(), Dlg().DialogHeight() - Dlg().FrameHeight());
        }
        EXPECT_EQ(Ctl(IDC_START).rect.left, 10);
        EXPECT_LT(Ctl(IDC_PROGRESS).rect.top, Ctl(IDC_OUTPUT_LABEL).rect.top);
        EXPECT_LT(Ctl(IDC_OUTPUT_LABEL).rect.top, Ctl(IDC_OUTPUT_BOX).rect.top);
        EXPECT_LT(Ctl(IDC_OUTPUT_BOX).rect.top, Ctl(IDC_START).rect.top);
    }
};

TEST_F(OneStep, ShowsTheChipVersionAndTheImagesNewVersion) {
    WriteConfig(kFiles);
    Start();
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"Current firmware version: Vexa1100 v1.05");
    EXPECT_EQ(Text(IDC_NEW_VERSION_LINE), L"New Firmware Version: v1.06");
    EXPECT_EQ(Text(IDC_START), L"Update");
    EXPECT_TRUE(Ctl(IDC_START).enabled);
    EXPECT_TRUE(Ctl(IDC_STATUS_LINE).shown);
    EXPECT_EQ(Ctl(IDC_STATUS_LINE).staticText, kButtonText);
    for (ControlId id : {IDC_ADAPTER_LABEL, IDC_ADAPTER_BOX, IDC_FILE_GROUP, IDC_REFRESH, IDC_ERASE,
                         IDC_VERIFY_CERT, IDC_SECURE_ISP, IDC_GET_VERSION, IDC_DRIVER_BOX,
                         IDC_CMDB_BROWSE, IDC_HOST_LABEL, IDC_DEBUG_PICTURE}) {
        EXPECT_FALSE(Ctl(id).shown) << id;
    }
    EXPECT_TRUE(Ctl(IDC_PROGRESS).shown);
    EXPECT_TRUE(Dlg().KeptAwake());
    EXPECT_EQ(Logic().CurrentChipType(), CHIP_VEXA1100);
    EXPECT_EQ(Logic().NewVersion(0), 0x0106u);
    EXPECT_LT(Dlg().DialogHeight(), Dlg().InitialHeight());
    ExpectTidyColumn();
}

TEST_F(OneStep, ImageWithoutAVersionShowsItsFileName) {
    WriteFile("plain.bin", std::string(0x80000, '\0'));
    WriteConfig("DriverFilePath=driver.bin\r\nFWFilePath=plain.bin\r\n");
    Start();
    EXPECT_EQ(Text(IDC_NEW_VERSION_LINE), L"New Firmware: plain.bin");
}

TEST_F(OneStep, ImageThatCannotBeLoadedIsNotAvailable) {
    WriteFile("short.bin", "too short");
    WriteConfig("DriverFilePath=driver.bin\r\nFWFilePath=short.bin\r\n");
    Start();
    EXPECT_EQ(Text(IDC_NEW_VERSION_LINE), L"New Firmware Version:  F/W binary file not available!");
    EXPECT_FALSE(Logic().HostReady());
}

TEST_F(OneStep, WithoutFilesSaysSoEvenWithoutAChip) {
    WriteConfig("", kNoSimulator);
    Start();
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"No available ISP files!");
    EXPECT_EQ(Text(IDC_NEW_VERSION_LINE), L"");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
    EXPECT_FALSE(Dlg().KeptAwake());
}

TEST_F(OneStep, WithoutAChipSaysTheConnectionFailedInRedAndDisablesUpdate) {
    WriteConfig(kFiles, kNoSimulator);
    Start();
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"System connecting ... failed!");
    EXPECT_EQ(Ctl(IDC_STATUS_LINE).staticText, kRed);
    EXPECT_GT(Ctl(IDC_STATUS_LINE).redraws, 0);
    EXPECT_GT(Ctl(IDC_STATUS_LINE).invalidatedBehind, 0);  // the old text does not show through
    EXPECT_EQ(Text(IDC_OUTPUT_BOX),
              L"Firmware updating can't be started!\r\n"
              L"Please shut down system for a while and restart it!\r\n");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
    EXPECT_EQ(Logic().CurrentChipType(), CHIP_NONE);
}

TEST_F(OneStep, PortWithoutAnAnsweringSwitchIsNotFound) {
    WriteFirmware("port1.bin", 1, 6);
    WriteConfig(kFiles + "FWFilePathP1=port1.bin\r\n");
    Start();
    EXPECT_FALSE(Ctl(IDC_STATUS_LINE).shown);
    EXPECT_FALSE(Ctl(IDC_NEW_VERSION_LINE).shown);
    EXPECT_EQ(Text(IDC_HOST_VERSION), L"Vexa1100 v1.05");
    EXPECT_EQ(Text(IDC_HOST_STATUS), L"v1.06");
    EXPECT_TRUE(Ctl(IDC_P1_LABEL).shown);
    EXPECT_FALSE(Ctl(IDC_P2_LABEL).shown);
    EXPECT_EQ(Text(IDC_P1_VERSION), L"Not found!");
    EXPECT_FALSE(Ctl(IDC_P1_ARROW).shown);
    EXPECT_FALSE(Ctl(IDC_P1_STATUS).shown);
    EXPECT_FALSE(Logic().Port1Ready());
    ExpectTidyColumn();
}

TEST_F(OneStep, HostWithoutImageIsNotToBeUpdated) {
    WriteFirmware("port2.bin", 1, 6);
    WriteConfig("DriverFilePath=driver.bin\r\nFWFilePathP2=port2.bin\r\n");
    Start();
    EXPECT_EQ(Text(IDC_HOST_STATUS), L"Not to be updated!");
    EXPECT_TRUE(Ctl(IDC_P2_LABEL).shown);
    EXPECT_EQ(Text(IDC_P2_VERSION), L"Not found!");
}

class FwVersion : public DialogFixture {};

TEST_F(FwVersion, ReportReplacesTheOutputBox) {
    WriteConfig("OneStepProgramming=0\r\n" + kFiles);
    Start();
    Logic().AppendStatus(L"earlier text\r\n");
    Logic().SetStatusColour(STATUS_FAILED);
    ASSERT_TRUE(Dlg().Click(IDC_GET_VERSION));
    const std::wstring out = Text(IDC_OUTPUT_BOX);
    EXPECT_THAT(out, StartsWith(L"Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut"));
    EXPECT_THAT(out, Not(HasSubstr(L"earlier text")));
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, std::nullopt);
    EXPECT_TRUE(Ctl(IDC_GET_VERSION).enabled);
}

TEST_F(FwVersion, WithoutAChipTheReportFailsOnTheFailureColour) {
    WriteConfig("OneStepProgramming=0\r\n" + kFiles, kNoSimulator);
    Start();
    ASSERT_TRUE(Dlg().Click(IDC_GET_VERSION));
    EXPECT_EQ(Text(IDC_OUTPUT_BOX), L"System connection failed!\r\n");
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{0, kFailedBackground}));
}

TEST_F(FwVersion, PortWithoutAnAnsweringSwitchFailsToConnect) {
    WriteFirmware("port1.bin", 1, 6);
    WriteConfig("OneStepProgramming=0\r\n" + kFiles + "FWFilePathP1=port1.bin\r\n");
    Start();
    ASSERT_TRUE(Logic().Port1Ready());
    ASSERT_TRUE(Dlg().Click(IDC_GET_VERSION));
    const std::wstring out = Text(IDC_OUTPUT_BOX);
    EXPECT_THAT(out, StartsWith(L"Current on-board F/W Version:\r\n  Host    Device: Zorvan App: "
                                L"KQ1100 v1.05"));
    EXPECT_THAT(out, HasSubstr(L"\r\n  Port#1 Device: Failed to get connection\r\n"));
    EXPECT_EQ(Logic().Control().ddcAddress, 0x6Eu);
}

TEST_F(FwVersion, RefreshWritesOnlyTheLogAndTheAdapterBox) {
    WriteConfig("OneStepProgramming=0\r\n" + kFiles);
    Start();
    Logic().AppendStatus(L"kept\r\n");
    ASSERT_TRUE(Dlg().Click(IDC_REFRESH));
    EXPECT_EQ(Text(IDC_OUTPUT_BOX), L"kept\r\n");
    EXPECT_THAT(Text(IDC_ADAPTER_BOX), StartsWith(L"NVIDIA"));
    const std::string log = ReadLog();
    const size_t dashes = log.find("------------------------------------\r\n");
    ASSERT_NE(dashes, std::string::npos);
    EXPECT_NE(log.find("NVIDIA", dashes), std::string::npos);
}

TEST_F(FwVersion, ResetAfterOperationFollowsRunResetOne) {
    WriteConfig("OneStepProgramming=0\r\nRunResetOne=0\r\n" + kFiles);
    Start();
    Logic().ResetAfterOperation();
    EXPECT_EQ(Text(IDC_OUTPUT_BOX), L"");
}

}  // namespace
}  // namespace zorvan::gui::testing
