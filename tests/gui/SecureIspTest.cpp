// "Secure ISP" against the virtual chip's security firmware: the ESM started or downloaded,
// the signed driver, the erase selector of the secure update, the certificate with its
// verification, the version check and the failures a user sees.
#include <gmock/gmock.h>

#include <algorithm>
#include <optional>

#include "core/platform/Text.h"
#include "core/gfx/GfxLib.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"
#include "sim/state/StateFile.h"
#include "tests/control/ForwardingLink.h"
#include "tests/gui/DialogFixture.h"
#include "tests/gui/FlashAreas.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kSecure =
    "OneStepProgramming=0\r\nSecureISP=1\r\nDriverFilePath=driver.bin\r\n"
    "FWFilePath=firmware.bin\r\nESMFilePath=esm.bin\r\n";
const std::string kCmdbFile = "ProgramCMDB=1\r\nCMDBFilePath=cmdb.bin\r\n";
const std::string kCertificate = "ProgramDeviceCertificate=1\r\nKeysFilePath=keys\\\r\n";
const std::wstring kCurrentVersion = L"Current Firmware Version: Zorvan App: KQ1100 v1.05  (cut2.1)";
const std::wstring kSucceeded = L"Secure ISP successful! (v1.06)\r\n";
const std::wstring kReset = L"System Reset ...Done\r\n";
// Before the ISP driver runs there is no mailbox to send the reset through.
const std::wstring kNoReset = L"System Reset ...Not available!\r\n";

const std::vector<uint8_t> kFileCmdb = sim::MakeCmdbRecord(2, 1, 3, 4, {});

// A link between the core and the virtual PC's backend that passes everything on, except
// the packets a test names, which it swallows as a lost write would; it notes the program
// codes of the flash write requests.
class RelayLink final : public zorvan::testing::ForwardingLink {
  public:
    using ForwardingLink::ForwardingLink;
    // Writes whose vendor code and first parameters (from byte 6 on) begin with these bytes.
    std::vector<uint8_t> dropped;
    int32_t drops = 0;
    // The program code of each run of program requests, in order: a request is the code and
    // its check byte (code XOR 3) written behind the length byte of the command buffer.
    std::vector<uint8_t> programCodes;
    uint32_t commandAddress = 0;

  protected:
    bool LosesI2cWrite(const uint8_t* data, int32_t length) override {
        const auto n = static_cast<ptrdiff_t>(dropped.size());
        if (!dropped.empty() && length >= 6 + n &&
            std::equal(data + 6, data + 6 + n, dropped.begin())) {
            ++drops;
            return true;
        }
        return false;
    }
    std::optional<int32_t> AnswersAuxWrite(uint32_t address, const uint8_t* data,
                                           int32_t length) override {
        const bool programRequest = address == commandAddress + 1 && length == 2 &&
                                    data[1] == (data[0] ^ 0x03) &&
                                    (data[0] == 0x10 || (data[0] >= 0x76 && data[0] <= 0x78));
        if (programRequest && (programCodes.empty() || programCodes.back() != data[0])) {
            programCodes.push_back(data[0]);
        }
        return std::nullopt;
    }
};

