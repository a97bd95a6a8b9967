// The firmware update ("Start", "Update") against the virtual chip: the erase selector each
// configuration leads to, what is written where, the question, the one-step layout, and the
// failures a user sees.
#include <gmock/gmock.h>

#include <algorithm>

#include "core/platform/Text.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"
#include "tests/gui/DialogFixture.h"
#include "tests/gui/FlashAreas.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kNormal = "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\n";
const std::string kFirmware = "FWFilePath=firmware.bin\r\n";

class Update : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteBytes("driver.bin", sim::MakeDemoDriverFile());
        oldFlash_ = Image(1, 5);
        Put(oldFlash_, kCmdbOffset, kOldCmdb);
        newImage_ = Image(1, 6);
    }
    void WriteChipAndImage() {
        WriteChip(oldFlash_);
        WriteBytes("firmware.bin", newImage_);
    }
    void WriteKeys() {
        std::vector<std::wstring> written;
        std::wstring error;
        ASSERT_TRUE(sim::WriteDemoKeys(WidePath("keys"), sim::ChipFamily::Kq1100, 1500, written,
                                       error));
    }
    std::wstring Out() { return Text(IDC_OUTPUT_BOX); }
    void ExpectPassed(const std::wstring& result) {
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kPassedBackground}));
        ASSERT_FALSE(Dlg().Messages().empty());
        EXPECT_EQ(Dlg().Messages().back(), (ShownMessage{result, kAppTitle, MessageIcon::Information}));
        EXPECT_EQ(Text(IDC_STATUS_LINE), L"ISP completed!");
    }
    void ExpectFailed(const std::wstring& result) {
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
        ASSERT_FALSE(Dlg().Messages().empty());
        EXPECT_EQ(Dlg().Messages().back(), (ShownMessage{result, kAppTitle, MessageIcon::Error}));
        EXPECT_EQ(Text(IDC_STATUS_LINE), L"ISP failed!");
    }

    std::vector<uint8_t> oldFlash_;
    std::vector<uint8_t> newImage_;
};

struct SelectorCase {
    const char* name;
    AreaSetup areas;
    bool debugMode;
    uint16_t selector;
};

class EraseSelector : public Update, public ::testing::WithParamInterface<SelectorCase> {};

// Whatever is kept or written, the firmware regions end up as the image's, and the blocks
// the update leaves alone keep what the chip had.
TEST_P(EraseSelector, ErasesAndWritesAsTheFlashAndImageCall) {
    const SelectorCase& c = GetParam();
    ArrangeAreas(c.areas, oldFlash_, newImage_);
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware + (c.debugMode ? "DebugMode=1\r\n" : ""));
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));

    const std::wstring selector = Format(L"%X", static_cast<unsigned>(c.selector));
    EXPECT_THAT(Out(), HasSubstr(L"Erasing flash (" + selector + L")...... done!\r\n"));
    EXPECT_THAT(ReadLog(), HasSubstr("Erasing flash (" + ToUtf8(selector) + ")... Done\r\n"));
    EXPECT_THAT(Out(), HasSubstr(L"Flash writing firmware... done!\r\n"
                                 L"Flash FW version comparison successful!  (v1.06)\r\n"));
    ExpectPassed(L"ISP completed!\r\n");
    EXPECT_EQ(Ctl(IDC_PROGRESS).progressPosition, kProgressRange);
    EXPECT_FALSE(Ctl(IDC_PROGRESS).shown);
    EXPECT_TRUE(Ctl(IDC_START).enabled);

    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, 0, kCertificateOffset), Bytes(newImage_, 0, kCertificateOffset));
    EXPECT_EQ(Bytes(flash, kLastKib, 0x400), Bytes(newImage_, kLastKib, 0x400));
    const bool full = c.selector == ERASE_FULL;
    EXPECT_EQ(Bytes(flash, kCertificateOffset, 8),
              full ? std::vector<uint8_t>(8, 0xFF) : Bytes(oldFlash_, kCertificateOffset, 8));
    std::vector<uint8_t> cmdb = kOldCmdb;  // 0xFFA2 keeps the CMDB sector
    if (c.selector != ERASE_KEEP_CERTIFICATE_NO_CMDB) {
        cmdb = Bytes(newImage_, kCmdbOffset, 0x80);  // erased, then the image's (if any)
    }
    EXPECT_EQ(Bytes(flash, kCmdbOffset, 0x80), cmdb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EraseSelector,
    ::testing::Values(SelectorCase{"KeepsCertificateAndCmdbSector", {true, false, false}, false,
                                   ERASE_KEEP_CERTIFICATE_NO_CMDB},
                      SelectorCase{"KeepsCertificateWritesImageCmdb", {true, true, false}, false,
                                   ERASE_KEEP_CERTIFICATE},
                      SelectorCase{"BlankCertificateAreaErasesAll", {false, true, false}, false,
                                   ERASE_FULL},
                      SelectorCase{"DebugModeWithImageCertificateErasesAll", {true, false, true},
                                   true, ERASE_FULL},
                      SelectorCase{"DebugModeAloneKeepsCertificate", {true, false, false}, true,
                                   ERASE_KEEP_CERTIFICATE_NO_CMDB}),
    [](const ::testing::TestParamInfo<SelectorCase>& p) { return p.param.name; });

