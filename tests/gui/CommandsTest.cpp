// The single-purpose commands against the virtual chip: Write Certificate, Verify
// Certificate, Verify CMDB and Flash Erase, with their results, colours and message boxes.
#include <gmock/gmock.h>

#include "core/platform/Text.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"
#include "tests/gui/DialogFixture.h"
#include "tests/gui/FlashAreas.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kCertificateSetup =
    "OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nProgramDeviceCertificate=1\r\n"
    "KeysFilePath=keys\\\r\n";

class Commands : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteBytes("driver.bin", sim::MakeDemoDriverFile());
        flash_ = Image(1, 5);
        std::vector<std::wstring> written;
        std::wstring error;
        ASSERT_TRUE(sim::WriteDemoKeys(WidePath("keys"), sim::ChipFamily::Kq1100, 1500, written,
                                       error));
    }
    void ExpectResult(const std::wstring& result, bool passed) {
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours,
                  (BoxColours{kBlack, passed ? kPassedBackground : kFailedBackground}));
        ASSERT_EQ(Dlg().Messages().size(), 1u);
        EXPECT_EQ(Dlg().Messages()[0],
                  (ShownMessage{result, kAppTitle,
                                passed ? MessageIcon::Information : MessageIcon::Error}));
        EXPECT_THAT(ReadLog(), HasSubstr(ToUtf8(result)));
    }
    std::vector<uint8_t> flash_;
};

TEST_F(Commands, WriteCertificateLeavesTheFirmwareRunning) {
    WriteChip(flash_);
    WriteConfig(kCertificateSetup);
    Start();
    ASSERT_EQ(Text(IDC_SECURE_ISP), L"Write Certificate");
    ASSERT_TRUE(Dlg().Click(IDC_SECURE_ISP));
    const std::wstring out = Text(IDC_OUTPUT_BOX);
    EXPECT_THAT(out, StartsWith(L"Got match serial number!\r\nLoading ISP driver... done!\r\n"
                                L"Get Flash ID ...... SPI Flash ID: 0x"));
    EXPECT_THAT(out, HasSubstr(L"Erasing Dev Certificate block...... done!\r\n"
                               L"Flash writing \"Device Certificate\"... done!\r\n"
                               L"Device Certificate... Verify successful!\r\n"
                               L"Write \"Device Certificate\" successful!\r\n"
                               L"System Reset ...Done\r\n"));
    ExpectResult(L"Write \"Device Certificate\" successful!\r\n", true);
    EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);

    // The chip came back on its firmware: the version panel still shows 1.05.
    ASSERT_TRUE(Dlg().Click(IDC_GET_VERSION));
    EXPECT_THAT(Text(IDC_OUTPUT_BOX), StartsWith(L"Current on-board F/W Version: Zorvan App: "
                                                 L"KQ1100 v1.05"));
    const std::vector<uint8_t> certificate = Logic().Control().certificate;
    const std::vector<uint8_t> after = EndAndReadChip().flash;
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + kCertificateOffset, flash_.begin()));
    EXPECT_TRUE(std::equal(after.begin() + kCmdbOffset, after.end(), flash_.begin() + kCmdbOffset));
    EXPECT_TRUE(std::equal(certificate.begin(), certificate.end(),
                           after.begin() + kCertificateOffset));
}

TEST_F(Commands, VerifyCertificateOnABlankArea) {
    WriteChip(flash_);
    WriteConfig(kCertificateSetup);
    Start();
    Logic().AppendStatus(L"earlier\r\n");
    ASSERT_TRUE(Dlg().Click(IDC_VERIFY_CERT));
    const std::wstring result =
        L"Verify \"Device Certificate\" failed! (No certificate data in SPI flash)\r\n";
    EXPECT_EQ(Text(IDC_OUTPUT_BOX), L"Got match serial number!\r\n" + result);
    ExpectResult(result, false);
    EXPECT_TRUE(Ctl(IDC_VERIFY_CERT).enabled);
}

// The flash holds exactly the file's record, whose checksum byte is wrong.
TEST_F(Commands, VerifyCmdbMatchingTheFileButWithABadChecksum) {
    std::vector<uint8_t> cmdb = sim::MakeCmdbRecord(2, 1, 3, 4, {});
    cmdb.back() = static_cast<uint8_t>(cmdb.back() + 1);
    std::copy(cmdb.begin(), cmdb.end(), flash_.begin() + kCmdbOffset);
    WriteChip(flash_);
    WriteBytes("bad-sum.bin", cmdb);
    WriteConfig("OneStepProgramming=0\r\nDriverFilePath=driver.bin\r\nProgramCMDB=1\r\n"
                "CMDBFilePath=bad-sum.bin\r\n");
    Start();
    ASSERT_EQ(Text(IDC_ERASE), L"Verify CMDB");
    Logic().AppendStatus(L"kept\r\n");
    ASSERT_TRUE(Dlg().Click(IDC_ERASE));
    const std::wstring out = Text(IDC_OUTPUT_BOX);
    EXPECT_THAT(out, StartsWith(L"kept\r\nCMDB... Verified successfully!\r\n"));
    EXPECT_GT(out.size(), std::wstring(L"kept\r\nCMDB... Verified successfully!\r\n").size());
    EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
    ASSERT_EQ(Dlg().Messages().size(), 1u);
    EXPECT_EQ(Dlg().Messages()[0].icon, MessageIcon::Error);
    EXPECT_THAT(out, Not(HasSubstr(L"System Reset")));
}

TEST_F(Commands, FlashEraseWithoutTheDriverFileSendsNothing) {
    WriteChip(flash_);
    WriteConfig("OneStepProgramming=0\r\nDebugMode=1\r\nDriverFilePath=missing.bin\r\n");
    Start();
    ASSERT_EQ(Text(IDC_ERASE), L"Flash Erase");
    ASSERT_TRUE(Dlg().Click(IDC_ERASE));
    ASSERT_EQ(Dlg().Messages().size(), 1u);
    const std::wstring message = Dlg().Messages()[0].text;
    EXPECT_FALSE(message.empty());
    ExpectResult(message, false);
    EXPECT_THAT(Text(IDC_OUTPUT_BOX), Not(HasSubstr(L"System Reset")));
    EXPECT_THAT(ReadLog(), Not(HasSubstr("System Reset")));
    EXPECT_EQ(EndAndReadChip().flash, flash_);
}

TEST_F(Commands, FlashEraseBlanksTheWholeFlash) {
    WriteChip(flash_);
    WriteConfig("OneStepProgramming=0\r\nDebugMode=1\r\nDriverFilePath=driver.bin\r\n");
    Start();
    ASSERT_TRUE(Dlg().Click(IDC_ERASE));
    EXPECT_THAT(Text(IDC_OUTPUT_BOX), HasSubstr(L"Erasing full flash... done!\r\n"
                                                L"System Reset ...Done\r\n"));
    ExpectResult(L"Erasing full flash... Done\r\n", true);
    const sim::ChipState chip = EndAndReadChip();
    EXPECT_EQ(chip.flash, std::vector<uint8_t>(flash_.size(), 0xFF));
    EXPECT_EQ(chip.mode, sim::ChipMode::BootRom);
}

}  // namespace
}  // namespace zorvan::gui::testing
