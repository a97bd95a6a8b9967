// The certificate commands as a user runs them: ZorvanISP in a demo folder made by
// `zorvan-sim assets`, against the virtual chip; what the console shows, what the log
// keeps and what the chip's flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kBannerEnd = "#############################################################\r\n";
const std::string kChipLine = "Chip serial #: 1500 (31 31 30 30 4d 50 20 24 01 00 00 00 05 dc ";
constexpr size_t kFlashSize = 0x80000;
constexpr size_t kCertificateOffset = 0x60000;
constexpr size_t kCertificateSize = 422;

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

class CertificateEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const RunResult made = Tool({"assets", program_.Folder().string()});
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
    }

    RunResult Tool(const std::vector<std::string>& args) const { return tool_.Run(args); }

    RunResult Isp(const std::string& option) const {
        RunResult result = program_.Run({option});
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        return result;
    }

    std::string Log() const { return program_.ReadLog().value_or(""); }
    std::string StatePath() const { return (program_.Folder() / "virtual-chip.state").string(); }

    std::string Flash() const {
        const std::string out = (program_.Folder() / "flash.bin").string();
        EXPECT_EQ(Tool({"dump-flash", StatePath(), out}).exitStatus, 0);
        return program_.ReadFile("flash.bin").value_or("");
    }

    // The record the demo key file holds for the 16 identity bytes (hex).
    std::string RecordFor(const std::string& identityHex) const {
        const RunResult selected =
            Tool({"depot", "select", (program_.Folder() / "keys/SPI_1000_1999.bin").string(),
                  "--identity", identityHex});
        EXPECT_EQ(selected.exitStatus, 0) << selected.errors;
        std::string hex = selected.output;
        while (!hex.empty() && (hex.back() == '\n' || hex.back() == '\r')) {
            hex.pop_back();
        }
        return FromHex(hex);
    }

    // The chip's OTP identity block as the match line in the log shows it.
    std::string IdentityHexFromLog() const {
        const std::string log = Log();
        const size_t at = log.find("Chip serial #: ");
        EXPECT_NE(at, std::string::npos) << log;
        const size_t open = log.find('(', at);
        std::string hex;
        for (size_t i = open + 1; i < log.size() && log[i] != ')'; ++i) {
            if (log[i] != ' ') {
                hex += log[i];
            }
        }
        return hex;
    }

    // A new chip state: the demo's old firmware with `certificate` placed at 0x60000.
    void InitChip(const std::vector<std::string>& options, const std::string& certificate = {}) {
        std::string image = program_.ReadFile("firmware_old.bin").value_or("");
        ASSERT_EQ(image.size(), kFlashSize);
        image.replace(kCertificateOffset, certificate.size(), certificate);
        program_.WriteFile("chip-image.bin", image);
        std::vector<std::string> args = {"init", StatePath(), "--firmware",
                                         (program_.Folder() / "chip-image.bin").string()};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult made = Tool(args);
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
    }

    ProgramRunner program_{"ZorvanISP"};
    ProgramRunner tool_{"zorvan-sim"};
};

TEST_F(CertificateEndToEnd, VerifyOfTheDemoChipFindsNoCertificateInFlash) {
    const std::string before = Flash();
    const RunResult run = Isp("-VerifyDevCert");
    const std::string failure =
        "Device Certificate... Verify failed! (No certificate data in SPI flash)\r\n";
    EXPECT_THAT(run.output,
                HasSubstr("[Verify Device Certificate]\r\nGot match serial number!\r\n"));
    EXPECT_THAT(run.output, EndsWith(kBannerEnd + failure));
    EXPECT_THAT(Log(), HasSubstr("[Verify Device Certificate]\r\n" + kChipLine));
    EXPECT_THAT(Log(), EndsWith(" )\r\nGot match serial number!\r\n" + failure));
    EXPECT_EQ(Flash(), before);
    EXPECT_THAT(run.output, Not(HasSubstr("System Reset")));
}

TEST_F(CertificateEndToEnd, VerifyPassesOnlyForTheChipsOwnRecord) {
    Isp("-VerifyDevCert");
    const std::string record = RecordFor(IdentityHexFromLog());
    ASSERT_EQ(record.size(), kCertificateSize);
    ASSERT_EQ(record.substr(0, 6), "Kq1100");

    InitChip({"--serial", "1500"}, record);
    RunResult run = Isp("-VerifyDevCert");
    EXPECT_THAT(run.output, EndsWith("Got match serial number!\r\n"
                                     "Device Certificate... Verified successfully!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Device Certificate... Verified successfully!\r\n"));

    std::string changed = record;
    changed[kCertificateSize - 1] = static_cast<char>(changed[kCertificateSize - 1] ^ 0x01);
    InitChip({"--serial", "1500"}, changed);
    run = Isp("-VerifyDevCert");
    EXPECT_THAT(run.output, EndsWith(kBannerEnd + "Device Certificate... Verify failed!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Device Certificate... Verify failed!\r\n"));
}