TEST_F(Update, CertificateErasesAllAndIsWrittenAndVerified) {
    Put(oldFlash_, kCertificateOffset, kOldCertificate);
    WriteChipAndImage();
    WriteKeys();
    WriteConfig(kNormal + kFirmware + "ProgramDeviceCertificate=1\r\nKeysFilePath=keys\\\r\n");
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    EXPECT_THAT(Out(), HasSubstr(L"Got match serial number!\r\n"));
    EXPECT_THAT(Out(), HasSubstr(L"Erasing flash (FFFF)...... done!\r\n"));
    EXPECT_THAT(Out(), HasSubstr(L"Flash writing Device Certificate... done!\r\n"
                                 L"Device Certificate... Verified successfully!\r\n"));
    ExpectPassed(L"ISP completed!\r\n");
    const std::vector<uint8_t> certificate = Logic().Control().certificate;
    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, kCertificateOffset, certificate.size()), certificate);
}

TEST_F(Update, ImageWithABlankRegionNeedsNoBlocksThere) {
    // A small firmware leaves its second region erased.
    std::fill(newImage_.begin() + 0x24000, newImage_.begin() + kCertificateOffset, 0xFF);
    sim::StampImageCrc(newImage_);
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware);
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    ExpectPassed(L"ISP completed!\r\n");
    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, 0, kCertificateOffset), Bytes(newImage_, 0, kCertificateOffset));
}

TEST_F(Update, CmdbAloneWithoutFirmware) {
    WriteChip(oldFlash_);
    WriteConfig(kNormal + "ProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    ASSERT_TRUE(Ctl(IDC_START).enabled);
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    ASSERT_EQ(Dlg().Questions().size(), 1u);
    EXPECT_EQ(Dlg().Questions()[0].text, L"Do you want to update \"CMDB\"?");
    EXPECT_THAT(Out(), HasSubstr(L"Erasing flash (FFA3)...... done!\r\n"));
    EXPECT_THAT(Out(), HasSubstr(L"Flash writing CMDB... done!\r\nCMDB... Verified successfully!\r\n"));
    EXPECT_THAT(Out(), Not(HasSubstr(L"Flash writing firmware")));
    ExpectPassed(L"Updated \"CMDB\" successfully!\r\n");
    EXPECT_THAT(ReadLog(), HasSubstr("Updated \"CMDB\" successfully!\r\n"));
    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, 0, kCmdbOffset), Bytes(oldFlash_, 0, kCmdbOffset));
    EXPECT_EQ(Bytes(flash, kCmdbOffset, 0x80), sim::MakeCmdbRecord(2, 1, 3, 4, {}));
}

// The virtual chip's file went away under the running dialog: the update's own success
// message comes first, then the failure that it does not hold, once, however often the
// user goes on.
TEST_F(Update, AVirtualChipThatCannotKeepTheUpdateFailsItAfterItsOwnMessage) {
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware);
    Start();
    std::filesystem::remove(folder_ / "virtual-chip.state");
    Dlg().yesNoAnswers = {true, true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    const std::wstring failure = L"Virtual chip: its state file \"" + WidePath("virtual-chip.state") +
                                 L"\" was removed or replaced while the chip ran, so it does not "
                                 L"hold this run and this result does not hold.";
    const std::vector<ShownMessage>& shown = Dlg().Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], (ShownMessage{L"ISP completed!\r\n", kAppTitle, MessageIcon::Information}));
    EXPECT_EQ(shown[1], (ShownMessage{failure, kAppTitle, MessageIcon::Error}));
    EXPECT_THAT(Out(), EndsWith(failure + L"\r\n"));
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
    EXPECT_THAT(ReadLog(), EndsWith(ToUtf8(failure) + "\r\n"));
    ASSERT_TRUE(Dlg().Click(IDC_START));
    EXPECT_EQ(Count(ReadLog(), ToUtf8(failure)), 1u);
    EXPECT_NE(Dlg().Messages().back().text, failure);
}

