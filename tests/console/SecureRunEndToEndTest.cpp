// The secure firmware update (-Run with SecureISP=1) as a user runs it: ZorvanISP in a demo
// folder made by `zorvan-sim assets`, against the virtual chip (firmware 1.05, its security
// firmware stopped, blank certificate area); what the console shows, what the log keeps and
// what the flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "sim/chip/secure/EsmImage.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr size_t kFlashSize = 0x80000;
constexpr size_t kCertificateOffset = 0x60000;
constexpr size_t kCertificateSize = 422;
constexpr size_t kCmdbOffset = 0x7E000;
constexpr size_t kLastKiB = 0x7FC00;

const std::string kBannerEnd = "#############################################################\r\n";
const std::string kNormal = "\x1b[0m";
const std::string kSuccessColour = "\x1b[0;94;102m";

// The run's first lines, with the firmware the chip runs at its start.
std::string Started(const std::string& onBoard = "1.05") {
    return "[Run Secure ISP]\r\nCurrent on-board F/W Version: Zorvan App: KQ1100 v" + onBoard +
           "  (cut2.1)\r\nStart secure ISP process...\r\n";
}
const std::string kFlashWork =
    "Get Flash ID ......  [done!]\r\n"
    "SPI Flash ID: 0x1540\r\n"
    "Erasing flash (FFFF)...... [done!]\r\n"
    "Flash writing FW......   0% [done!]\r\n";
const std::string kLoggedFlashWork =
    "SPI Flash ID: 0x1540\r\n"
    "Erasing flash (FFFF)...... Done\r\n"
    "Flash writing FW...... Done\r\n";
const std::string kSucceeded =
    "Flash FW version comparison successful!  Version: 1.06\r\n"
    "Secure ISP successful! (Version: 1.06)\r\n"
    "System Reset ... Done!\r\n";

std::string Bytes(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Blank(size_t length) {
    return std::string(length, '\xFF');
}

// The percentages the progress rewrites show on the line that starts with `line`, in order.
std::vector<int> PercentagesOf(const std::string& output, const std::string& line) {
    std::vector<int> shown;
    const size_t start = output.find(line);
    if (start == std::string::npos) {
        return shown;
    }
    const size_t end = output.find("\r\n", start);
    for (size_t at = output.find("\b\b\b\b", start); at != std::string::npos && at < end;
         at = output.find("\b\b\b\b", at + 4)) {
        if (at + 8 <= output.size() && output[at + 7] == '%') {
            shown.push_back(std::stoi(output.substr(at + 4, 3)));
        }
    }
    return shown;
}

// Every colour escape the output holds.
std::set<std::string> ColoursUsed(const std::string& output) {
    std::set<std::string> used;
    for (size_t at = output.find('\x1b'); at != std::string::npos;
         at = output.find('\x1b', at + 1)) {
        const size_t end = output.find('m', at);
        used.insert(output.substr(at, end == std::string::npos ? end : end + 1 - at));
    }
    return used;
}

std::string WithoutColours(const std::string& output) {
    std::string out;
    for (size_t at = 0; at < output.size();) {
        const size_t escape = output.find('\x1b', at);
        out += output.substr(at, escape - at);
        if (escape == std::string::npos) {
            break;
        }
        const size_t end = output.find('m', escape);
        at = end == std::string::npos ? output.size() : end + 1;
    }
    return out;
}

class SecureRunEndToEnd : public DemoFolderTest {
  protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        image_ = program_.ReadFile("firmware.bin").value_or("");
        ASSERT_EQ(image_.size(), kFlashSize);
        ASSERT_EQ(image_.substr(kCertificateOffset, 4), "\xFF\xFF\xFF\xFF");
        ASSERT_EQ(image_.substr(kCmdbOffset, 4), "CMDB");
        Configure("SecureISP=1\r\n");
    }

    // What a whole erase followed by the secure write of `image` leaves: the code regions,
    // the image's CMDB block unless a CMDB file replaces it, and the last KiB.
    static std::string WrittenImage(const std::string& image, bool withCmdbBlock = true) {
        std::string flash = Blank(kFlashSize);
        flash.replace(0, kCertificateOffset, image.substr(0, kCertificateOffset));
        if (withCmdbBlock) {
            flash.replace(kCmdbOffset, 0x80, image.substr(kCmdbOffset, 0x80));
        }
        flash.replace(kLastKiB, 0x400, image.substr(kLastKiB));
        return flash;
    }

    // True when the bytes are the demo chip's own record of its key file: the one whose
    // identity is the chip's OTP block.
    bool IsTheChipsRecord(const std::string& bytes) const {
        const std::string identity(
            "\x31\x31\x30\x30\x4d\x50\x20\x24\x01\x00\x00\x00\x05\xdc\x57\xc4", 16);
        const std::string file = program_.ReadFile("keys/SPI_1000_1999.bin").value_or("");
        for (size_t at = 0; at + kCertificateSize <= file.size(); at += kCertificateSize) {
            if (file.compare(at, kCertificateSize, bytes) == 0) {
                return bytes.compare(2, identity.size(), identity) == 0;
            }
        }
        return false;
    }

    RunResult RunWithColours() const {
        RunOptions colours;
        colours.environment["CLICOLOR_FORCE"] = "1";
        return program_.Run({"-Run"}, colours);
    }

    // ESMFilePath names a folder: it passes the file check, and opening it fails.
    void EsmFileUnopenable() const {
        program_.Remove("esm.bin");
        program_.MakeFolder("esm.bin");
    }

    std::string image_;
};

