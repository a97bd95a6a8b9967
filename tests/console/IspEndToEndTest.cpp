// The flash commands as a user runs them: ZorvanISP in a demo folder made by
// `zorvan-sim assets`, against the virtual chip; what the console shows (progress taken
// out), what the log keeps, and what the chip's flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kBannerEnd = "#############################################################\r\n";
constexpr size_t kFlashSize = 0x80000;
constexpr size_t kCmdbOffset = 0x7E000;

class IspEndToEnd : public DemoFolderTest {
protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        demoCmdb_ = program_.ReadFile("cmdb.bin").value_or("");
        ASSERT_FALSE(demoCmdb_.empty());
    }

    RunResult Isp(const std::string& option) const { return Run(option); }
    void RestoreConfig() const { program_.WriteFile("Config.ini", config_); }
    void KeepConfig() { config_ = program_.ReadFile("Config.ini").value_or(""); }

    // Flash as it must be after the CMDB file was written into `before`.
    std::string WithCmdb(std::string before, const std::string& cmdb) const {
        before.replace(kCmdbOffset, cmdb.size(), cmdb);
        return before;
    }

    std::string demoCmdb_;
    std::string config_;
};

TEST_F(IspEndToEnd, ChipInfoShowsAdapterVersionSerialAndCmdbState) {
    const std::string screen = Screen("-ChipInfo");
    EXPECT_THAT(screen, ContainsRegex("Graphics adapter: NVIDIA: 0x[0-9A-F]+\r\n"));
    const std::string body =
        "[Chip Information]\r\n"
        "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
        "Chip serial #: 1500 (31 31 30 30 4d 50 20 24 01 00 00 00 05 dc ";
    EXPECT_THAT(screen, HasSubstr(body));
    EXPECT_THAT(
        screen,
        ContainsRegex(" \\)\r\nCMDB: Ver:[0-9]+\\.[0-9]+  \\(Custom Ver: [0-9]+\\.[0-9]+\\)\r\n$"));
    EXPECT_THAT(Log(), HasSubstr(body));
    EXPECT_THAT(Log(), ContainsRegex("\r\nCMDB: Ver:[0-9.]+  \\(Custom Ver: [0-9.]+\\)\r\n$"));
    EXPECT_THAT(screen, Not(HasSubstr("System Reset")));
}

