// The firmware update (-Run) as a user runs it: ZorvanISP in a demo folder made by
// `zorvan-sim assets`, against the virtual chip (firmware 1.05, blank certificate area);
// what the console shows, what the log keeps and what the flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kBannerEnd = "#############################################################\r\n";
constexpr size_t kFlashSize = 0x80000;
constexpr size_t kCertificateOffset = 0x60000;
constexpr size_t kCertificateSize = 422;
constexpr size_t kCmdbOffset = 0x7E000;

struct Region {
    size_t offset;
    size_t length;
};
const std::vector<Region> kCodeRegions = {{0x0, 0x24000}, {0x24000, 0x3C000}, {0x7FC00, 0x400}};

// The percentages the progress rewrites show, in order.
std::vector<int> Percentages(const std::string& output) {
    std::vector<int> shown;
    for (size_t at = output.find("\b\b\b\b"); at != std::string::npos;
         at = output.find("\b\b\b\b", at + 4)) {
        if (at + 8 <= output.size() && output[at + 7] == '%') {
            shown.push_back(std::stoi(output.substr(at + 4, 3)));
        }
    }
    return shown;
}

std::string Slice(const std::string& bytes, const Region& r) {
    return bytes.substr(r.offset, r.length);
}

class RunEndToEnd : public DemoFolderTest {
protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        image_ = program_.ReadFile("firmware.bin").value_or("");
        ASSERT_EQ(image_.size(), kFlashSize);
        cmdb_ = program_.ReadFile("cmdb.bin").value_or("");
        ASSERT_FALSE(cmdb_.empty());
    }

    // Puts the chip's own certificate into the flash the way a technician does.
    std::string InstallCertificate() const {
        const std::string screen = Screen("-WriteDevCert");
        EXPECT_THAT(screen, HasSubstr("Device Certificate... Verified successfully!\r\n"));
        const std::string certificate = Flash().substr(kCertificateOffset, kCertificateSize);
        EXPECT_EQ(certificate.substr(0, 4), "Kq11");
        return certificate;
    }

    void WriteImage(const std::string& bytes) const { program_.WriteFile("firmware.bin", bytes); }

    std::string image_;
    std::string cmdb_;
};

TEST_F(RunEndToEnd, UpdatesTheChipTo106WithItsCmdbBlockAndResetsIt) {
    EXPECT_THAT(Screen("-ChipInfo"), HasSubstr("F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)"));
    const std::string screen = Screen();
    EXPECT_THAT(screen,
                EndsWith("[Run ISP]\r\n"
                         "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                         "Start ISP process...\r\n"
                         "Loading ISP driver......   0% [done!]\r\n"
                         "Get Flash ID ......  [done!]\r\n"
                         "SPI Flash ID: 0x1540\r\n"
                         "Erasing flash (FFFF)...... [done!]\r\n"
                         "Flash writing FW......   0% [done!]\r\n"
                         "Flash FW version comparison successful!  Version: 1.06\r\n"
                         "ISP successful! (Version: 1.06)\r\n"
                         "System Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Start ISP process...\r\n"
                                "Loading ISP driver...... Done\r\n"
                                "SPI Flash ID: 0x1540\r\n"
                                "Erasing flash (FFFF)...... Done\r\n"
                                "Flash writing FW...... Done\r\n"
                                "Flash FW version comparison successful!  Version: 1.06\r\n"
                                "ISP successful! (Version: 1.06)\r\n"
                                "System Reset ... Done!\r\n"));
    // A whole erase, then the code regions and the image's CMDB block: nothing else.
    std::string expected(kFlashSize, '\xFF');
    for (const Region& r : {Region{0x0, 0x60000}, Region{kCmdbOffset, 0x80}, Region{0x7FC00, 0x400}}) {
        expected.replace(r.offset, r.length, Slice(image_, r));
    }
    EXPECT_EQ(Flash(), expected);
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=application"));
    EXPECT_THAT(Screen("-ChipInfo"), HasSubstr("F/W Version: Zorvan App: KQ1100 v1.06  (cut2.1)"));
}

TEST_F(RunEndToEnd, SuccessAndFinalLinesComeInTheirColours) {
    RunOptions colours;
    colours.environment["CLICOLOR_FORCE"] = "1";
    const std::string success = "\x1b[0;94;102m";
    const std::string normal = "\x1b[0m";
    const RunResult result = program_.Run({"-Run"}, colours);
    EXPECT_THAT(WithoutProgress(result.output),
                HasSubstr("Flash FW version comparison successful!  Version: 1.06\r\n" + success +
                          "ISP successful! (Version: 1.06)\r\n" + normal +
                          "System Reset ... Done!\r\n"));
}

