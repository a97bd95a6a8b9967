// VerifyAfterWrite=1 as a user meets it: ZorvanISP in a demo folder against the virtual chip.
// Every command that writes reads its ranges back; a worn flash cell (StuckFlashAddress,
// which the chip reports as programmed) fails the command with the address and both bytes,
// where the version and record checks alone pass it or only say "failed".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/platform/Text.h"
#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr size_t kCmdbOffset = 0x7E000;
const std::string kBannerEnd = "#############################################################\r\n";

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

class VerifyAfterWrite : public DemoFolderTest {
  protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        image_ = program_.ReadFile("firmware.bin").value_or("");
        cmdb_ = program_.ReadFile("cmdb.bin").value_or("");
        ASSERT_EQ(image_.size(), 0x80000u);
        ASSERT_FALSE(cmdb_.empty());
        Configure("ExitStatus=1\r\n");
    }
    RunResult RunWith(const std::string& option, const std::string& settings,
                      const std::string& stuck = "") const {
        Configure(settings);
        if (!stuck.empty()) {
            Simulate("StuckFlashAddress=" + stuck + "\r\n");
        }
        return program_.Run({option});
    }
    // "wrote 0x.., read 0xFF" for a stuck cell under a byte the file put there.
    static std::string Failure(size_t address, uint8_t wrote) {
        return "Verify after write failed at " + Hex(static_cast<unsigned>(address), 5) +
               ": wrote " + Hex(wrote, 2) + ", read 0xFF!\r\n";
    }

    std::string image_;
    std::string cmdb_;
};

// Each write is followed by its read-back, on screen with progress and in the log.
TEST_F(VerifyAfterWrite, EveryWrittenAreaIsReadBackAfterItsWrite) {
    const RunResult run =
        RunWith("-Run", "VerifyAfterWrite=1\r\nProgramDeviceCertificate=1\r\nProgramCMDB=1\r\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    const std::string screen = WithoutProgress(run.output);
    EXPECT_THAT(screen, HasSubstr("Flash writing FW......   0% [done!]\r\n"
                                  "Verifying FW......   0% [done!]\r\n"
                                  "Flash writing \"Device Certificate\"......   0% [done!]\r\n"
                                  "Verifying Device Certificate......   0% [done!]\r\n"
                                  "Device Certificate... Verified successfully!\r\n"
                                  "Flash writing CMDB......   0% [done!]\r\n"
                                  "Verifying CMDB......   0% [done!]\r\n"
                                  "CMDB... Verified successfully!\r\n"));
    EXPECT_THAT(screen, HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    // The read-back reports its progress up to the end.
    EXPECT_THAT(run.output, ContainsRegex("Verifying FW\\.\\.\\.\\.\\.\\.   0%.*100% \\[done!\\]"));
    EXPECT_THAT(Log(), HasSubstr("Flash writing FW...... Done\r\n"
                                 "Verifying FW...... Done\r\n"));
    EXPECT_THAT(Log(), HasSubstr("Flash writing \"Device Certificate\"...... Done\r\n"
                                 "Verifying Device Certificate...... Done\r\n"));
    EXPECT_THAT(Log(), HasSubstr("Flash writing CMDB... Done\r\n"
                                 "Verifying CMDB...... Done\r\n"));
}

// The reported case: the image's last byte no longer programs. The version field reads back
// right, so without the switch the run passes with a wrong byte in flash (and the chip left
// in its boot ROM); with it the run fails at that byte.
TEST_F(VerifyAfterWrite, WornLastByteFailsTheRunOnlyWhenAsked) {
    const RunResult unverified = RunWith("-Run", "", "0x7FFFF");
    EXPECT_EQ(unverified.exitStatus, 0);
    EXPECT_THAT(WithoutProgress(unverified.output),
                HasSubstr("Flash writing FW......   0% [done!]\r\n"
                          "Flash FW version comparison successful!  Version: 1.06\r\n"));
    EXPECT_THAT(unverified.output, Not(HasSubstr("Verif")));

    const RunResult verified = RunWith("-Run", "VerifyAfterWrite=1\r\n");
    EXPECT_EQ(verified.exitStatus, 1);
    const std::string failure = Failure(0x7FFFF, static_cast<uint8_t>(image_[0x7FFFF]));
    const std::string screen = WithoutProgress(verified.output);
    EXPECT_THAT(screen, HasSubstr("Flash writing FW......   0% [done!]\r\n"
                                  "Verifying FW......   0% [failed!]\r\n"));
    EXPECT_THAT(screen, EndsWith(kBannerEnd + failure + "System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("successful")));
    EXPECT_THAT(Log(), EndsWith("Flash writing FW...... Done\r\n" + failure +
                                "System Reset ... Done!\r\n"));
    EXPECT_EQ(Flash()[0x7FFFF], '\xFF');
}

struct WornCellCase {
    const char* name;
    const char* option;
    const char* settings;
    size_t stuck;
    bool banner;  // the secure run tells its failures without the banner
};

class WornCell : public VerifyAfterWrite, public ::testing::WithParamInterface<WornCellCase> {};

// Wherever the worn cell lies, the command that wrote there names it.
TEST_P(WornCell, FailsTheCommandThatWroteThere) {
    const WornCellCase& c = GetParam();
    const RunResult run = RunWith(c.option, std::string("VerifyAfterWrite=1\r\n") + c.settings,
                                  Hex(static_cast<unsigned>(c.stuck), 5));
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    const std::string screen = WithoutProgress(run.output);
    std::string line = "Verify after write failed at " + Hex(static_cast<unsigned>(c.stuck), 5) +
                       ": wrote 0x[0-9A-F]{2}, read 0xFF!";
    const std::string banner = c.banner ? "(#[^\r]*\r\n)+" : "";
    EXPECT_THAT(screen, ContainsRegex("\\[failed!\\]\r\n" + banner + line));
    EXPECT_THAT(Log(), ContainsRegex(line));
    EXPECT_THAT(screen, Not(ContainsRegex("wrote 0xFF")));
    EXPECT_THAT(screen, Not(HasSubstr("successful!")));
}

const WornCellCase kWornCells[] = {
    {"FirstCodeRegion", "-Run", "", 0x00010, true},
    {"ImageCmdbBlock", "-Run", "", kCmdbOffset + 4, true},
    {"CertificateOfTheRun", "-Run", "ProgramDeviceCertificate=1\r\n", 0x60000 + 20, true},
    {"CmdbFileOfTheRun", "-Run", "ProgramCMDB=1\r\n", kCmdbOffset + 4, true},
    // The chip checks the secure image's code regions against its signature itself; the
    // image's CMDB block lies outside it.
    {"SecureImageCmdbBlock", "-Run", "SecureISP=1\r\n", kCmdbOffset + 4, false},
    {"SecureCertificate", "-Run", "SecureISP=1\r\nProgramDeviceCertificate=1\r\n", 0x60000 + 20,
     false},
    {"WriteDevCert", "-WriteDevCert", "", 0x60000 + 20, true},
    {"WriteCmdb", "-WriteCmdb", "", kCmdbOffset + 4, true},
};

INSTANTIATE_TEST_SUITE_P(Commands, WornCell, ::testing::ValuesIn(kWornCells),
                         [](const ::testing::TestParamInfo<WornCellCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace zorvan::testing