class SecureIsp : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteBytes("driver.bin", sim::MakeDemoDriverFile());
        WriteBytes("esm.bin", sim::MakeDemoEsmFile());
        oldFlash_ = Image(1, 5);
        Put(oldFlash_, kCmdbOffset, kOldCmdb);
        newImage_ = Image(1, 6);
    }
    // The chip with oldFlash_ (its ESM running if asked), the image, Config.ini, and the
    // program started; the second button is ready as "Secure ISP".
    void Prepare(const std::string& lines = "", const std::string& simulator = kSimulator,
                 bool esmRunning = false) {
        sim::ChipState chip = sim::NewChipState(sim::ChipFamily::Kq1100, serial_);
        chip.flash = oldFlash_;
        sim::PowerCycle(chip);
        chip.securityFirmwareRunning = esmRunning;
        std::wstring error;
        ASSERT_TRUE(sim::SaveState(WidePath("virtual-chip.state"), chip, error)) << ToUtf8(error);
        WriteBytes("firmware.bin", newImage_);
        WriteConfig(kSecure + lines, simulator);
        Start();
        ASSERT_EQ(Text(IDC_SECURE_ISP), L"Secure ISP");
        ASSERT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
    }
    void Click(bool yes = true) {
        Dlg().yesNoAnswers = {yes};
        ASSERT_TRUE(Dlg().Click(IDC_SECURE_ISP));
    }
    // Puts the relay between the core and its backend.
    void Relay(std::vector<uint8_t> dropped = {}) {
        ZorvanControl& control = Logic().Control();
        ASSERT_NE(control.gfx, nullptr);
        link_ = std::make_unique<RelayLink>(*control.gfx);
        link_->dropped = std::move(dropped);
        link_->commandAddress = control.commandAddress;
        control.gfx = link_.get();
        control.nvidiaOrAmdStandIn = link_.get();  // paced as the backend it stands for
    }
    void WriteKeys() {
        std::vector<std::wstring> written;
        std::wstring error;
        ASSERT_TRUE(sim::WriteDemoKeys(WidePath("keys"), sim::ChipFamily::Kq1100, 1500, written,
                                       error));
    }
    std::wstring Out() { return Text(IDC_OUTPUT_BOX); }

    void ExpectPassed(const std::wstring& result = kSucceeded) {
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kPassedBackground}));
        ASSERT_EQ(Dlg().Messages().size(), 1u);
        EXPECT_EQ(Dlg().Messages()[0], (ShownMessage{result, kAppTitle, MessageIcon::Information}));
        // The result is logged, not added to the output box, which ends with the reset.
        EXPECT_THAT(ReadLog(), EndsWith(ToUtf8(result) + ToUtf8(kReset)));
        EXPECT_THAT(Out(), Not(HasSubstr(result)));
        EXPECT_THAT(Out(), EndsWith(kReset));
        EXPECT_FALSE(Ctl(IDC_PROGRESS).shown);
        EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
        EXPECT_EQ(Logic().Control().secureIsp, 1);
    }
    void ExpectFailed(const std::wstring& result, const std::wstring& reset = kReset) {
        EXPECT_EQ(Ctl(IDC_OUTPUT_BOX).boxColours, (BoxColours{kBlack, kFailedBackground}));
        ASSERT_EQ(Dlg().Messages().size(), 1u);
        EXPECT_EQ(Dlg().Messages()[0], (ShownMessage{result, kAppTitle, MessageIcon::Error}));
        EXPECT_THAT(Out(), EndsWith(result + reset));
        EXPECT_THAT(ReadLog(), EndsWith(ToUtf8(result) + ToUtf8(reset)));
        EXPECT_FALSE(Ctl(IDC_PROGRESS).shown);
        EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
    }
    // Stopped before ISP mode: no colour, no message box, no reset, the button back.
    void ExpectStoppedQuietly() {
        EXPECT_FALSE(Ctl(IDC_OUTPUT_BOX).boxColours.has_value());
        EXPECT_TRUE(Dlg().Messages().empty());
        EXPECT_THAT(Out(), Not(HasSubstr(L"System Reset")));
        EXPECT_THAT(ReadLog(), Not(HasSubstr("ESM")));
        EXPECT_TRUE(Ctl(IDC_SECURE_ISP).enabled);
        const sim::ChipState chip = EndAndReadChip();
        EXPECT_EQ(chip.flash, oldFlash_);
        EXPECT_EQ(chip.mode, sim::ChipMode::Application);
        EXPECT_FALSE(chip.securityFirmwareRunning);
    }

    std::vector<uint8_t> oldFlash_;
    std::vector<uint8_t> newImage_;
    uint32_t serial_ = 1500;
    // Outlives the program, which DialogFixture ends in TearDown at the latest.
    std::unique_ptr<RelayLink> link_;
};