TEST_F(Update, NoToTheQuestionStopsBeforeTheChipIsTouched) {
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware);
    Start();
    Dlg().yesNoAnswers = {false};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    ASSERT_EQ(Dlg().Questions().size(), 1u);
    EXPECT_EQ(Dlg().Questions()[0].text, L"Do you want to update new firmware?");
    EXPECT_EQ(Count(Out(), L"ISP stopped!\r\n"), 1u);
    EXPECT_THAT(Out(), Not(HasSubstr(L"System Reset")));
    EXPECT_THAT(ReadLog(), Not(HasSubstr("ISP driver")));
    ExpectFailed(L"ISP stopped!\r\n");
    EXPECT_TRUE(Ctl(IDC_START).enabled);
    EXPECT_EQ(EndAndReadChip().flash, oldFlash_);
}

TEST_F(Update, WithoutFwComparisonNeitherAsksNorCompares) {
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware + "FwComparison=0\r\n");
    Start();
    ASSERT_TRUE(Dlg().Click(IDC_START));
    EXPECT_TRUE(Dlg().Questions().empty());
    EXPECT_THAT(Out(), Not(HasSubstr(L"comparison")));
    ExpectPassed(L"ISP completed!\r\n");
    EXPECT_EQ(Bytes(EndAndReadChip().flash, 0, kCertificateOffset),
              Bytes(newImage_, 0, kCertificateOffset));
}

TEST_F(Update, OneStepLayoutUpdatesOnceWithoutQuestion) {
    WriteChipAndImage();
    WriteConfig("DriverFilePath=driver.bin\r\n" + kFirmware);
    Start();
    ASSERT_EQ(Text(IDC_START), L"Update");
    Dlg().PressEnter();
    EXPECT_TRUE(Dlg().Questions().empty());
    const std::wstring out = Out();
    EXPECT_EQ(out.rfind(L"Start updating firmware ...... Please do NOT shut down system!\r\n", 0),
              0u);
    EXPECT_THAT(out, Not(HasSubstr(L"Current Firmware Version")));  // logged only
    EXPECT_THAT(ReadLog(), HasSubstr("Current Firmware Version: "));
    EXPECT_THAT(out, HasSubstr(L"Erasing flash ...... done!\r\n"));
    EXPECT_THAT(out, HasSubstr(L"System Reset ...Done\r\n"));
    ExpectPassed(L"ISP completed!\r\n");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
    Dlg().PressEnter();  // nothing happens a second time
    EXPECT_EQ(Dlg().Messages().size(), 1u);
    EXPECT_EQ(Bytes(EndAndReadChip().flash, 0, kCertificateOffset),
              Bytes(newImage_, 0, kCertificateOffset));
}

// Blocks land below where the version is read back when the flash start address is wrong.
TEST_F(Update, VersionMismatchFailsBeforeCertificateAndCmdb) {
    Put(newImage_, 0, std::vector<uint8_t>(0x1000, 0xFF));  // nothing to write below the shift
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware + "FlashStartAddr=4193280\r\nProgramCMDB=1\r\n" +
                "CMDBFilePath=cmdb.bin\r\n");
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"FW Version from BIN file: v1.06 (0x010600)\r\n"
                               L"FW version read back from flash: (0xFFFFFF) not match.\r\n"));
    EXPECT_EQ(Count(out, L"ISP failed!\r\n"), 2u);
    EXPECT_THAT(out, Not(HasSubstr(L"Flash writing CMDB")));
    ExpectFailed(L"ISP failed!\r\n");
}

// A certificate written over an old one (0xFFA3 erases only the CMDB sector) does not verify;
// the CMDB still goes in, and the update ends as failed.
TEST_F(Update, CertificateFailingVerificationFailsTheUpdate) {
    std::vector<uint8_t> other(0x1A6, 0x00);
    other[0] = 'K';
    other[1] = 'q';
    Put(oldFlash_, kCertificateOffset, other);
    WriteChip(oldFlash_);
    WriteKeys();
    WriteConfig(kNormal + "ProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n" +
                "ProgramDeviceCertificate=1\r\nKeysFilePath=keys\\\r\n");
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    EXPECT_EQ(Dlg().Questions().at(0).text,
              L"Do you want to update \"Device Certificate\" and \"CMDB\"?");
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"Erasing flash (FFA3)...... done!\r\n"));
    EXPECT_THAT(out, HasSubstr(L"Device Certificate... Verify failed!\r\n"));
    EXPECT_THAT(out, HasSubstr(L"CMDB... Verified successfully!\r\n"));
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"ISP failed!");
    EXPECT_EQ(Bytes(EndAndReadChip().flash, kCmdbOffset, 0x80),
              sim::MakeCmdbRecord(2, 1, 3, 4, {}));
}