TEST_F(SecureRunEndToEnd, LoadsTheEsmAndUpdatesTheChipTo106ThroughTheSignedDriver) {
    const RunResult result = Run();
    EXPECT_THAT(WithoutProgress(result.output),
                EndsWith(Started() +
                         "Check ESM status... Not started!\r\n"
                         "Loading ESM binary......   0% [done!]\r\n"
                         "StartSecProc success\r\n"
                         "Loading ISP driver......   0% [done!]\r\n" +
                         kFlashWork + kSucceeded));
    EXPECT_THAT(Log(), EndsWith(Started() +
                                "Check ESM status... Not started!\r\n"
                                "Loading ESM binary...... Done\r\n"
                                "StartSecProc success\r\n"
                                "Loading ISP driver...... Done\r\n" +
                                kLoggedFlashWork + kSucceeded));
    for (const char* line :
         {"Loading ESM binary......", "Loading ISP driver......", "Flash writing FW......"}) {
        const std::vector<int> shown = PercentagesOf(result.output, line);
        ASSERT_FALSE(shown.empty()) << line;
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << line;
        EXPECT_EQ(shown.back(), 100) << line;
    }
    EXPECT_EQ(Flash(), WrittenImage(image_));
    const std::string chip = ChipInfo();
    EXPECT_THAT(chip, HasSubstr("mode=application"));
    EXPECT_THAT(chip, HasSubstr("security-firmware=running"));
    EXPECT_THAT(Screen("-ChipInfo"), HasSubstr("F/W Version: Zorvan App: KQ1100 v1.06  (cut2.1)"));
}