// The whole procedure as a user follows it, from a chip whose ESM is not running and whose
// certificate area is blank: the flash ends up equal to the image.
TEST_F(SecureIsp, LoadsTheEsmAndWritesTheImageSecurely) {
    Prepare();
    Relay();
    Click();
    ASSERT_EQ(Dlg().Questions().size(), 1u);
    EXPECT_EQ(Dlg().Questions()[0].text, L"Do you want to update it with FW from file?");
    EXPECT_EQ(Out(), L"Start Secure ISP...\r\n" + kCurrentVersion + L"\r\n"
                     L"Check ESM status... Not started!\r\n"
                     L"Loading ESM binary... done!\r\n"
                     L"Starting Secure Process... successfully\r\n"
                     L"Loading ISP driver... done!\r\n"
                     L"Running ISP driver... done!\r\n"
                     L"Get Flash ID ...... SPI Flash ID: 0x1540\r\n"
                     L"Erasing flash (FFFF)......done!\r\n"
                     L"Flash writing firmware... done!\r\n"
                     L"Flash FW version comparison successful!  (v1.06)\r\n" + kReset);
    EXPECT_THAT(ReadLog(), EndsWith(ToUtf8(kCurrentVersion) + "\r\n"
                                    "Check ESM status... Not started!\r\n"
                                    "Loading ESM binary... Done\r\n"
                                    "Starting Secure Process... successfully\r\n"
                                    "Loading ISP driver... Done\r\n"
                                    "Running ISP driver... Done\r\n"
                                    "SPI Flash ID: 0x1540\r\n"
                                    "Erasing flash... Done\r\n"
                                    "Flash writing firmware... Done\r\n"
                                    "Flash FW version comparison successful!  (v1.06)\r\n" +
                                    ToUtf8(kSucceeded) + ToUtf8(kReset)));
    ExpectPassed();
    EXPECT_EQ(Ctl(IDC_PROGRESS).progressPosition, kProgressRange);
    // The first region as usual, the rest (the image's CMDB among it) with the secure codes.
    EXPECT_EQ(link_->programCodes, (std::vector<uint8_t>{0x10, 0x76, 0x77}));

    const sim::ChipState chip = EndAndReadChip();
    EXPECT_EQ(chip.flash, newImage_);
    EXPECT_TRUE(chip.securityFirmwareRunning);
    EXPECT_EQ(chip.mode, sim::ChipMode::Application);
}

// A running ESM is only restarted: its file is not needed (removed here once the button is
// enabled). The comparison line shows the build, the result text never does.
TEST_F(SecureIsp, RunningEsmOnlyRestartsTheSecureProcess) {
    newImage_ = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {1, 16, 3});
    Prepare("", kSimulator, true);
    Remove("esm.bin");
    Click();
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"\r\nCheck ESM status... Started!\r\n"
                               L"Starting Secure Process... successfully\r\n"
                               L"Loading ISP driver... done!\r\n"));
    EXPECT_THAT(out, Not(HasSubstr(L"ESM binary")));
    EXPECT_THAT(out, HasSubstr(L"Flash FW version comparison successful!  (v1.16.3)\r\n"));
    const std::string log = ReadLog();
    const std::string started = "Check ESM status... Started! 0x";
    const size_t at = log.find(started);
    ASSERT_NE(at, std::string::npos) << log;
    const std::string status = log.substr(at + started.size(), log.find("\r\n", at) - at - started.size());
    ASSERT_FALSE(status.empty());
    EXPECT_TRUE(std::all_of(status.begin(), status.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    })) << status;
    EXPECT_NE(std::stoul(status, nullptr, 16) & 0x40u, 0u) << "the running bit";
    ExpectPassed(L"Secure ISP successful! (v1.16)\r\n");
    EXPECT_EQ(EndAndReadChip().flash, newImage_);
}

