// The file boxes and the buttons they enable: path changes, the second button's table,
// Browse, check boxes, the 60-character rule and the box colours.
#include <gmock/gmock.h>

#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

const std::string kAllFiles =
    "OneStepProgramming=0\r\nSecureISP=1\r\nProgramDeviceCertificate=1\r\n"
    "DriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\nESMFilePath=esm.bin\r\n"
    "KeysFilePath=keys\\\r\n";

class Buttons : public DialogFixture {
  protected:
    // Each box names its file or a file that does not exist.
    void Files(bool drv, bool esm, bool fw, bool key) {
        Dlg().Type(IDC_DRIVER_BOX, WidePath(drv ? "driver.bin" : "no-driver.bin"));
        Dlg().Type(IDC_ESM_BOX, WidePath(esm ? "esm.bin" : "no-esm.bin"));
        Dlg().Type(IDC_FW_BOX, WidePath(fw ? "firmware.bin" : "no-firmware.bin"));
        Dlg().Type(IDC_KEY_BOX, WidePath(key ? "keys" : "no-keys"));
    }
    void Tick(ControlId box, bool on) {
        if (Ctl(box).checked != on) {
            ASSERT_TRUE(Dlg().Click(box));
        }
    }
};

struct SecondButtonCase {
    bool startFromWriteCertificate;
    bool drv, esm, fw, key, certificate;
    bool enabled;
    std::wstring caption;
    bool writeCertificate;
};

class SecondButton : public Buttons, public ::testing::WithParamInterface<SecondButtonCase> {};

// From a known start ("Write Certificate", mode 1, or "Secure ISP", mode 0) the boxes change
// one by one (driver, ESM, firmware, key, then the check box), so a row that keeps the
// caption or the mode shows it.
TEST_P(SecondButton, FollowsTheFileTable) {
    const SecondButtonCase& c = GetParam();
    WriteConfig(kAllFiles);
    Start();
    Tick(IDC_CERT_CHECK, true);
    Files(true, true, !c.startFromWriteCertificate, true);
    ASSERT_EQ(Logic().WriteCertificateMode(), c.startFromWriteCertificate);
    Files(c.drv, c.esm, c.fw, c.key);
    Tick(IDC_CERT_CHECK, c.certificate);
    EXPECT_EQ(Ctl(IDC_SECURE_ISP).enabled, c.enabled);
    EXPECT_EQ(Text(IDC_SECURE_ISP), c.caption);
    EXPECT_EQ(Logic().WriteCertificateMode(), c.writeCertificate);
}

constexpr bool WC = true;
constexpr bool SI = false;

INSTANTIATE_TEST_SUITE_P(
    Rows, SecondButton,
    ::testing::Values(
        // no driver: disabled, "Secure ISP", the mode stays
        SecondButtonCase{WC, false, true, false, true, true, false, L"Secure ISP", true},
        SecondButtonCase{SI, true, false, true, true, true, true, L"Write Certificate", true},
        SecondButtonCase{SI, true, false, false, true, true, true, L"Write Certificate", true},
        // no ESM, certificate not ready: disabled, "Secure ISP" (secure ISP is on), mode stays
        SecondButtonCase{WC, true, false, true, false, true, false, L"Secure ISP", true},
        SecondButtonCase{SI, true, false, true, true, false, false, L"Secure ISP", true},
        SecondButtonCase{WC, true, true, true, false, false, true, L"Secure ISP", false},
        SecondButtonCase{SI, true, true, false, true, true, true, L"Write Certificate", true},
        SecondButtonCase{WC, true, true, false, false, true, false, L"Secure ISP", false}));

TEST_F(Buttons, WithoutSecureIspTheSecondButtonIsWriteCertificateOnly) {
    WriteConfig(
        "OneStepProgramming=0\r\nProgramDeviceCertificate=1\r\n"
        "DriverFilePath=driver.bin\r\nKeysFilePath=keys\r\n");
    Start();
    EXPECT_FALSE(Ctl(IDC_ESM_BOX).shown);
    EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
    EXPECT_EQ(Text(IDC_SECURE_ISP), L"Write Certificate");
    Dlg().Type(IDC_KEY_BOX, WidePath("no-keys"));
    EXPECT_FALSE(Ctl(IDC_SECURE_ISP).enabled);
    EXPECT_EQ(Text(IDC_SECURE_ISP), L"Write Certificate");  // caption unchanged
    EXPECT_TRUE(Logic().WriteCertificateMode());
}