// An ESM whose rest after the 256-byte groups is 24 bytes: the rest goes out with the count
// byte of 115 bytes, an empty memory write at the ESM's end follows, and the chip starts it.
TEST_F(SecureRunEndToEnd, AnEsmWithA24ByteRestIsSentInTheRecordedFormAndStarts) {
    constexpr uint32_t kPayloadLength = 46 * 256 + 24;  // 11800: the rest at 0x2E00
    program_.WriteFile("esm.bin",
                       Bytes(sim::BuildEsmFile(sim::BuildEsmPayload(kPayloadLength))));
    RunOptions traced;
    traced.environment["ZORVAN_TRACE"] = (program_.Folder() / "trace.txt").string();
    const RunResult result = program_.Run({"-Run"}, traced);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;

    const std::string started = Started() + "Check ESM status... Not started!\r\n";
    EXPECT_THAT(WithoutProgress(result.output),
                EndsWith(started +
                         "Loading ESM binary......   0% [done!]\r\n"
                         "StartSecProc success\r\n"
                         "Loading ISP driver......   0% [done!]\r\n" +
                         kFlashWork + kSucceeded));
    EXPECT_THAT(Log(), EndsWith(started +
                                "Loading ESM binary...... Done\r\n"
                                "StartSecProc success\r\n"
                                "Loading ISP driver...... Done\r\n" +
                                kLoggedFlashWork + kSucceeded));

    // 24 bytes at 0x322E00 under count byte 0x7A, then 51 89 C2 00 00 07 53 and 0x322E18.
    const std::string trace = program_.ReadFile("trace.txt").value_or("");
    const size_t rest = trace.find("I2cWrite addr=0x6E len=36 data=51 A1 C2 00 00 7A 53 00 32 2E 00 ");
    ASSERT_NE(rest, std::string::npos);
    const size_t empty = trace.find(
        "I2cWrite addr=0x6E len=12 data=51 89 C2 00 00 07 53 00 32 2E 18 24 -> 0\n", rest);
    ASSERT_NE(empty, std::string::npos);
    EXPECT_EQ(trace.find("I2cWrite", rest + 1), empty) << "the empty packet comes next";

    EXPECT_EQ(Flash(), WrittenImage(image_));
    const std::string chip = ChipInfo();
    EXPECT_THAT(chip, HasSubstr("mode=application"));
    EXPECT_THAT(chip, HasSubstr("security-firmware=running"));
}

TEST_F(SecureRunEndToEnd, ARunningEsmIsRestartedWithoutItsFileUntilThePowerCycle) {
    ASSERT_THAT(Screen(), HasSubstr("Secure ISP successful!"));
    EsmFileUnopenable();
    const std::string again =
        Started("1.06") + "Check ESM status... Started!\r\nBootStartSecProc success\r\n";
    const std::string screen = Screen();
    EXPECT_THAT(screen, EndsWith(again + "Loading ISP driver......   0% [done!]\r\n" + kFlashWork +
                                 kSucceeded));
    EXPECT_THAT(Log(), EndsWith(again + "Loading ISP driver...... Done\r\n" + kLoggedFlashWork +
                                kSucceeded));
    EXPECT_THAT(screen, Not(HasSubstr("ESM binary")));
    EXPECT_EQ(Flash(), WrittenImage(image_));

    ASSERT_EQ(tool_.Run({"power-cycle", StatePath()}).exitStatus, 0);
    EXPECT_THAT(ChipInfo(), Not(HasSubstr("security-firmware=running")));
    program_.Remove("esm.bin");
    program_.WriteFile("esm.bin", Bytes(sim::MakeDemoEsmFile()));
    EXPECT_THAT(Screen(), HasSubstr("Check ESM status... Not started!\r\n"
                                    "Loading ESM binary......   0% [done!]\r\n"
                                    "StartSecProc success\r\n"));
    EXPECT_THAT(Log(), EndsWith("Check ESM status... Not started!\r\n"
                                "Loading ESM binary...... Done\r\n"
                                "StartSecProc success\r\n"
                                "Loading ISP driver...... Done\r\n" +
                                kLoggedFlashWork + kSucceeded));
    EXPECT_THAT(ChipInfo(), HasSubstr("security-firmware=running"));
}

// The ESM is not running and its file does not load: the run ends at once with the loader's
// message, in the normal colour and without the banner; the flash stays as it was.
struct EsmFileCase {
    const char* name;
    bool folder;           // ESMFilePath names a folder
    const char* contents;  // otherwise the file's bytes
    size_t length;
    const char* keys;  // added to [Firmware Update]
    const char* message;
    const char* reset;  // the line the reset leaves
};

// Tests are listed by their case name.
void PrintTo(const EsmFileCase& c, std::ostream* os) {
    *os << c.name;
}