// Nothing to write: ISP mode is not entered, so the chip keeps running its firmware.
TEST_F(Update, NothingToWriteEndsBeforeIspEntry) {
    WriteChip(oldFlash_);
    WriteFile("bad-cmdb.bin", "not a CMDB");
    WriteConfig(kNormal + "ProgramCMDB=1\r\nCMDBFilePath=bad-cmdb.bin\r\nFwComparison=0\r\n");
    Start();
    ASSERT_TRUE(Ctl(IDC_START).enabled);
    ASSERT_TRUE(Dlg().Click(IDC_START));
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"Loading CMDB file failed!\r\n"));
    EXPECT_THAT(out, HasSubstr(L"No available data can be written to flash!\r\n"));
    EXPECT_THAT(out, Not(HasSubstr(L"ISP driver")));
    EXPECT_THAT(out, Not(HasSubstr(L"System Reset")));
    ExpectFailed(L"No available data can be written to flash!\r\n");
    const sim::ChipState chip = EndAndReadChip();
    EXPECT_EQ(chip.mode, sim::ChipMode::Application);
    EXPECT_EQ(chip.flash, oldFlash_);
}

TEST_F(Update, OneStepWithAnUnloadableImageHasNothingToWrite) {
    WriteChip(oldFlash_);
    WriteFile("short.bin", "too short");
    WriteConfig("DriverFilePath=driver.bin\r\nFWFilePath=short.bin\r\n");
    Start();
    ASSERT_FALSE(Logic().HostReady());
    Dlg().PressEnter();
    ExpectFailed(L"No available data can be written to flash!\r\n");
    EXPECT_FALSE(Ctl(IDC_START).enabled);
    EXPECT_EQ(EndAndReadChip().flash, oldFlash_);
}

// VerifyAfterWrite=1: each area the update writes is read back right after its write.
TEST_F(Update, VerifyAfterWriteReadsEachWrittenAreaBack) {
    WriteChipAndImage();
    WriteKeys();
    WriteConfig(kNormal + kFirmware + "VerifyAfterWrite=1\r\nProgramDeviceCertificate=1\r\n" +
                "KeysFilePath=keys\\\r\nProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n");
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"Flash writing firmware... done!\r\n"
                               L"Verifying firmware... done!\r\n"
                               L"Flash FW version comparison successful!  (v1.06)\r\n"));
    EXPECT_THAT(out, HasSubstr(L"Flash writing Device Certificate... done!\r\n"
                               L"Verifying Device Certificate... done!\r\n"
                               L"Device Certificate... Verified successfully!\r\n"));
    EXPECT_THAT(out, HasSubstr(L"Flash writing CMDB... done!\r\n"
                               L"Verifying CMDB... done!\r\n"
                               L"CMDB... Verified successfully!\r\n"));
    EXPECT_THAT(ReadLog(), HasSubstr("Flash writing firmware... Done\r\n"
                                     "Verifying firmware... Done\r\n"));
    EXPECT_THAT(ReadLog(), HasSubstr("Verifying Device Certificate... Done\r\n"));
    EXPECT_THAT(ReadLog(), HasSubstr("Verifying CMDB... Done\r\n"));
    ExpectPassed(L"ISP completed!\r\n");
}

// The image's last byte sits on a worn cell: the version reads back right, so only the
// read-back tells; with it the update fails in the failed colour with the address and bytes.
class WornCell : public Update, public ::testing::WithParamInterface<bool> {};

TEST_P(WornCell, FailsTheUpdateOnlyWithVerifyAfterWrite) {
    const bool verify = GetParam();
    WriteChipAndImage();
    WriteConfig(kNormal + kFirmware + (verify ? "VerifyAfterWrite=1\r\n" : ""),
                kSimulator + "StuckFlashAddress=0x7FFFF\r\n");
    Start();
    Dlg().yesNoAnswers = {true};
    ASSERT_TRUE(Dlg().Click(IDC_START));
    if (!verify) {
        ExpectPassed(L"ISP completed!\r\n");
        EXPECT_THAT(Out(), Not(HasSubstr(L"Verifying")));
        return;
    }
    const std::wstring failure =
        Format(L"Verify after write failed at 0x7FFFF: wrote 0x%02X, read 0xFF!\r\n",
               newImage_[0x7FFFF]);
    EXPECT_THAT(Out(), HasSubstr(L"Flash writing firmware... done!\r\n"
                                 L"Verifying firmware... failed!\r\n"
                                 L"System Reset ...Done\r\n" +
                                 failure));
    EXPECT_THAT(Out(), Not(HasSubstr(L"comparison")));
    EXPECT_THAT(ReadLog(), HasSubstr(ToUtf8(failure)));
    ExpectFailed(failure);
}

INSTANTIATE_TEST_SUITE_P(VerifyAfterWrite, WornCell, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "On" : "Off";
                         });

}  // namespace
}  // namespace zorvan::gui::testing