// A ClearEsmHandle that is never acknowledged is only reported; the update goes on.
TEST_F(SecureIsp, UnacknowledgedClearEsmHandleIsReportedAndTheUpdateGoesOn) {
    Prepare();
    Relay({0x07, 0x09, 0xC0, 0x00, 0x00});
    Click();
    EXPECT_EQ(link_->drops, 1);
    EXPECT_THAT(Out(), HasSubstr(kCurrentVersion + L"\r\nClearEsmHandle failed!\r\n"
                                                   L"Check ESM status... Not started!\r\n"));
    EXPECT_THAT(ReadLog(), Not(HasSubstr("ClearEsmHandle")));  // shown only
    ExpectPassed();
    EXPECT_EQ(EndAndReadChip().flash, newImage_);
}

struct QuietStopCase {
    const char* name;
    std::string lines;
    uint32_t serial;
    bool answer;
    int questions;
    const wchar_t* after;     // what follows the version line, in the output box and the log
    const wchar_t* lastLine;  // what the output box ends with
};

class QuietStop : public SecureIsp, public ::testing::WithParamInterface<QuietStopCase> {};

// A key-file failure and a No to the question end before the chip's ISP mode, leaving the
// output box as it is.
TEST_P(QuietStop, EndsBeforeTheChipIsTouched) {
    const QuietStopCase& c = GetParam();
    WriteKeys();
    serial_ = c.serial;
    Prepare(c.lines);
    Click(c.answer);
    EXPECT_EQ(Dlg().Questions().size(), static_cast<size_t>(c.questions));
    const std::wstring out = Out();
    EXPECT_THAT(out, StartsWith(L"Start Secure ISP...\r\n" + kCurrentVersion + L"\r\n" + c.after));
    EXPECT_THAT(out, EndsWith(c.lastLine));
    EXPECT_THAT(ReadLog(), HasSubstr(ToUtf8(c.after)));
    ExpectStoppedQuietly();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuietStop,
    ::testing::Values(
        QuietStopCase{"NoToTheQuestion", kCertificate, 1500, false, 1,
                      L"Got match serial number!\r\n", L"Got match serial number!\r\n"},
        // The key files cover serials around 1500 only.
        QuietStopCase{"NoKeyForTheSerial", kCertificate, 7777, true, 0,
                      L"Chip Serial#: 7777\r\nKey file not found in \"", L"keys\"\r\n"}),
    [](const ::testing::TestParamInfo<QuietStopCase>& p) { return p.param.name; });

enum class Esm { kDemo, kBroken, kRemoved };

struct FailureCase {
    const char* name;
    Esm esm;
    std::optional<sim::DriverFileDamage> driverDamage;
    bool tamperedImage;
    const wchar_t* before;  // the output box's lines just before the result text
    const wchar_t* result;
    const char* logged;  // a line the log holds besides the result
    bool driverRan;      // the reset goes through the running driver's mailbox
};