class EsmFileThatDoesNotLoad : public SecureRunEndToEnd,
                               public ::testing::WithParamInterface<EsmFileCase> {};

TEST_P(EsmFileThatDoesNotLoad, EndsTheRunWithTheLoadersMessage) {
    const EsmFileCase& c = GetParam();
    if (c.folder) {
        EsmFileUnopenable();
    } else {
        program_.WriteFile("esm.bin", std::string(c.contents, c.length));
    }
    Configure(c.keys);
    const std::string before = Flash();

    const RunResult result = RunWithColours();
    std::string message = c.message;
    if (c.folder) {  // named, so that the user sees what is there
        message += "\"" + (program_.Folder() / "esm.bin").string() +
                   "\" is a folder, not a regular file.\r\n";
    }
    const std::string tail = "Check ESM status... Not started!\r\n" + message + c.reset;
    const std::string screen = WithoutColours(WithoutProgress(result.output));
    EXPECT_THAT(screen, EndsWith(Started() + tail));
    EXPECT_THAT(Log(), EndsWith(Started() + tail));
    EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    EXPECT_EQ(ColoursUsed(result.output), std::set<std::string>{});
    EXPECT_EQ(Flash(), before);
    EXPECT_THAT(ChipInfo(), Not(HasSubstr("security-firmware=running")));
}

const EsmFileCase kEsmFileCases[] = {
    {"FolderCannotBeOpened", true, "", 0, "", "Open ESM file failed!\r\n",
     // No driver runs yet to carry out the reset.
     "System Reset ... Not available!\r\n"},
    {"NoLengthHeaderAndNoReset", false, "\x10\x00", 2, "RunResetOne=0\r\n",
     "Incorrect ESM file: no length header!\r\n", ""},
    {"HeaderAnnouncesMoreThanTheFileHolds", false, "\x00\x10\x00\x00payload", 11, "",
     "Incorrect ESM file: header announces 4096 bytes, file holds 7!\r\n",
     "System Reset ... Not available!\r\n"},
};

INSTANTIATE_TEST_SUITE_P(SecureRun, EsmFileThatDoesNotLoad, ::testing::ValuesIn(kEsmFileCases),
                         [](const ::testing::TestParamInfo<EsmFileCase>& param) {
                             return std::string(param.param.name);
                         });

// The chip refuses to start the downloaded driver: a driver whose payload or signature was
// changed, or an ESM that downloaded but did not start. Nothing reaches the flash.
struct RefusedDriverCase {
    const char* name;
    std::vector<uint8_t> (*driver)();
    std::vector<uint8_t> (*esm)();
    const char* startSecProc;
    bool esmRuns;
};

