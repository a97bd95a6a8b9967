// The console's flash commands on a scripted chip, for the cases the virtual chip cannot
// easily show: unusual serial numbers, an unreadable serial area, a failing erase and a
// failing verify. What the console shows and what the log keeps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/ConsoleSession.h"
#include "console/Procedures.h"
#include "core/config/IspConfig.h"
#include "core/config/Log.h"
#include "core/platform/Text.h"
#include "tests/control/ControlFixture.h"
#include "tests/control/MailboxChip.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kBannerEnd = "#############################################################\r\n";

std::vector<uint8_t> CmdbRecord(uint8_t v1, uint8_t v2, uint8_t c1, uint8_t c2) {
    std::vector<uint8_t> record(128, 0);
    record[0] = 'C';
    record[1] = 'M';
    record[2] = 'D';
    record[3] = 'B';
    record[4] = v1;
    record[5] = v2;
    record[6] = c1;
    record[7] = c2;
    uint32_t sum = 0;
    for (size_t i = 0; i < 127; ++i) {
        sum += record[i];
    }
    record[127] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    return record;
}

class FlashCommandsTest : public ControlTest {
protected:
    FlashCommandsTest() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("zorvan-flash-commands-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        logFilePath = (folder_ / "ZorvanQuillon.log").wstring();
        config.ispDriverRunDelay = 800;
    }
    ~FlashCommandsTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string Run(bool (*command)(console::ConsoleSession&)) {
        ::testing::internal::CaptureStdout();
        command(session);
        return ::testing::internal::GetCapturedStdout();
    }
    std::string Log() const {
        std::ifstream in(folder_ / "ZorvanQuillon.log", std::ios::binary | std::ios::ate);
        if (!in) {
            return std::string();
        }
        std::string text(static_cast<size_t>(in.tellg()), '\0');
        in.seekg(0);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        return text;
    }
    std::wstring WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return (folder_ / name).wstring();
    }
    // A chip that acknowledges every vendor command and whose driver answers the mailbox.
    void ChipWithDriver() {
        std::vector<uint8_t> driver = {200, 0, 0, 0};
        driver.resize(204, 0x33);
        control.driverPath = WriteFile("driver.bin", driver);
        link.unscriptedI2cRead = {GFX_OK, kAckReply};
    }

    std::filesystem::path folder_;
    IspConfig config;
    console::ConsoleSession session{control, config, std::wstring()};
};

TEST_F(FlashCommandsTest, ChipInfoShowsTheSerialAsASigned32BitNumber) {
    std::vector<uint8_t> area = {0x31, 0x31, 0x30, 0x30, 0x4D, 0x50, 0x20, 0x24,
                                 0x01, 0x00, 0x80, 0x00, 0x00, 0x01, 0xAB, 0xCD};
    AnswerMemoryReads([&area](uint32_t address, uint32_t size) {
        if (address == 0x2640C) {
            return area;
        }
        const std::vector<uint8_t> record = CmdbRecord(2, 1, 3, 4);
        const auto at = record.begin() + (address - 0x47E000);
        return std::vector<uint8_t>(at, at + size);
    });
    const std::string line =
        "Chip serial #: -2147483647 (31 31 30 30 4d 50 20 24 01 00 80 00 00 01 ab cd )\r\n"
        "CMDB: Ver:2.1  (Custom Ver: 3.4)\r\n";
    EXPECT_EQ(Run(console::ChipInformationCommand), line);
    EXPECT_EQ(Log(), line);
}

TEST_F(FlashCommandsTest, ChipInfoWithAnUnreadableSerialStillShowsTheCmdbState) {
    AnswerMemoryReads([](uint32_t address, uint32_t size) {
        return address == 0x2640C ? std::vector<uint8_t>() : std::vector<uint8_t>(size, 0xFF);
    });
    const std::string screen = Run(console::ChipInformationCommand);
    EXPECT_THAT(screen, StartsWith(kBannerEnd));
    EXPECT_THAT(screen, EndsWith(kBannerEnd + "Get serial number failed!\r\nCMDB: No data!\r\n"));
    EXPECT_EQ(Log(), "Get serial number failed!\r\nCMDB: No data!\r\n");
}