class SecureFailure : public SecureIsp, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SecureFailure, EndsWithTheFailureAndTheReset) {
    const FailureCase& c = GetParam();
    if (c.esm == Esm::kBroken) {
        WriteBytes("esm.bin", sim::MakeBrokenEsmFile());
    }
    if (c.driverDamage) {
        WriteBytes("driver.bin", sim::MakeDamagedDriverFile(*c.driverDamage));
    }
    if (c.tamperedImage) {
        newImage_ = sim::MakeTamperedFirmwareImage(sim::ChipFamily::Kq1100, {1, 6, 0});
    }
    Prepare();
    if (c.esm == Esm::kRemoved) {
        Remove("esm.bin");
    }
    Click();
    const std::wstring reset = c.driverRan ? kReset : kNoReset;
    EXPECT_THAT(Out(), EndsWith(std::wstring(c.before) + c.result + reset));
    EXPECT_THAT(Out(), Not(HasSubstr(L"comparison")));
    EXPECT_THAT(ReadLog(), HasSubstr(c.logged));
    ExpectFailed(c.result, reset);
    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    if (c.tamperedImage) {
        // Refused in its last kilobyte: the image never becomes runnable.
        EXPECT_EQ(Bytes(flash, kLastKib, 0x400), std::vector<uint8_t>(0x400, 0xFF));
    } else {
        EXPECT_EQ(flash, oldFlash_);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecureFailure,
    ::testing::Values(
        FailureCase{"EsmFileMissing", Esm::kRemoved, std::nullopt, false,
                    L"Check ESM status... Not started!\r\n", L"Open ESM file failed!\r\n",
                    "Check ESM status... Not started!\r\n", false},
        FailureCase{"EsmRefused", Esm::kBroken, std::nullopt, false,
                    L"Loading ESM binary... done!\r\n", L"Starting Secure Process... failed!\r\n",
                    "Loading ESM binary... Done\r\n", false},
        FailureCase{"DriverPayloadTampered", Esm::kDemo, sim::DriverFileDamage::PayloadByte,
                    false, L"Loading ISP driver... done!\r\nRunning ISP driver... failed!\r\n",
                    L"Running ISP driver... failed!\r\n", "Loading ISP driver... Done\r\n", false},
        FailureCase{"DriverSignatureTampered", Esm::kDemo, sim::DriverFileDamage::SignatureByte,
                    false, L"Loading ISP driver... done!\r\nRunning ISP driver... failed!\r\n",
                    L"Running ISP driver... failed!\r\n", "Loading ISP driver... Done\r\n", false},
        FailureCase{"ImageTampered", Esm::kDemo, std::nullopt, true,
                    L"Flash writing firmware... failed!\r\n",
                    L"Flash writing firmware... failed\r\n", "Secure verification failed!\r\n", true}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return p.param.name; });

struct SelectorCase {
    const char* name;
    AreaSetup areas;
    bool programCmdb;
    bool debugMode;
    uint16_t selector;
};

class SecureErase : public SecureIsp, public ::testing::WithParamInterface<SelectorCase> {};

// The erase the flash and image call for, and what each area holds afterwards.
TEST_P(SecureErase, ErasesAndWritesAsTheFlashAndImageCall) {
    const SelectorCase& c = GetParam();
    ArrangeAreas(c.areas, oldFlash_, newImage_);
    Prepare(std::string(c.programCmdb ? kCmdbFile : "") + (c.debugMode ? "DebugMode=1\r\n" : ""));
    Click();
    const std::wstring selector = Format(L"%X", static_cast<unsigned>(c.selector));
    EXPECT_THAT(Out(), HasSubstr(L"Erasing flash (" + selector + L")......done!\r\n"
                                 L"Flash writing firmware... done!\r\n"));
    if (c.programCmdb) {
        EXPECT_THAT(Out(), HasSubstr(L"Flash writing firmware... done!\r\n"
                                     L"Flash writing CMDB... done!\r\n"
                                     L"CMDB... Verified successfully!\r\n"
                                     L"Flash FW version comparison successful!  (v1.06)\r\n"));
        EXPECT_THAT(ReadLog(), HasSubstr("Flash writing CMDB... Done\r\n"
                                         "CMDB... Verified successfully!\r\n"));
    } else {
        EXPECT_THAT(Out(), Not(HasSubstr(L"CMDB")));
    }
    ExpectPassed();

    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, 0, kCertificateOffset), Bytes(newImage_, 0, kCertificateOffset));
    EXPECT_EQ(Bytes(flash, kLastKib, 0x400), Bytes(newImage_, kLastKib, 0x400));
    std::vector<uint8_t> certificate = Bytes(oldFlash_, kCertificateOffset, kCertificateSize);
    if (c.debugMode && c.areas.imageCertificate) {
        certificate = Bytes(newImage_, kCertificateOffset, kCertificateSize);
    } else if (c.selector == ERASE_FULL) {
        certificate = std::vector<uint8_t>(kCertificateSize, 0xFF);
    }
    EXPECT_EQ(Bytes(flash, kCertificateOffset, kCertificateSize), certificate);
    std::vector<uint8_t> cmdb = Bytes(newImage_, kCmdbOffset, 0x80);  // erased, then the image's
    if (c.selector == ERASE_KEEP_CERTIFICATE_NO_CMDB) {
        cmdb = kOldCmdb;  // 0xFFA2 keeps the CMDB sector
    } else if (c.programCmdb) {
        cmdb = kFileCmdb;  // the file's, the image's skipped
    }
    EXPECT_EQ(Bytes(flash, kCmdbOffset, 0x80), cmdb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecureErase,
    ::testing::Values(
        SelectorCase{"ImageCmdbKeepsTheCertificate", {true, true, false}, false, false,
                     ERASE_KEEP_CERTIFICATE},
        SelectorCase{"ImageCmdbOnABlankCertificateAreaErasesAll", {false, true, false}, false,
                     false, ERASE_FULL},
        // Without a CMDB to write the flash is not even looked at.
        SelectorCase{"NoCmdbKeepsEvenABlankCertificateArea", {false, false, false}, false, false,
                     ERASE_KEEP_CERTIFICATE_NO_CMDB},
        SelectorCase{"NoCmdbWithDebugModeAndImageCertificate", {false, false, true}, false, true,
                     ERASE_KEEP_CERTIFICATE_NO_CMDB},
        SelectorCase{"CmdbFileWinsOverTheImageCmdb", {true, true, false}, true, false,
                     ERASE_KEEP_CERTIFICATE},
        SelectorCase{"DebugModeWritesTheImageCertificate", {true, true, true}, false, true,
                     ERASE_FULL}),
    [](const ::testing::TestParamInfo<SelectorCase>& p) { return p.param.name; });

