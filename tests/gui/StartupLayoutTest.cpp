// Start-up of the main dialog: configuration into the controls, the normal and compact
// layouts, debug mode, the window's menu, icon and keys.
#include <gmock/gmock.h>

#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::HasSubstr;

const std::string kNormalFiles =
    "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\n";

class Startup : public DialogFixture {};

TEST_F(Startup, WithoutConfigIniShowsTheMessageInTheCompactLayoutWithStartDisabled) {
    Start();
    EXPECT_EQ(Text(IDC_OUTPUT_BOX),
              L"Please ensure that \"config.ini\" is present and is not corrupted.\r\n");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
    EXPECT_FALSE(Ctl(IDC_SECURE_ISP).shown);
    EXPECT_FALSE(Ctl(IDC_VERIFY_CERT).shown);
    EXPECT_FALSE(Ctl(IDC_ESM_BOX).shown);
    EXPECT_TRUE(Ctl(IDC_FILE_GROUP).shown);  // the normal layout, not the one-step panel
    EXPECT_FALSE(Ctl(IDC_STATUS_LINE).shown);
    EXPECT_LT(Dlg().DialogHeight(), Dlg().InitialHeight());
    EXPECT_EQ(Text(IDC_ERASE), L"Verify CMDB");
    EXPECT_TRUE(Ctl(IDC_ERASE).enabled);
    EXPECT_TRUE(Ctl(IDC_GET_VERSION).enabled);
    EXPECT_EQ(Text(IDC_DRIVER_BOX), L"");
    EXPECT_FALSE(Logic().OneStepLayout());
}

// The compact layout closes the gap of the ESM row (24 dialog units) and the certificate
// rows (37): measured in pixels, whatever the font's units.
struct Metrics {
    int32_t x, y;
};
class CompactLayout : public DialogFixture, public ::testing::WithParamInterface<Metrics> {};

TEST_P(CompactLayout, Is61DialogUnitsShorterWithItsMoves) {
    WriteConfig(kNormalFiles);
    MemoryMetrics metrics;
    metrics.baseUnitX = GetParam().x;
    metrics.baseUnitY = GetParam().y;
    Start(metrics);
    auto px = [&](int32_t units) { return Dlg().DialogUnitsToPixels({0, units, 0, 0}).top; };
    const int32_t d1 = px(41) - px(65);
    const int32_t d2 = px(89) - px(126);
    const int32_t up = d1 + d2;
    EXPECT_NEAR(up, px(-61), 1);
    EXPECT_EQ(Dlg().InitialHeight() - Dlg().DialogHeight(), -up);

    for (ControlId id : {IDC_ESM_LABEL, IDC_ESM_BOX, IDC_ESM_BROWSE, IDC_CERT_CHECK, IDC_KEY_LABEL,
                         IDC_KEY_BOX, IDC_KEY_BROWSE, IDC_SECURE_ISP, IDC_VERIFY_CERT}) {
        EXPECT_FALSE(Ctl(id).shown) << id;
    }
    EXPECT_EQ(Ctl(IDC_DRIVER_BOX).rect.top, px(67) + d1);
    EXPECT_EQ(Ctl(IDC_FW_BROWSE).rect.top, px(89) + d1);
    EXPECT_EQ(Ctl(IDC_CMDB_CHECK).rect.top, px(149) + up);
    EXPECT_EQ(Ctl(IDC_CMDB_BROWSE).rect.top, px(163) + up);
    EXPECT_EQ(Ctl(IDC_FILE_GROUP).rect.top, px(22));
    EXPECT_EQ(Ctl(IDC_FILE_GROUP).rect.height, px(162) + up);
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).rect.top, px(212) + up);
    EXPECT_EQ(Ctl(IDC_PROGRESS).rect.top, px(186) + up);
    // Start takes the place of Secure ISP.
    EXPECT_EQ(Ctl(IDC_START).rect.left, Ctl(IDC_SECURE_ISP).rect.left);
    EXPECT_EQ(Ctl(IDC_START).rect.top, px(262) + up);
    EXPECT_EQ(Ctl(IDC_GET_VERSION).rect.top, px(262) + up);
    EXPECT_EQ(Ctl(IDC_ERASE).rect.top, px(262) + up);
    EXPECT_TRUE(Ctl(IDC_START).enabled);
    EXPECT_FALSE(Ctl(IDC_PROGRESS).shown);
}

INSTANTIATE_TEST_SUITE_P(FontUnits, CompactLayout,
                         ::testing::Values(Metrics{4, 8}, Metrics{6, 13}, Metrics{7, 16}));