TEST_F(RunEndToEnd, ProgressOfAFullImageClimbsTo28ThenJumpsAgainstTheLaterTotal) {
    const RunResult result = Run();
    const std::string& out = result.output;
    const size_t start = out.find("Flash writing FW......   0%");
    ASSERT_NE(start, std::string::npos);
    const std::vector<int> shown = Percentages(out.substr(start, out.find("[done!]", start) - start));
    ASSERT_FALSE(shown.empty());
    // 0x24000 of 0x80000 in the first region; the next block is measured against 0x60400.
    const auto firstOver28 = std::find_if(shown.begin(), shown.end(), [](int p) { return p > 28; });
    ASSERT_NE(firstOver28, shown.end());
    ASSERT_NE(firstOver28, shown.begin());
    EXPECT_EQ(*(firstOver28 - 1), 28);
    EXPECT_GE(*firstOver28, 37);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(shown.back(), 100);
}

// Which erase each situation chooses, and what becomes of the certificate and CMDB blocks.
struct EraseCase {
    const char* name;
    bool certificateOnFlash;   // installed with -WriteDevCert before the run
    const char* keys;          // added to [Firmware Update]
    bool imageWithCmdb;        // the image keeps its CMDB block
    bool imageWithSignature;   // the image carries the certificate signature at 0x60000
    bool withFirmware;         // FWFilePath stays
    const char* erase;
    enum { kKept, kBlank, kRewritten } certificate;
    enum { kFromImage, kFromFile, kErased, kUntouched } cmdb;
};

class EraseSelectors : public RunEndToEnd, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(EraseSelectors, EraseCertificateAndCmdbAsTheRunRequires) {
    const EraseCase& c = GetParam();
    const std::string certificate = c.certificateOnFlash ? InstallCertificate() : std::string();
    const std::string before = Flash();
    std::string image = image_;
    if (!c.imageWithCmdb) {
        image.replace(kCmdbOffset, 0x80, std::string(0x80, '\xFF'));
    }
    if (c.imageWithSignature) {
        image.replace(kCertificateOffset, 4, "Kq11");
    }
    WriteImage(image);
    Configure(c.keys);
    if (!c.withFirmware) {
        RemoveKey("FWFilePath");
    }