struct CertificateCase {
    const char* name;
    std::string simulator;
    const wchar_t* verdict;
    bool stored;  // the flash holds the certificate afterwards
};

class SecureCertificate : public SecureIsp,
                          public ::testing::WithParamInterface<CertificateCase> {};

// The certificate from the key files follows the image; its verification is reported and
// does not decide the outcome, the version does.
TEST_P(SecureCertificate, IsWrittenAfterTheImageAndItsVerdictOnlyReported) {
    const CertificateCase& c = GetParam();
    Put(oldFlash_, kCertificateOffset, kOldCertificate);
    WriteKeys();
    Prepare(kCertificate, c.simulator);
    Relay();
    Click();
    EXPECT_EQ(link_->programCodes, (std::vector<uint8_t>{0x10, 0x76, 0x77, 0x78}));
    EXPECT_THAT(Out(), HasSubstr(kCurrentVersion + L"\r\nGot match serial number!\r\n"));
    EXPECT_THAT(Out(), HasSubstr(L"Erasing flash (FFFF)......done!\r\n"
                                 L"Flash writing firmware... done!\r\n"
                                 L"Flash writing \"Device Certificate\"... done!\r\n" +
                                 std::wstring(c.verdict) +
                                 L"Flash FW version comparison successful!  (v1.06)\r\n"));
    EXPECT_THAT(ReadLog(), HasSubstr("Flash writing \"Device Certificate\"... Done\r\n" +
                                     ToUtf8(c.verdict)));
    ExpectPassed();
    const std::vector<uint8_t> certificate = Logic().Control().certificate;
    ASSERT_EQ(certificate.size(), kCertificateSize);
    const std::vector<uint8_t> flash = EndAndReadChip().flash;
    EXPECT_EQ(Bytes(flash, kCertificateOffset, kCertificateSize) == certificate, c.stored);
    EXPECT_EQ(Bytes(flash, 0, kCertificateOffset), Bytes(newImage_, 0, kCertificateOffset));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecureCertificate,
    ::testing::Values(CertificateCase{"Verified", kSimulator,
                                      L"Device Certificate... Verified successfully!\r\n", true},
                      // The certificate's first byte no longer programs.
                      CertificateCase{"VerifyFails", kSimulator + "StuckFlashAddress=0x60000\r\n",
                                      L"Device Certificate... Verify failed!\r\n", false}),
    [](const ::testing::TestParamInfo<CertificateCase>& p) { return p.param.name; });