TEST_F(FlashCommandsTest, FullEraseThatFailsLogsItAndShowsAnEmptyMessage) {
    ChipWithDriver();
    link.QueueAuxRead({GFX_AUX_NACK, {}});                        // no mailbox pointer
    link.QueueAuxRead({GFX_OK, {0x05, 0x1C, 0x15, 0x40, 0x00}});  // flash ID
    link.QueueAuxRead({GFX_OK, {0}});                             // status cleared
    // Then the erase never completes and the reset is not answered.
    const std::string screen = Run(console::FullEraseCommand);
    EXPECT_THAT(screen, HasSubstr("SPI Flash ID: 0x1540\r\nErasing flash (0xFFFF)...... "));
    EXPECT_THAT(screen, EndsWith(" [failed!]\r\nSystem Reset ... Not available!\r\n"));
    EXPECT_THAT(screen, Not(HasSubstr(kBannerEnd)));
    EXPECT_EQ(Log(),
              "Loading ISP driver...... Done\r\n"
              "SPI Flash ID: 0x1540\r\n"
              "Erasing flash (0xFFFF)...... Failed\r\n"
              "System Reset ... Not available!\r\n");
}

TEST_F(FlashCommandsTest, FullEraseWithoutResetConfiguredEndsAfterTheErase) {
    ChipWithDriver();
    config.runResetOne = false;
    MailboxChip chip(link);
    const std::string screen = Run(console::FullEraseCommand);
    EXPECT_THAT(screen,
                EndsWith("SPI Flash ID: 0x1540\r\nErasing flash (0xFFFF)......  [done!]\r\n"));
    EXPECT_THAT(Log(), EndsWith("Erasing flash (0xFFFF)...... Done\r\n"));
}

TEST_F(FlashCommandsTest, FullEraseWithoutDriverFileShowsTheLoaderMessagePlainly) {
    control.driverPath = (folder_ / "missing.bin").wstring();
    const std::string screen = Run(console::FullEraseCommand);
    EXPECT_EQ(screen, "Open driver file failed!\r\nSystem Reset ... Not available!\r\n");
}

TEST_F(FlashCommandsTest, WriteCmdbWhoseVerifyFailsShowsTheVerifyMessageUnderTheBanner) {
    ChipWithDriver();
    control.cmdbPath = WriteFile("cmdb.bin", CmdbRecord(2, 1, 3, 4));
    MailboxChip chip(link);  // its flash reads back 0xFF: the block did not stay
    const std::string screen = Run(console::WriteCmdbCommand);
    EXPECT_THAT(screen, HasSubstr("Flash writing CMDB......   0%"));
    EXPECT_THAT(screen,
                HasSubstr(kBannerEnd + "CMDB... Verify failed!\r\nSystem Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), EndsWith("Erasing flash...... Done\r\n"
                                "Flash writing CMDB... Done\r\n"
                                "CMDB... Verify failed!\r\n"
                                "System Reset ... Done!\r\n"));
    ASSERT_EQ(chip.blocks.size(), 1u);
    EXPECT_THAT(chip.blocks[0].header, ::testing::ElementsAre(0, 0x47, 0xE0, 0x00, 0, 0, 0, 128));
}

TEST_F(FlashCommandsTest, WriteCmdbWithoutItsFileShowsTheLoaderMessage) {
    control.cmdbPath = (folder_ / "missing.bin").wstring();
    const std::string screen = Run(console::WriteCmdbCommand);
    EXPECT_THAT(screen, EndsWith(kBannerEnd + "Open Customized Data Block file failed!\r\n"
                                              "System Reset ... Not available!\r\n"));
    EXPECT_TRUE(link.CountOf(LinkOp::kI2cWrite) == 0) << "no ISP entry";
}

TEST_F(FlashCommandsTest, VerifyCmdbOfAnUnreadableFilePutsTheLoaderMessageAfterItsOwn) {
    control.cmdbPath = (folder_ / "missing.bin").wstring();
    const std::string screen = Run(console::VerifyCmdbCommand);
    const std::string message =
        "Loading CMDB file failed!\r\nOpen Customized Data Block file failed!\r\n";
    EXPECT_THAT(screen, EndsWith(kBannerEnd + message));
    EXPECT_EQ(Log(), message);
}

}  // namespace
}  // namespace zorvan::testing