TEST_F(CertificateEndToEnd, ChipsThatCannotBeProvisionedAreToldApart) {
    const std::string keys = (program_.Folder() / "keys").string();
    const struct {
        const char* what;
        std::vector<std::string> init;
        std::string message;
    } cases[] = {
        {"OTP CRC", {"--otp", "bad-crc"}, "OTP Serial-Number CRC failed!\r\n"},
        {"OTP content", {"--otp", "bad-content"}, "OTP content corrupted!\r\n"},
        {"serial without a key file",
         {"--serial", "5000"},
         "Chip Serial#: 5000\r\nKey file not found in \"" + keys + "\"\r\n"},
        {"key file without the chip's record",
         {"--serial", "1700"},
         "Chip Serial#: 1700\r\nKey file: " + keys +
             "/SPI_1000_1999.bin\r\nNo match for serial #: 1700 (31 31 30 30 4d 50 20 24 01 00 "
             "00 00 06 a4 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InitChip(c.init);
        const std::string before = Flash();
        const RunResult run = Isp("-VerifyDevCert");
        EXPECT_THAT(run.output, HasSubstr(kBannerEnd + c.message));
        EXPECT_THAT(run.output, Not(HasSubstr("Got match serial number!")));
        EXPECT_THAT(Log(), HasSubstr("[Verify Device Certificate]\r\n" + c.message));
        EXPECT_EQ(Flash(), before);
    }
}

// The demo chip's record, read from the key file through the library by its identity.
class WriteDevCertEndToEnd : public CertificateEndToEnd {
  protected:
    void SetUp() override {
        CertificateEndToEnd::SetUp();
        Isp("-VerifyDevCert");
        record_ = RecordFor(IdentityHexFromLog());
        ASSERT_EQ(record_.size(), kCertificateSize);
    }
    void DisableReset() const {
        std::string ini = program_.ReadFile("Config.ini").value_or("");
        const std::string section = "[Firmware Update]\r\n";
        ASSERT_NE(ini.find(section), std::string::npos);
        ini.insert(ini.find(section) + section.size(), "RunResetOne=0\r\n");
        program_.WriteFile("Config.ini", ini);
    }
    // The log from this run's command line on.
    std::string LogOf(const std::string& command) const {
        const std::string log = Log();
        const size_t at = log.rfind(command);
        return at == std::string::npos ? log : log.substr(at);
    }

    std::string record_;
};

TEST_F(WriteDevCertEndToEnd, WritesTheChipsRecordIntoTheCertificateBlockAndNothingElse) {
    const std::string before = Flash();
    const RunResult run = Isp("-WriteDevCert");
    EXPECT_THAT(run.output, HasSubstr("Got match serial number!\r\nLoading ISP driver......"));
    EXPECT_THAT(run.output, HasSubstr("\r\nErasing Dev Certificate block......"));
    EXPECT_THAT(run.output, HasSubstr("Flash writing \"Device Certificate\"......   0%"));
    EXPECT_THAT(run.output, EndsWith("100% [done!]\r\n"
                                     "Device Certificate... Verified successfully!\r\n"
                                     "System Reset ... Done!\r\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("FAILED")));
    EXPECT_THAT(LogOf("[Write Device Certificate]"),
                ::testing::MatchesRegex(
                    "\\[Write Device Certificate\\]\r\n"
                    "Current on-board F/W Version: [^\r]*\r\n"
                    "Chip serial #: 1500 \\(31 31 30 30 4d 50 20 24 01 00 00 00 05 dc .. .. \\)\r\n"
                    "Got match serial number!\r\n"
                    "Loading ISP driver\\.\\.\\.\\.\\.\\. Done\r\n"
                    "SPI Flash ID: 0x[0-9A-F]{4}\r\n"
                    "Erasing Dev Certificate block\\.\\.\\.\\.\\.\\. Done\r\n"
                    "Flash writing \"Device Certificate\"\\.\\.\\.\\.\\.\\. Done\r\n"
                    "Device Certificate\\.\\.\\. Verified successfully!\r\n"
                    "System Reset \\.\\.\\. Done!\r\n"));

    std::string expected = before;
    expected.replace(kCertificateOffset, kCertificateSize, record_);
    EXPECT_EQ(Flash(), expected);

    const RunResult verify = Isp("-VerifyDevCert");
    EXPECT_THAT(verify.output, EndsWith("Device Certificate... Verified successfully!\r\n"));
}

TEST_F(WriteDevCertEndToEnd, ReplacesAnotherChipsCertificate) {
    InitChip({"--serial", "1500"}, RecordFor(IdentityHexFromLog()).replace(30, 4, "XXXX"));
    const std::string before = Flash();
    const RunResult run = Isp("-WriteDevCert");
    EXPECT_THAT(run.output, HasSubstr("Device Certificate... Verified successfully!\r\n"));
    std::string expected = before;
    expected.replace(kCertificateOffset, kCertificateSize, record_);
    EXPECT_EQ(Flash(), expected);
}

TEST_F(WriteDevCertEndToEnd, AChipWithoutARecordGetsTheMismatchAndNothingIsWritten) {
    const std::string mismatch =
        "Chip Serial#: 1700\r\nKey file: " + (program_.Folder() / "keys").string() +
        "/SPI_1000_1999.bin\r\nNo match for serial #: 1700 (31 31 30 30 4d 50 20 24 01 00 00 "
        "00 06 a4 ";
    for (const bool reset : {true, false}) {
        SCOPED_TRACE(reset ? "RunResetOne on" : "RunResetOne off");
        InitChip({"--serial", "1700"});
        if (!reset) {
            DisableReset();
        }
        const std::string before = Flash();
        const RunResult run = Isp("-WriteDevCert");
        // Shown as it happens, then again under the banner; logged once.
        const size_t first = run.output.find(mismatch);
        ASSERT_NE(first, std::string::npos) << run.output;
        const size_t second = run.output.find(kBannerEnd + mismatch, first + 1);
        EXPECT_NE(second, std::string::npos) << run.output;
        const std::string log = LogOf("[Write Device Certificate]");
        EXPECT_EQ(log.find(mismatch), log.rfind(mismatch));
        EXPECT_NE(log.find(mismatch), std::string::npos);
        EXPECT_THAT(run.output, Not(HasSubstr("Loading ISP driver")));
        if (reset) {
            // The reset is asked for, but no ISP driver runs to do it.
            EXPECT_THAT(run.output, EndsWith(" )\r\nSystem Reset ... Not available!\r\n"));
            EXPECT_THAT(log, EndsWith(" )\r\nSystem Reset ... Not available!\r\n"));
        } else {
            EXPECT_THAT(run.output, Not(HasSubstr("System Reset")));
            EXPECT_THAT(log, EndsWith(" )\r\n"));
        }
        EXPECT_EQ(Flash(), before);
    }
}

TEST_F(WriteDevCertEndToEnd, UnderLinkFaultsTheRecordIsWrittenAndProvedOrTheRunSaysItFailed) {
    std::string ini = program_.ReadFile("Config.ini").value_or("");
    ini +=
        "AuxDeferRate=0.05\r\nI2cDeferRate=0.05\r\nNullReplyRate=0.05\r\n"
        "CorruptReplyRate=0.02\r\n";
    const std::string base = ini;
    const std::string blank = Flash();
    std::string written = blank;
    written.replace(kCertificateOffset, kCertificateSize, record_);
    for (const int seed : {1, 2, 3, 4, 5, 6}) {
        SCOPED_TRACE(seed);
        InitChip({"--serial", "1500"});
        program_.WriteFile("Config.ini", base + "FaultSeed=" + std::to_string(seed) + "\r\n");
        const RunResult run = Isp("-WriteDevCert");
        const std::string flash = Flash();
        if (run.output.find("Device Certificate... Verified successfully!") != std::string::npos) {
            EXPECT_EQ(flash, written);
            EXPECT_THAT(run.output, Not(HasSubstr(kBannerEnd)));
        } else {
            EXPECT_THAT(run.output, HasSubstr(kBannerEnd)) << run.output;
            // Outside the certificate block nothing has changed.
            EXPECT_EQ(flash.substr(0, kCertificateOffset), blank.substr(0, kCertificateOffset));
            EXPECT_EQ(flash.substr(kCertificateOffset + 0x1000),
                      blank.substr(kCertificateOffset + 0x1000));
        }
    }
}

TEST_F(WriteDevCertEndToEnd, APowerLossDuringTheWriteIsNeverReportedAsSuccess) {
    std::string ini = program_.ReadFile("Config.ini").value_or("");
    program_.WriteFile("Config.ini", ini + "PowerLossAfterBlocks=1\r\n");
    const RunResult lost = Isp("-WriteDevCert");
    // The chip dies after the certificate's one block: its completion never comes and the
    // block cannot be read back.
    const std::string failure = "Flash writing \"Device Certificate\" failed! (step: 0x4)\r\n";
    EXPECT_THAT(lost.output,
                HasSubstr("Flash writing \"Device Certificate\"......   0% [failed!]\r\n#"));
    EXPECT_THAT(lost.output, HasSubstr(kBannerEnd + failure));
    EXPECT_THAT(lost.output, Not(HasSubstr("Verified successfully")));
    EXPECT_THAT(Log(), HasSubstr("Erasing Dev Certificate block...... Done\r\n" + failure));

    program_.WriteFile("Config.ini", ini);
    const RunResult again = Isp("-WriteDevCert");
    EXPECT_THAT(again.output, HasSubstr("Device Certificate... Verified successfully!\r\n"));
    EXPECT_EQ(Flash().substr(kCertificateOffset, kCertificateSize), record_);
}

}  // namespace
}  // namespace zorvan::testing