TEST_F(IspEndToEnd, FullEraseBlanksTheFlashAndTheChipComesUpInItsBootRom) {
    const std::string screen = Screen("-FullErase");
    EXPECT_THAT(screen, EndsWith("[SPI Flash: Full Erase]\r\n"
                                 "Loading ISP driver......   0% [done!]\r\n"
                                 "Get Flash ID ......  [done!]\r\n"
                                 "SPI Flash ID: 0x1540\r\n"
                                 "Erasing flash (0xFFFF)......  [done!]\r\n"
                                 "System Reset ... Done!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("Current on-board")));
    EXPECT_THAT(Log(), EndsWith("[SPI Flash: Full Erase]\r\n"
                                "Loading ISP driver...... Done\r\n"
                                "SPI Flash ID: 0x1540\r\n"
                                "Erasing flash (0xFFFF)...... Done\r\n"
                                "System Reset ... Done!\r\n"));
    const std::string flash = Flash();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(std::count(flash.begin(), flash.end(), '\xFF'), static_cast<ptrdiff_t>(kFlashSize));
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=boot-rom"));
    EXPECT_THAT(Screen("-ChipInfo"), HasSubstr("Current on-board F/W Version: Zorvan IROM"));
}

TEST_F(IspEndToEnd, WriteCmdbWritesTheFileAt7E000AndVerifyAndChipInfoSeeIt) {
    const std::string before = Flash();
    const std::string screen = Screen("-WriteCmdb");
    EXPECT_THAT(screen,
                HasSubstr("[Write CMDB]\r\n"
                          "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                          "Start CMDB writing process...\r\n"
                          "Loading ISP driver......   0% [done!]\r\n"
                          "Get Flash ID ......  [done!]\r\n"
                          "SPI Flash ID: 0x1540\r\n"
                          "Erasing CMDB...... [done!]\r\n"
                          "Flash writing CMDB......   0% [done!]\r\n"
                          "CMDB... Verified successfully!\r\n"
                          "System Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Start CMDB writing process...\r\n"
                                "Loading ISP driver...... Done\r\n"
                                "SPI Flash ID: 0x1540\r\n"
                                "Erasing flash...... Done\r\n"
                                "Flash writing CMDB... Done\r\n"
                                "CMDB... Verified successfully!\r\n"
                                "System Reset ... Done!\r\n"));
    EXPECT_EQ(Flash(), WithCmdb(before, demoCmdb_)) << "nothing but the CMDB block changed";

    EXPECT_THAT(Screen("-VerifyCmdb"),
                EndsWith("[Verify CMDB]\r\n"
                         "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  (cut2.1)\r\n"
                         "CMDB: Ver:2.1  (Custom Ver: 3.4)\r\n"
                         "CMDB... Verified successfully!\r\n"));
    EXPECT_THAT(Log(), EndsWith("CMDB: Ver:2.1  (Custom Ver: 3.4)\r\n"
                                "CMDB... Verified successfully!\r\n"));
    EXPECT_THAT(Screen("-ChipInfo"), EndsWith(" )\r\nCMDB: Ver:2.1  (Custom Ver: 3.4)\r\n"));
    EXPECT_EQ(Flash(), WithCmdb(before, demoCmdb_)) << "verify and chip information only read";
}

TEST_F(IspEndToEnd, VerifyCmdbOfAnotherFileFailsUnderTheBanner) {
    std::string other = demoCmdb_;
    other[8] = static_cast<char>(other[8] ^ 0x01);
    program_.WriteFile("cmdb.bin", other);
    const std::string screen = Screen("-VerifyCmdb");
    EXPECT_THAT(screen, EndsWith(kBannerEnd + "CMDB... Verification failed!\r\n"));
    EXPECT_THAT(Log(), EndsWith("CMDB... Verification failed!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr("System Reset")));
}

TEST_F(IspEndToEnd, WriteCmdbOfALongerFileGoesThroughSeveralBlocks) {
    // 4096 bytes: the demo record followed by a pattern, 9 blocks of at most 504 bytes.
    std::string cmdb = demoCmdb_;
    for (size_t i = cmdb.size(); i < 4096; ++i) {
        cmdb += static_cast<char>(i * 7 + 3);
    }
    program_.WriteFile("cmdb.bin", cmdb);
    const std::string before = Flash();
    EXPECT_THAT(Screen("-WriteCmdb"), HasSubstr("CMDB... Verified successfully!\r\n"));
    EXPECT_EQ(Flash(), WithCmdb(before, cmdb));
}

TEST_F(IspEndToEnd, VerifiedCmdbWithABadChecksumIsShownAsAWarningWithoutTheGreenLine) {
    const std::string warn = "\x1b[0;94;103m";     // attribute 0xE9
    const std::string success = "\x1b[0;94;102m";  // attribute 0xA9
    const std::string normal = "\x1b[0m";
    std::string cmdb = demoCmdb_;
    cmdb[127] = static_cast<char>(cmdb[127] + 1);
    program_.WriteFile("cmdb.bin", cmdb);
    RunOptions colours;
    colours.environment["CLICOLOR_FORCE"] = "1";

    const RunResult written = program_.Run({"-WriteCmdb"}, colours);
    EXPECT_THAT(WithoutProgress(written.output),
                HasSubstr(success + "CMDB... Verified successfully!\r\n" + normal +
                          "System Reset ... Done!\r\n"));

    const RunResult verified = program_.Run({"-VerifyCmdb"}, colours);
    EXPECT_THAT(verified.output, EndsWith(warn + "CMDB: Checksum error!\r\n" + normal));
    EXPECT_THAT(verified.output, Not(HasSubstr("Verified successfully")));
    EXPECT_THAT(Log(), EndsWith("CMDB: Checksum error!\r\nCMDB... Verified successfully!\r\n"));

    const RunResult info = program_.Run({"-ChipInfo"}, colours);
    EXPECT_THAT(info.output, EndsWith(" )\r\n" + warn + "CMDB: Checksum error!\r\n" + normal));
}

// Under injected link faults a command either succeeds with the right flash or fails with
// its message; it never claims a success it did not have.
struct FaultCase {
    const char* name;
    std::string simulator;
};

class FaultyLink : public IspEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultyLink, WriteCmdbSucceedsWithTheRightFlashOrFailsWithItsMessage) {
    Simulate(GetParam().simulator);
    const std::string before = Flash();
    const std::string screen = Screen("-WriteCmdb");
    const std::string after = Flash();
    if (screen.find("CMDB... Verified successfully!\r\n") != std::string::npos) {
        EXPECT_EQ(after, WithCmdb(before, demoCmdb_));
        EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    } else {
        EXPECT_THAT(screen, HasSubstr(kBannerEnd)) << screen;
        // Whatever failed, nothing outside the CMDB block was touched.
        EXPECT_EQ(after.substr(0, kCmdbOffset), before.substr(0, kCmdbOffset));
        EXPECT_EQ(after.substr(kCmdbOffset + 0x1000), before.substr(kCmdbOffset + 0x1000));
    }
}

TEST_P(FaultyLink, FullEraseErasesOrSaysItFailed) {
    Simulate(GetParam().simulator);
    const std::string screen = Screen("-FullErase");
    const std::string flash = Flash();
    if (screen.find("Erasing flash (0xFFFF)......  [done!]\r\n") != std::string::npos) {
        EXPECT_EQ(std::count(flash.begin(), flash.end(), '\xFF'),
                  static_cast<ptrdiff_t>(kFlashSize));
    } else {
        EXPECT_THAT(screen, ContainsRegex("failed!|Failed"));
        EXPECT_THAT(screen, Not(HasSubstr("Erasing flash (0xFFFF)...... Done")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyLink,
    ::testing::Values(
        FaultCase{"AuxDefers", "FaultSeed=7\r\nAuxDeferRate=0.2\r\n"},
        FaultCase{"I2cDefersAndNullReplies",
                  "FaultSeed=11\r\nI2cDeferRate=0.2\r\nNullReplyRate=0.2\r\n"},
        FaultCase{"CorruptReplies", "FaultSeed=3\r\nCorruptReplyRate=0.1\r\n"},
        FaultCase{"Everything",
                  "FaultSeed=5\r\nAuxDeferRate=0.3\r\nI2cDeferRate=0.3\r\nNullReplyRate=0.3\r\n"
                  "CorruptReplyRate=0.2\r\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(IspEndToEnd, PowerLossWhileWritingFailsTheRunAndTheNextRunSucceeds) {
    std::string cmdb = demoCmdb_;
    for (size_t i = cmdb.size(); i < 4096; ++i) {
        cmdb += static_cast<char>(i * 5 + 1);
    }
    program_.WriteFile("cmdb.bin", cmdb);
    KeepConfig();
    const std::string before = Flash();

    Simulate("PowerLossAfterBlocks=3\r\n");
    const std::string failed = Screen("-WriteCmdb");
    EXPECT_THAT(failed, Not(HasSubstr("Verified successfully")));
    EXPECT_THAT(failed, HasSubstr(" [failed!]\r\n"));
    EXPECT_THAT(failed, HasSubstr(kBannerEnd + "Flash writing CMDB failed! (step: 0x504)\r\n"));
    EXPECT_THAT(failed, EndsWith("System Reset ... Not available!\r\n"));
    EXPECT_THAT(Log(), HasSubstr("Flash writing CMDB failed! (step: 0x504)\r\n"));
    EXPECT_NE(Flash(), WithCmdb(before, cmdb));

    RestoreConfig();
    const std::string second = Screen("-WriteCmdb");
    EXPECT_THAT(second, HasSubstr("CMDB... Verified successfully!\r\nSystem Reset ... Done!\r\n"));
    EXPECT_EQ(Flash(), WithCmdb(before, cmdb));
}

}  // namespace
}  // namespace zorvan::testing