// Tests are listed by their case name.
void PrintTo(const RefusedDriverCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> PayloadChanged() {
    return sim::MakeDamagedDriverFile(sim::DriverFileDamage::PayloadByte);
}
std::vector<uint8_t> SignatureChanged() {
    return sim::MakeDamagedDriverFile(sim::DriverFileDamage::SignatureByte);
}

class RefusedDriver : public SecureRunEndToEnd,
                      public ::testing::WithParamInterface<RefusedDriverCase> {};

TEST_P(RefusedDriver, IsReportedAndTheFlashIsUntouched) {
    const RefusedDriverCase& c = GetParam();
    program_.WriteFile("driver.bin", Bytes(c.driver()));
    program_.WriteFile("esm.bin", Bytes(c.esm()));
    const std::string before = Flash();

    const std::string screen = Screen();
    EXPECT_THAT(screen,
                EndsWith(std::string("Loading ESM binary......   0% [done!]\r\n") + c.startSecProc +
                         "Loading ISP driver......   0% [done!]\r\n"
                         "Verify ISP driver failed!\r\n"
                         "System Reset ... Not available!\r\n"));
    EXPECT_THAT(Log(), EndsWith(std::string("Loading ESM binary...... Done\r\n") + c.startSecProc +
                                "Loading ISP driver...... Done\r\n"
                                "Verify ISP driver failed!\r\n"
                                "System Reset ... Not available!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("Flash ID")));
    EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    EXPECT_EQ(Flash(), before);
    EXPECT_EQ(ChipInfo().find("security-firmware=running") != std::string::npos, c.esmRuns);
}

const RefusedDriverCase kRefusedDriverCases[] = {
    {"DriverPayloadChanged", PayloadChanged, sim::MakeDemoEsmFile, "StartSecProc success\r\n",
     true},
    {"DriverSignatureChanged", SignatureChanged, sim::MakeDemoEsmFile, "StartSecProc success\r\n",
     true},
    // The failed start is only reported; the chip then refuses the driver.
    {"EsmThatDoesNotStart", sim::MakeDemoDriverFile, sim::MakeBrokenEsmFile,
     "StartSecProc failed!\r\n", false},
};

INSTANTIATE_TEST_SUITE_P(SecureRun, RefusedDriver, ::testing::ValuesIn(kRefusedDriverCases),
                         [](const ::testing::TestParamInfo<RefusedDriverCase>& param) {
                             return std::string(param.param.name);
                         });

// The certificate from the key files goes in after the image, through the secure certificate
// code; a verify that fails is reported and the run still succeeds.
struct CertificateCase {
    const char* name;
    const char* simulate;  // added to [Simulator]
    const char* verdict;
    long stuckByte;  // certificate byte left 0xFF by a worn cell, or -1
};

// Tests are listed by their case name.
void PrintTo(const CertificateCase& c, std::ostream* os) {
    *os << c.name;
}

class SecureCertificate : public SecureRunEndToEnd,
                          public ::testing::WithParamInterface<CertificateCase> {};

TEST_P(SecureCertificate, IsWrittenWithTheSecureCodeAfterTheImage) {
    const CertificateCase& c = GetParam();
    Configure("ProgramDeviceCertificate=1\r\n");
    Simulate(c.simulate);
    const std::string trace = (program_.Folder() / "trace.txt").string();
    RunOptions traced;
    traced.environment["ZORVAN_TRACE"] = trace;
    const std::string screen = WithoutProgress(program_.Run({"-Run"}, traced).output);

    EXPECT_THAT(screen,
                HasSubstr("Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                          "Got match serial number!\r\n"
                          "Start secure ISP process...\r\n"));
    EXPECT_THAT(screen,
                EndsWith(std::string("Flash writing FW......   0% [done!]\r\n"
                                     "Flash writing Device Certificate......   0% [done!]\r\n") +
                         c.verdict + kSucceeded));
    EXPECT_THAT(Log(), EndsWith(std::string("Flash writing FW...... Done\r\n"
                                            "Flash writing Device Certificate...... Done\r\n") +
                                c.verdict + kSucceeded));

    // One program request with code 0x78, for one block of 422 bytes at 0x60000.
    const std::string requests = program_.ReadFile("trace.txt").value_or("");
    const std::string request78 = "AuxWrite addr=0x20001 len=2 data=78 7B -> 0\n";
    const size_t at = requests.find(request78);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(requests.find(request78, at + 1), std::string::npos);
    const std::string header = "AuxWrite addr=0x20000 len=8 data=";
    const size_t next = requests.find(header, at);
    ASSERT_NE(next, std::string::npos);
    EXPECT_EQ(requests.substr(next + header.size(), 23), "00 46 00 00 00 00 01 A6");

    const std::string flash = Flash();
    std::string area = flash.substr(kCertificateOffset, kCertificateSize);
    if (c.stuckByte >= 0) {
        EXPECT_EQ(area[static_cast<size_t>(c.stuckByte)], '\xFF');
        area[static_cast<size_t>(c.stuckByte)] = 'q';
    }
    EXPECT_TRUE(IsTheChipsRecord(area));
    std::string expected = WrittenImage(image_);
    expected.replace(kCertificateOffset, kCertificateSize,
                     flash.substr(kCertificateOffset, kCertificateSize));
    EXPECT_EQ(flash, expected);
}

const CertificateCase kCertificateCases[] = {
    {"Verified", "", "Device Certificate... Verified successfully!\r\n", -1},
    {"WornCellFailsTheVerifyOnly", "StuckFlashAddress=0x60001\r\n",
     "Device Certificate... Verify failed!\r\n", 1},
};

INSTANTIATE_TEST_SUITE_P(SecureRun, SecureCertificate, ::testing::ValuesIn(kCertificateCases),
                         [](const ::testing::TestParamInfo<CertificateCase>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(SecureRunEndToEnd, CertificateNotFoundEndsTheRunBeforeTheChipIsTouchedAndSkipsTheReset) {
    Configure("ProgramDeviceCertificate=1\r\nRunResetOne=1\r\n");
    program_.Remove("keys/SPI_1000_1999.bin");
    const std::string before = Flash();
    const std::string message = "Chip Serial#: 1500\r\nKey file not found in \"" +
                                (program_.Folder() / "keys").string() + "\"\r\n";
    const std::string screen = Screen();
    EXPECT_THAT(
        screen,
        EndsWith("Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n" + message));
    EXPECT_THAT(
        Log(),
        EndsWith("Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n" + message));
    for (const char* absent :
         {"Start secure ISP", "ESM", "comparison", "successful", "System Reset"}) {
        EXPECT_THAT(screen, Not(HasSubstr(absent))) << absent;
    }
    EXPECT_EQ(Flash(), before);
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=application"));
    EXPECT_THAT(ChipInfo(), Not(HasSubstr("security-firmware=running")));
}

TEST_F(SecureRunEndToEnd, ATamperedImageIsRefusedAndTheChipStaysInItsBootRom) {
    program_.WriteFile("firmware.bin",
                       Bytes(sim::MakeTamperedFirmwareImage(sim::ChipFamily::Kq1100, {1, 6, 0})));
    const std::string screen = Screen();
    EXPECT_THAT(screen, EndsWith("Flash writing FW......   0% [failed!]\r\n"
                                 "Flash writing FW...... Failed\r\n"
                                 "System Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Erasing flash (FFFF)...... Done\r\n"
                                "Flash writing FW...... Failed\r\n"
                                "System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("successful")));
    EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    EXPECT_EQ(Flash().substr(kLastKiB), Blank(0x400));
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=boot-rom"));

    // The signed image brings the chip back.
    program_.WriteFile("firmware.bin", image_);
    const std::string again = Screen();
    EXPECT_THAT(again, HasSubstr("Current on-board F/W Version: Zorvan IROM"));
    EXPECT_THAT(again, EndsWith(kSucceeded));
    EXPECT_EQ(Flash(), WrittenImage(image_));
}

// A worn cell in the version field: the CMDB file is still written and verified (in the
// success colour), then the run fails with the image's version, all in the normal colour.
TEST_F(SecureRunEndToEnd, VersionMismatchStillWritesTheCmdbFileThenFails) {
    Configure("ProgramCMDB=1\r\n");
    Simulate("StuckFlashAddress=0x7FFEC\r\n");
    const RunResult result = RunWithColours();
    EXPECT_EQ(ColoursUsed(result.output), (std::set<std::string>{kSuccessColour, kNormal}));
    EXPECT_THAT(result.output,
                HasSubstr(kSuccessColour + "CMDB... Verified successfully!\r\n" + kNormal));

    const std::string warning =
        "Flash FW version comparison failed!  Version: 1.255 (0xFF, 0x01) not match.\r\n";
    const std::string failure = "FW Version from binary file is 1.06 (0x06, 0x01)\r\n";
    const std::string screen = WithoutColours(WithoutProgress(result.output));
    EXPECT_THAT(screen, EndsWith("Flash writing FW......   0% [done!]\r\n" + warning +
                                 "Flash writing CMDB......   0% [done!]\r\n"
                                 "CMDB... Verified successfully!\r\n" +
                                 failure + "System Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Flash writing FW...... Done\r\n" + warning +
                                "Flash writing CMDB... Done\r\n"
                                "CMDB... Verified successfully!\r\n" +
                                failure + "System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    EXPECT_THAT(screen, Not(HasSubstr("successful!  Version")));

    // The CMDB file, not the image's block, and the image but for the worn byte.
    const std::string cmdb = program_.ReadFile("cmdb.bin").value_or("");
    ASSERT_FALSE(cmdb.empty());
    std::string expected = WrittenImage(image_, false);
    expected.replace(kCmdbOffset, cmdb.size(), cmdb);
    expected[0x7FFEC] = '\xFF';
    EXPECT_EQ(Flash(), expected);
}

TEST_F(SecureRunEndToEnd, SuccessLinesComeInTheNormalColour) {
    const RunResult result = RunWithColours();
    EXPECT_EQ(ColoursUsed(result.output), std::set<std::string>{});
    EXPECT_THAT(result.output, EndsWith(kSucceeded));
}

// DebugMode announces itself, and without a certificate from the key files the image's own
// certificate block goes in with the image. A run that programs no certificate leaves the
// area erased.
struct DebugCase {
    const char* name;
    const char* keys;
    const char* startLine;
    enum { kFromImage, kFromKeyFile, kErased } certificate;
};

// Tests are listed by their case name.
void PrintTo(const DebugCase& c, std::ostream* os) {
    *os << c.name;
}

class DebugMode : public SecureRunEndToEnd, public ::testing::WithParamInterface<DebugCase> {};

TEST_P(DebugMode, DecidesWhoseCertificateBlockIsWritten) {
    const DebugCase& c = GetParam();
    std::string image = image_;
    std::string block = "Kq11";
    for (size_t i = block.size(); i < kCertificateSize; ++i) {
        block += static_cast<char>(i * 7 + 3);
    }
    image.replace(kCertificateOffset, kCertificateSize, block);
    program_.WriteFile("firmware.bin", image);
    Configure(c.keys);

    const std::string screen = Screen();
    EXPECT_THAT(screen,
                HasSubstr(std::string(c.startLine) + "Check ESM status... Not started!\r\n"));
    EXPECT_THAT(Log(),
                HasSubstr(std::string(c.startLine) + "Check ESM status... Not started!\r\n"));
    EXPECT_THAT(screen, EndsWith(kSucceeded));
    const std::string flash = Flash();
    const std::string area = flash.substr(kCertificateOffset, kCertificateSize);
    switch (c.certificate) {
        case DebugCase::kFromImage:
            EXPECT_EQ(area, block);
            EXPECT_THAT(screen, Not(HasSubstr("Device Certificate")));
            break;
        case DebugCase::kFromKeyFile:
            EXPECT_TRUE(IsTheChipsRecord(area));
            EXPECT_THAT(screen, HasSubstr("Device Certificate... Verified successfully!\r\n"));
            break;
        case DebugCase::kErased:
            EXPECT_EQ(area, Blank(kCertificateSize));
            break;
    }
    std::string expected = WrittenImage(image);
    expected.replace(kCertificateOffset, kCertificateSize, area);
    EXPECT_EQ(flash, expected);
}

const DebugCase kDebugCases[] = {
    {"ImageBlockWrittenWithTheImage", "DebugMode=1\r\n",
     "Start secure ISP process (debug mode)...\r\n", DebugCase::kFromImage},
    {"KeyFileCertificateTakesItsPlace", "DebugMode=1\r\nProgramDeviceCertificate=1\r\n",
     "Start secure ISP process (debug mode)...\r\n", DebugCase::kFromKeyFile},
    {"WithoutDebugModeTheImageBlockIsLeftOut", "", "Start secure ISP process...\r\n",
     DebugCase::kErased},
};

INSTANTIATE_TEST_SUITE_P(SecureRun, DebugMode, ::testing::ValuesIn(kDebugCases),
                         [](const ::testing::TestParamInfo<DebugCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace zorvan::testing