TEST_F(Buttons, FirmwareFileArrivingTurnsWriteCertificateIntoSecureIsp) {
    Remove("firmware.bin");
    WriteConfig(kAllFiles);
    Start();
    EXPECT_EQ(Text(IDC_SECURE_ISP), L"Write Certificate");
    EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
    WriteFirmware("firmware.bin", 1, 6);
    Dlg().Type(IDC_FW_BOX, WidePath("firmware.bin"));
    EXPECT_EQ(Text(IDC_SECURE_ISP), L"Secure ISP");
    EXPECT_FALSE(Logic().WriteCertificateMode());
}

struct StartCase {
    bool drv, fw, cmdbFlag, cmdb;
    bool enabled;
};
class StartButton : public Buttons, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartButton, NeedsDriverAndFirmwareOrACmdbOnlyUpdate) {
    const StartCase& c = GetParam();
    WriteConfig(kAllFiles + "ProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    Tick(IDC_CMDB_CHECK, c.cmdbFlag);
    Dlg().Type(IDC_CMDB_BOX, WidePath(c.cmdb ? "cmdb.bin" : "no-cmdb.bin"));
    Files(c.drv, true, c.fw, true);
    EXPECT_EQ(Ctl(IDC_START).enabled, c.enabled);
    EXPECT_EQ(Logic().HostReady(), c.drv && c.fw);
}

INSTANTIATE_TEST_SUITE_P(Rows, StartButton,
                         ::testing::Values(StartCase{true, true, false, false, true},
                                           StartCase{false, true, true, true, false},
                                           StartCase{true, false, false, true, false},
                                           StartCase{true, false, true, false, false},
                                           StartCase{true, false, true, true, true}));

TEST_F(Buttons, EnterPressesStartOnlyWhenItIsEnabled) {
    WriteConfig(kAllFiles);
    Start();
    Dlg().Type(IDC_DRIVER_BOX, WidePath("none.bin"));
    Dlg().PressEnter();
    EXPECT_FALSE(Dlg().EndResult().has_value());  // Enter never closes the dialog
}

TEST_F(Buttons, KeyBoxLosesOneTrailingBackslashAndEnablesVerifyCertificate) {
    WriteConfig(kAllFiles);
    Start();
    EXPECT_EQ(Logic().Control().keysPath, WidePath("keys"));  // the loader dropped it
    Dlg().Type(IDC_KEY_BOX, WidePath("keys") + L"\\  ");
    EXPECT_EQ(Logic().Control().keysPath, WidePath("keys"));
    EXPECT_EQ(Text(IDC_KEY_BOX), WidePath("keys") + L"\\  ");
    EXPECT_TRUE(Ctl(IDC_VERIFY_CERT).enabled);
    Dlg().Type(IDC_KEY_BOX, L"");
    EXPECT_FALSE(Ctl(IDC_VERIFY_CERT).enabled);
}

TEST_F(Buttons, WithoutCertificateTheKeyBoxAndPathAreEmpty) {
    WriteConfig(
        "OneStepProgramming=0\r\nSecureISP=1\r\nDriverFilePath=driver.bin\r\n"
        "KeysFilePath=keys\r\n");
    Start();
    EXPECT_EQ(Text(IDC_KEY_BOX), L"");
    EXPECT_EQ(Logic().Control().keysPath, L"");
    EXPECT_FALSE(Ctl(IDC_VERIFY_CERT).enabled);
    EXPECT_FALSE(Ctl(IDC_KEY_BOX).enabled);
    ASSERT_TRUE(Dlg().Click(IDC_CERT_CHECK));
    EXPECT_TRUE(Ctl(IDC_KEY_BOX).enabled);
    EXPECT_TRUE(Ctl(IDC_KEY_BROWSE).enabled);
    EXPECT_EQ(Text(IDC_KEY_BOX), L"");  // ticking does not bring the path back
}

TEST_F(Buttons, CmdbCheckBoxEnablesItsRow) {
    WriteConfig(kAllFiles);
    Start();
    for (ControlId id : {IDC_CMDB_LABEL, IDC_CMDB_BOX, IDC_CMDB_BROWSE}) {
        EXPECT_FALSE(Ctl(id).enabled);
    }
    ASSERT_TRUE(Dlg().Click(IDC_CMDB_CHECK));
    EXPECT_TRUE(Logic().Settings().programCmdb);
    for (ControlId id : {IDC_CMDB_LABEL, IDC_CMDB_BOX, IDC_CMDB_BROWSE}) {
        EXPECT_TRUE(Ctl(id).enabled);
    }
}

struct BrowseCase {
    ControlId button;
    ControlId box;
};
class Browse : public Buttons, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(Browse, AsksForABinFileAndPutsTheChoiceIntoItsBox) {
    WriteConfig(kAllFiles + "ProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    const std::wstring before = Text(GetParam().box);
    Dlg().fileAnswers = {std::nullopt, WidePath("cmdb.bin")};
    ASSERT_TRUE(Dlg().Click(GetParam().button) || !Ctl(GetParam().button).shown);
    if (!Ctl(GetParam().button).shown) {
        return;  // the Port#1 and Port#2 rows are never shown
    }
    EXPECT_EQ(Text(GetParam().box), before);  // cancelled
    ASSERT_TRUE(Dlg().Click(GetParam().button));
    EXPECT_EQ(Text(GetParam().box), WidePath("cmdb.bin"));
    ASSERT_EQ(Dlg().FileRequests().size(), 2u);
    const OpenFileRequest& r = Dlg().FileRequests()[1];
    EXPECT_EQ(r.defaultExtension, L"bin");
    EXPECT_EQ(r.flags, 0x5000u);
    EXPECT_EQ(r.filter, L"Files (*.bin)|*.bin|All Files (*.*)|*.*||");
    EXPECT_EQ(r.initialFile, before);
    EXPECT_TRUE(r.explorerStyle);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Browse,
                         ::testing::Values(BrowseCase{IDC_ESM_BROWSE, IDC_ESM_BOX},
                                           BrowseCase{IDC_DRIVER_BROWSE, IDC_DRIVER_BOX},
                                           BrowseCase{IDC_FW_BROWSE, IDC_FW_BOX},
                                           BrowseCase{IDC_KEY_BROWSE, IDC_KEY_BOX},
                                           BrowseCase{IDC_CMDB_BROWSE, IDC_CMDB_BOX}));

TEST_F(Buttons, DriverBrowseSetsTheCoreDriverPathButTypingDoesNot) {
    WriteConfig(kAllFiles);
    Start();
    Dlg().Type(IDC_DRIVER_BOX, WidePath("esm.bin"));
    EXPECT_EQ(Logic().Control().driverPath, WidePath("driver.bin"));
    EXPECT_EQ(Logic().DriverFilePath(), WidePath("esm.bin"));
    Dlg().fileAnswers = {WidePath("cmdb.bin")};
    ASSERT_TRUE(Dlg().Click(IDC_DRIVER_BROWSE));
    EXPECT_EQ(Logic().Control().driverPath, WidePath("cmdb.bin"));
    EXPECT_EQ(Logic().DriverFilePath(), WidePath("cmdb.bin"));
}

// A long path shows its end (the file name); a short one its start.
TEST_F(Buttons, PathsLongerThan60CharactersAreScrolledToTheirEnd) {
    WriteConfig(kAllFiles);
    Start();
    for (size_t length : {size_t{60}, size_t{61}}) {
        const std::wstring path = L"C:" + std::wstring(length - 6, L'x') + L".bin";
        ASSERT_EQ(path.size(), length);
        Dlg().fileAnswers = {path};
        ASSERT_TRUE(Dlg().Click(IDC_FW_BROWSE));
        const MemoryControl& box = Ctl(IDC_FW_BOX);
        EXPECT_EQ(box.text, path);
        if (length == 60) {
            EXPECT_EQ(box.selectionFrom, 0);
            EXPECT_EQ(box.selectionTo, 0);
            EXPECT_FALSE(box.caretScrolled);
        } else {
            EXPECT_EQ(box.selectionFrom, 1);
            EXPECT_EQ(box.selectionTo, 61);
            EXPECT_TRUE(box.caretScrolled);
        }
    }
}

struct ColourCase {
    std::string driver, firmware;
    bool driverRed, firmwareRed;
};
class BoxColour : public Buttons, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(BoxColour, MissingFilesShowRedOnWhite) {
    const ColourCase& c = GetParam();
    WriteConfig(kAllFiles);
    Start();
    Dlg().Type(IDC_DRIVER_BOX, c.driver.empty() ? L"" : WidePath(c.driver));
    Dlg().Type(IDC_FW_BOX, c.firmware.empty() ? L"" : WidePath(c.firmware));
    const std::optional<BoxColours> red = BoxColours{0x0000FF, 0xFFFFFF};
    const std::optional<BoxColours> system;
    EXPECT_EQ(Ctl(IDC_DRIVER_BOX).boxColours, c.driverRed ? red : system);
    EXPECT_EQ(Ctl(IDC_FW_BOX).boxColours, c.firmwareRed ? red : system);
    EXPECT_GT(Ctl(IDC_FW_BOX).redraws, 0);
    EXPECT_EQ(Ctl(IDC_FW_P1_BOX).boxColours, system);
}

INSTANTIATE_TEST_SUITE_P(Files, BoxColour,
                         ::testing::Values(ColourCase{"driver.bin", "firmware.bin", false, false},
                                           ColourCase{"driver.bin", "", false, false},
                                           ColourCase{"", "", true, false},
                                           ColourCase{"no.bin", "no.bin", true, true},
                                           ColourCase{"driver.bin", "keys/x.bin", false, true}));

}  // namespace
}  // namespace zorvan::gui::testing