    const std::string screen = Screen();
    const std::string erased = std::string("Erasing flash (") + c.erase + ")...... Done\r\n";
    EXPECT_THAT(Log(), HasSubstr(erased));
    EXPECT_THAT(screen, EndsWith("System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("FAILED")));
    const std::string flash = Flash();
    ASSERT_EQ(flash.size(), kFlashSize);
    if (c.withFirmware) {
        EXPECT_THAT(screen, HasSubstr("ISP successful! (Version: 1.06)\r\n"));
        for (const Region& r : kCodeRegions) {
            EXPECT_EQ(Slice(flash, r), Slice(image, r)) << std::hex << r.offset;
        }
    } else {
        EXPECT_THAT(screen, Not(HasSubstr("Flash writing FW")));
        EXPECT_THAT(screen, Not(HasSubstr("comparison")));
        EXPECT_THAT(screen, Not(HasSubstr("ISP successful")));
        EXPECT_EQ(flash.substr(0, 0x60000), before.substr(0, 0x60000)) << "firmware untouched";
    }
    const std::string area = flash.substr(kCertificateOffset, kCertificateSize);
    switch (c.certificate) {
        case EraseCase::kKept:
            EXPECT_EQ(area, certificate);
            break;
        case EraseCase::kRewritten:
            EXPECT_EQ(area, certificate);
            EXPECT_THAT(Log(), HasSubstr("Flash writing \"Device Certificate\"...... Done\r\n"
                                         "Device Certificate... Verified successfully!\r\n"));
            break;
        case EraseCase::kBlank:
            EXPECT_EQ(area, std::string(kCertificateSize, '\xFF'));
            break;
    }
    const std::string block = flash.substr(kCmdbOffset, cmdb_.size());
    switch (c.cmdb) {
        case EraseCase::kFromImage:
            EXPECT_EQ(flash.substr(kCmdbOffset, 0x80), image.substr(kCmdbOffset, 0x80));
            EXPECT_THAT(screen, Not(HasSubstr("Flash writing CMDB")));
            break;
        case EraseCase::kFromFile:
            EXPECT_EQ(block, cmdb_);
            EXPECT_THAT(screen, HasSubstr("Flash writing CMDB......   0% [done!]\r\n"
                                          "CMDB... Verified successfully!\r\n"));
            EXPECT_THAT(Log(), HasSubstr("Flash writing CMDB... Done\r\n"
                                         "CMDB... Verified successfully!\r\n"));
            break;
        case EraseCase::kErased:
            EXPECT_EQ(flash.substr(kCmdbOffset, 0x80), std::string(0x80, '\xFF'));
            break;
        case EraseCase::kUntouched:
            EXPECT_EQ(flash.substr(kCmdbOffset, 0x1000), before.substr(kCmdbOffset, 0x1000));
            break;
    }
}

const EraseCase kEraseCases[] = {
    {"BlankCertificateAreaErasesAll", false, "", true, false, true, "FFFF", EraseCase::kBlank,
     EraseCase::kFromImage},
    {"CertificateOnFlashIsKept", true, "", true, false, true, "FFA1", EraseCase::kKept,
     EraseCase::kFromImage},
    {"CertificateToWriteErasesAllAndRewritesIt", true, "ProgramDeviceCertificate=1\r\n", true,
     false, true, "FFFF", EraseCase::kRewritten, EraseCase::kFromImage},
    {"DebugModeWithSignatureInImageErasesAll", true, "DebugMode=1\r\n", true, true, true, "FFFF",
     EraseCase::kBlank, EraseCase::kFromImage},
    {"DebugModeWithoutSignatureInImageKeeps", true, "DebugMode=1\r\n", true, false, true, "FFA1",
     EraseCase::kKept, EraseCase::kFromImage},
    {"NoCmdbAnywhereKeepsCertificateAndCmdbSector", true, "", false, false, true, "FFA2",
     EraseCase::kKept, EraseCase::kUntouched},
    {"CmdbFileReplacesTheImageBlock", false, "ProgramCMDB=1\r\n", true, false, true, "FFFF",
     EraseCase::kBlank, EraseCase::kFromFile},
    {"CertificateOnlyWithoutFirmware", true, "ProgramDeviceCertificate=1\r\n", true, false, false,
     "FFA4", EraseCase::kRewritten, EraseCase::kUntouched},
    {"CmdbOnlyWithoutFirmware", false, "ProgramCMDB=1\r\n", true, false, false, "FFA3",
     EraseCase::kBlank, EraseCase::kFromFile},
};

INSTANTIATE_TEST_SUITE_P(Run, EraseSelectors, ::testing::ValuesIn(kEraseCases),
                         [](const ::testing::TestParamInfo<EraseCase>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(RunEndToEnd, CertificateWrittenWithTheFirmwareIsVerifiedAndLogged) {
    Configure("ProgramDeviceCertificate=1\r\n");
    const std::string screen = Screen();
    EXPECT_THAT(screen, HasSubstr("Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                                  "Got match serial number!\r\n"
                                  "Start ISP process...\r\n"));
    EXPECT_THAT(screen, HasSubstr("Flash writing FW......   0% [done!]\r\n"
                                  "Flash writing \"Device Certificate\"......   0% [done!]\r\n"
                                  "Device Certificate... Verified successfully!\r\n"
                                  "Flash FW version comparison successful!  Version: 1.06\r\n"));
    EXPECT_THAT(Log(), HasSubstr("Flash writing FW...... Done\r\n"
                                 "Flash writing \"Device Certificate\"...... Done\r\n"
                                 "Device Certificate... Verified successfully!\r\n"
                                 "Flash FW version comparison successful!  Version: 1.06\r\n"));
    EXPECT_EQ(Flash().substr(kCertificateOffset, 4), "Kq11");
    EXPECT_THAT(Screen("-VerifyDevCert"), HasSubstr("Verified successfully!"));
}

// A worn flash cell in the image's version field (0x7FFEC minor, major, build): the chip
// reports every block done, the version read back differs, and the run still writes and
// verifies the certificate before it fails with the image's version.
struct MismatchCase {
    const char* name;
    const char* stuckAddress;
    const char* flashVersion;  // as the warning shows what the flash holds
};

class VersionMismatch : public RunEndToEnd, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(VersionMismatch, CertificateIsStillWrittenAndVerifiedThenTheRunFails) {
    const MismatchCase& c = GetParam();
    Simulate(std::string("StuckFlashAddress=") + c.stuckAddress + "\r\n");
    Configure("ProgramDeviceCertificate=1\r\nExitStatus=1\r\n");
    ASSERT_EQ(Flash().substr(kCertificateOffset, 4), "\xFF\xFF\xFF\xFF");

    const RunResult result = program_.Run({"-Run"});
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    const std::string screen = WithoutProgress(result.output);
    const std::string warning = std::string("Flash FW version comparison failed!  Version: ") +
                                c.flashVersion + " not match.\r\n";
    const std::string failure = "FW Version from binary file is 1.06 (0x06, 0x01)\r\n";
    EXPECT_THAT(screen, HasSubstr("Flash writing FW......   0% [done!]\r\n" + warning +
                                  "Flash writing \"Device Certificate\"......   0% [done!]\r\n"
                                  "Device Certificate... Verified successfully!\r\n" +
                                  kBannerEnd));
    EXPECT_THAT(screen, EndsWith(kBannerEnd + failure + "System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("comparison successful")));
    EXPECT_THAT(screen, Not(HasSubstr("ISP successful")));
    EXPECT_THAT(Log(), EndsWith("Flash writing FW...... Done\r\n" + warning +
                                "Flash writing \"Device Certificate\"...... Done\r\n"
                                "Device Certificate... Verified successfully!\r\n" +
                                failure + "System Reset ... Done!\r\n"));

    // The flash holds the image but for the one worn byte, and the chip's certificate.
    const std::string flash = Flash();
    ASSERT_EQ(flash.size(), kFlashSize);
    const size_t stuck = std::stoul(c.stuckAddress, nullptr, 0);
    EXPECT_EQ(flash[stuck], '\xFF');
    std::string expected = image_;
    expected[stuck] = '\xFF';
    for (const Region& r : kCodeRegions) {
        EXPECT_EQ(Slice(flash, r), Slice(expected, r)) << std::hex << r.offset;
    }
    // The record is the chip's own: the one -WriteDevCert puts there. (-VerifyDevCert reads
    // through chip memory, which a chip left in its boot ROM by the broken image cannot.)
    const std::string written = flash.substr(kCertificateOffset, kCertificateSize);
    EXPECT_EQ(written.substr(0, 4), "Kq11");
    EXPECT_EQ(InstallCertificate(), written);
}

const MismatchCase kMismatchCases[] = {
    {"WornMinorByteShowsInTheWarning", "0x7FFEC", "1.255 (0xFF, 0x01)"},
    // Major and minor read back right: only the build byte tells the versions apart.
    {"WornBuildByteAloneIsAMismatch", "524270", "1.06 (0x06, 0x01)"},
};

INSTANTIATE_TEST_SUITE_P(Run, VersionMismatch, ::testing::ValuesIn(kMismatchCases),
                         [](const ::testing::TestParamInfo<MismatchCase>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(RunEndToEnd, CertificateNotFoundFailsBeforeTouchingTheChipAndSkipsTheReset) {
    Configure("ProgramDeviceCertificate=1\r\nRunResetOne=1\r\n");
    program_.Remove("keys");
    program_.MakeFolder("keys");
    program_.WriteFile("keys/SPI_1_2.bin", std::string(422, '\0'));
    const std::string before = Flash();
    const std::string screen = Screen();
    EXPECT_THAT(screen, HasSubstr(kBannerEnd));
    EXPECT_THAT(screen, Not(HasSubstr("Start ISP process")));
    EXPECT_THAT(screen, Not(HasSubstr("System Reset")));
    EXPECT_THAT(Log(), Not(HasSubstr("System Reset")));
    EXPECT_EQ(Flash(), before);
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=application"));
}

TEST_F(RunEndToEnd, UnreadableCmdbFileWarnsAndTheRunGoesOnWithTheImageBlock) {
    Configure("ProgramCMDB=1\r\n");
    program_.WriteFile("cmdb.bin", "not a customized data block");
    const std::string screen = Screen();
    EXPECT_THAT(screen, HasSubstr("Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                                  "Loading CMDB file failed!\r\n"
                                  "Start ISP process...\r\n"));
    EXPECT_THAT(Log(), HasSubstr("Loading CMDB file failed!\r\nStart ISP process...\r\n"));
    EXPECT_THAT(screen, HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("Flash writing CMDB")));
    EXPECT_EQ(Flash().substr(kCmdbOffset, 0x80), image_.substr(kCmdbOffset, 0x80));
}

TEST_F(RunEndToEnd, NothingLeftToWriteFailsWithItsMessage) {
    Configure("ProgramCMDB=1\r\n");
    RemoveKey("FWFilePath");
    program_.WriteFile("cmdb.bin", "XXXX");
    const std::string screen = Screen();
    // The ISP driver never started, so there is no one to carry out the reset.
    EXPECT_THAT(screen, EndsWith(kBannerEnd + "No available data can be written to flash!\r\n"
                                              "System Reset ... Not available!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("Start ISP process")));
    EXPECT_THAT(Log(), EndsWith("Loading CMDB file failed!\r\n"
                                "No available data can be written to flash!\r\n"
                                "System Reset ... Not available!\r\n"));
}

TEST_F(RunEndToEnd, AnImageWithABlankSecondRegionIsWrittenAndVerified) {
    std::string image = image_;
    image.replace(0x24000, 0x3C000, std::string(0x3C000, '\xFF'));
    WriteImage(image);
    EXPECT_THAT(Screen(), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    const std::string flash = Flash();
    for (const Region& r : kCodeRegions) {
        EXPECT_EQ(Slice(flash, r), Slice(image, r)) << std::hex << r.offset;
    }
}

TEST_F(RunEndToEnd, ExitStatusTellsTheOutcomeOnlyWhenAskedFor) {
    Configure("ExitStatus=1\r\n");
    EXPECT_EQ(program_.Run({"-Run"}).exitStatus, 0);
    EXPECT_EQ(program_.Run({"-Bogus"}).exitStatus, 2);
    EXPECT_EQ(program_.Run({}).exitStatus, 2);
    program_.WriteFile("keys/SPI_1000_1999.bin", "");
    Configure("ProgramDeviceCertificate=1\r\n");
    const RunResult failed = program_.Run({"-Run"});
    EXPECT_THAT(failed.output, HasSubstr(kBannerEnd));
    EXPECT_EQ(failed.exitStatus, 1);

    RemoveKey("ExitStatus");
    EXPECT_EQ(program_.Run({"-Run"}).exitStatus, 0);
    EXPECT_EQ(program_.Run({"-Bogus"}).exitStatus, 0);
}

// Under link faults every run either ends in success with the image in flash or says why
// not; the next run picks up whatever the last one left.
TEST_F(RunEndToEnd, UnderLinkFaultsNoRunReportsSuccessWithAWrongFlash) {
    Simulate("AuxDeferRate=0.02\r\nI2cDeferRate=0.02\r\nNullReplyRate=0.05\r\n"
             "CorruptReplyRate=0.02\r\n");
    int successes = 0;
    for (int seed = 1; seed <= 4; ++seed) {
        if (seed > 1) {
            RemoveKey("FaultSeed");
        }
        Simulate("FaultSeed=" + std::to_string(seed) + "\r\n");
        const std::string screen = Screen();
        const bool success = screen.find("ISP successful! (Version: 1.06)") != std::string::npos;
        if (success) {
            ++successes;
            EXPECT_THAT(screen, Not(HasSubstr("FAILED")));
            const std::string flash = Flash();
            for (const Region& r : kCodeRegions) {
                EXPECT_EQ(Slice(flash, r), Slice(image_, r)) << "seed " << seed;
            }
            EXPECT_EQ(flash.substr(kCmdbOffset, 0x80), image_.substr(kCmdbOffset, 0x80));
        } else {
            EXPECT_THAT(screen, HasSubstr(kBannerEnd)) << "seed " << seed;
        }
    }
    EXPECT_GT(successes, 0);
}

TEST_F(RunEndToEnd, AfterAPowerLossWhileProgrammingTheNextRunSucceedsFromTheBootRom) {
    Simulate("PowerLossAfterBlocks=300\r\n");
    const std::string lost = Screen();
    EXPECT_THAT(lost, HasSubstr(kBannerEnd + "Flash writing FW...... Failed!\r\n"));
    EXPECT_THAT(lost, Not(HasSubstr("ISP successful")));
    RemoveKey("PowerLossAfterBlocks");
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=boot-rom"));

    const std::string screen = Screen();
    EXPECT_THAT(screen, HasSubstr("Current on-board F/W Version: Zorvan IROM"));
    EXPECT_THAT(screen, HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    const std::string flash = Flash();
    for (const Region& r : kCodeRegions) {
        EXPECT_EQ(Slice(flash, r), Slice(image_, r));
    }
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=application"));
}

}  // namespace
}  // namespace zorvan::testing