TEST_F(Startup, SecureIspKeepsTheFullNormalLayout) {
    WriteConfig(kNormalFiles + "SecureISP=1\r\nESMFilePath=esm.bin\r\n");
    Start();
    EXPECT_EQ(Dlg().DialogHeight(), Dlg().InitialHeight());
    EXPECT_TRUE(Ctl(IDC_ESM_BOX).shown);
    EXPECT_EQ(Text(IDC_ESM_BOX), WidePath("esm.bin"));
    EXPECT_TRUE(Ctl(IDC_KEY_BOX).shown);
    EXPECT_FALSE(Ctl(IDC_KEY_BOX).enabled);
    EXPECT_TRUE(Ctl(IDC_SECURE_ISP).shown);
    EXPECT_TRUE(Ctl(IDC_VERIFY_CERT).shown);
}

struct RefreshCase {
    std::string lines;
    bool shown;
};
class RefreshButton : public DialogFixture, public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(RefreshButton, IsHiddenByAConfiguredDeviceIdOrTheOneStepLayout) {
    WriteConfig(GetParam().lines);
    Start();
    EXPECT_EQ(Ctl(IDC_REFRESH).shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RefreshButton,
    ::testing::Values(RefreshCase{"OneStepProgramming=0\r\n", true},
                      RefreshCase{"OneStepProgramming=0\r\nNvidiaDeviceId=0x1000\r\n", false},
                      RefreshCase{"OneStepProgramming=0\r\nAmdDeviceId=65537\r\n", false},
                      RefreshCase{"OneStepProgramming=0\r\nDeviceID=12\r\n", false},
                      // device id 0 still selects the vendor, but leaves Refresh
                      RefreshCase{"OneStepProgramming=0\r\nNvidiaDeviceId=0\r\n", true},
                      RefreshCase{"", false}));

TEST_F(Startup, DebugModeShowsItsPictureAndKeepsFlashErase) {
    WriteConfig("OneStepProgramming=0\r\nDebugMode=1\r\n");  // no driver, no firmware
    Start();
    EXPECT_TRUE(Ctl(IDC_DEBUG_PICTURE).shown);
    EXPECT_EQ(Ctl(IDC_DEBUG_PICTURE).layout.resource, IDB_DEBUG_MODE);
    EXPECT_EQ(Text(IDC_ERASE), L"Flash Erase");
    EXPECT_TRUE(Ctl(IDC_ERASE).enabled);
    Dlg().Type(IDC_CMDB_BOX, L"");
    EXPECT_TRUE(Ctl(IDC_ERASE).enabled);
}

TEST_F(Startup, WithoutDebugModeTheSecondButtonIsVerifyCmdb) {
    WriteConfig(kNormalFiles + "DebugMode=0\r\nProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    EXPECT_FALSE(Ctl(IDC_DEBUG_PICTURE).shown);
    EXPECT_EQ(Text(IDC_ERASE), L"Verify CMDB");
    EXPECT_TRUE(Ctl(IDC_ERASE).enabled);
    Dlg().Type(IDC_CMDB_BOX, WidePath("none.bin"));
    EXPECT_FALSE(Ctl(IDC_ERASE).enabled);
}

TEST_F(Startup, OneStepLayoutSwitchesDebugModeOff) {
    WriteConfig("DebugMode=1\r\n");
    Start();
    EXPECT_FALSE(Ctl(IDC_DEBUG_PICTURE).shown);
}

TEST_F(Startup, WindowHasAboutEntryIconAndEndsOnEscape) {
    WriteConfig(kNormalFiles);
    Start();
    ASSERT_EQ(Dlg().SystemMenu().size(), 2u);
    EXPECT_EQ(Dlg().SystemMenu()[1].first, IDM_ABOUTBOX);
    EXPECT_FALSE(Dlg().SystemMenu()[1].second.empty());
    EXPECT_EQ(Dlg().Icon(), IDR_MAINFRAME);

    EXPECT_TRUE(Dlg().SystemCommand(0x0013));  // the low four bits are the system's own
    EXPECT_FALSE(Dlg().SystemCommand(0xF060));
    EXPECT_EQ(Dlg().ModalRuns(), std::vector<int32_t>{IDD_ABOUTBOX});
    EXPECT_FALSE(Dlg().EndResult().has_value());
    Dlg().PressEscape();
    EXPECT_EQ(Dlg().EndResult(), IDCANCEL);
}

TEST_F(Startup, LogStartsWithTheAdapterReportUnlessItIsKept) {
    WriteFile("ZorvanQuillon.log", "earlier run\r\n");
    WriteConfig(kNormalFiles);
    Start();
    const std::string log = ReadLog();
    EXPECT_EQ(log.find("earlier run"), std::string::npos);
    EXPECT_THAT(log, HasSubstr("NVIDIA"));
    EXPECT_THAT(Text(IDC_ADAPTER_BOX), ::testing::StartsWith(L"NVIDIA"));
}

TEST_F(Startup, KeptLogIsContinued) {
    WriteFile("ZorvanQuillon.log", "earlier run\r\n");
    WriteConfig(kNormalFiles + "NotDeleteLogFile=1\r\n");
    Start();
    EXPECT_THAT(ReadLog(), ::testing::StartsWith("earlier run\r\n"));
}

}  // namespace
}  // namespace zorvan::gui::testing