struct MismatchCase {
    const char* name;
    sim::FirmwareVersion image;
    uint32_t stuckByte;  // the version byte that no longer programs: it reads back 0xFF
    const wchar_t* lines;
};

class VersionMismatch : public SecureIsp, public ::testing::WithParamInterface<MismatchCase> {};

// The version read back differs from the image's: both versions are shown, the CMDB is
// not written and the failure text is logged twice.
TEST_P(VersionMismatch, FailsBeforeTheCmdb) {
    const MismatchCase& c = GetParam();
    newImage_ = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, c.image);
    Prepare(kCmdbFile, kSimulator + "StuckFlashAddress=" + std::to_string(c.stuckByte) + "\r\n");
    Click();
    const std::wstring out = Out();
    EXPECT_THAT(out, HasSubstr(L"Flash writing firmware... done!\r\n" + std::wstring(c.lines)));
    EXPECT_THAT(out, Not(HasSubstr(L"CMDB")));
    const std::wstring result = out.substr(out.find(L"Secure ISP failed!"));
    ASSERT_THAT(result, EndsWith(kReset));
    ExpectFailed(result.substr(0, result.size() - kReset.size()));
    EXPECT_EQ(Count(ReadLog(), ToUtf8(Dlg().Messages().at(0).text)), 2u);
    EXPECT_EQ(Bytes(EndAndReadChip().flash, kCmdbOffset, 0x80), std::vector<uint8_t>(0x80, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionMismatch,
    ::testing::Values(
        MismatchCase{"BuildByteShowsThreeBytes", {10, 2, 0}, sim::kImageVersionOffset + 2,
                     L"Flash FW version comparison failed!  Version: 10.02.255 (0x02, 0x0A, 0xFF) "
                     L"not match.\r\n"
                     L"FW Version from binary file is 10.02 (0x02, 0x0A)\r\n"
                     L"Secure ISP failed! \r\n(Version read back: 0x02 0x0A not matched)\r\n"},
        MismatchCase{"MinorByteShowsTwoBytes", {1, 16, 0}, sim::kImageVersionOffset,
                     L"Flash FW version comparison failed!  Version: 1.255 (0xFF, 0x01) "
                     L"not match.\r\n"
                     L"FW Version from binary file is 1.16 (0x10, 0x01)\r\n"
                     L"Secure ISP failed! \r\n(Version read back: 0xFF 0x01 not matched)\r\n"}),
    [](const ::testing::TestParamInfo<MismatchCase>& p) { return p.param.name; });

// VerifyAfterWrite=1 in the secure update: the image's CMDB block lies outside what the chip
// checks against the image's signature, so a worn cell there only shows when read back.
TEST_F(SecureIsp, VerifyAfterWriteFindsAWornCellTheChipDoesNotCheck) {
    Put(newImage_, kCmdbOffset, kFileCmdb);
    Prepare("VerifyAfterWrite=1\r\n", kSimulator + "StuckFlashAddress=0x7E004\r\n");
    Click();
    const std::wstring failure =
        Format(L"Verify after write failed at 0x7E004: wrote 0x%02X, read 0xFF!\r\n",
               newImage_[0x7E004]);
    EXPECT_THAT(Out(), HasSubstr(L"Flash writing firmware... done!\r\n"
                                 L"Verifying firmware... failed!\r\n"));
    EXPECT_THAT(Out(), Not(HasSubstr(L"comparison")));
    ExpectFailed(failure);
}

}  // namespace
}  // namespace zorvan::gui::testing
