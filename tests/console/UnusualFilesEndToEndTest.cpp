// ZorvanISP in a demo folder whose files are not what they should be: a Config.ini, a state
// file or an image that is a FIFO, a device or far too large, and a [Simulator] section
// that asks for neither the simulator nor the real drivers. The program says what it found
// at once, never waits or runs out of memory, and leaves the log and the chip alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::HasSubstr;

const std::string kNoConfig = "Please ensure that Config.ini is present and is not corrupted.\r\n";

enum class Odd { kFifo, kLinkToZero, kFolder, kHuge };

class UnusualFiles : public DemoFolderTest {
  protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        state_ = program_.ReadFile("virtual-chip.state").value_or("");
        ASSERT_FALSE(state_.empty());
    }

    // Puts something other than a small regular file at `relative`.
    void Make(const std::string& relative, Odd odd) const {
        const fs::path path = program_.Folder() / relative;
        fs::remove_all(path);
        switch (odd) {
            case Odd::kFifo:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            case Odd::kLinkToZero:
                fs::create_symlink("/dev/zero", path);
                break;
            case Odd::kFolder:
                fs::create_directory(path);
                break;
            case Odd::kHuge:
                program_.WriteFile(relative, "[Firmware Update]\r\n");
                fs::resize_file(path, 64 << 20);
                break;
        }
    }
    std::string Named(const std::string& relative) const {
        return "\"" + (program_.Folder() / relative).string() + "\"";
    }
    // The chip's state file exactly as the demo wrote it: the run changed nothing.
    void ExpectChipUntouched() const {
        EXPECT_EQ(program_.ReadFile("virtual-chip.state").value_or(""), state_);
    }

    std::string state_;
};

TEST_F(UnusualFiles, AConfigIniThatIsNoSettingsFileIsNamedAndNeverRead) {
    const struct {
        Odd odd;
        std::string why;
    } cases[] = {
        {Odd::kFifo, " is a FIFO, not a regular file.\r\n"},
        {Odd::kLinkToZero, " is a device, not a regular file.\r\n"},
        {Odd::kFolder, " is a folder, not a regular file.\r\n"},
        {Odd::kHuge, " is larger than 4 MiB.\r\n"},
    };
    for (const auto& c : cases) {
        Make("Config.ini", c.odd);
        program_.WriteFile("ZorvanQuillon.log", "earlier run\r\n");
        const RunResult r = program_.Run({"-ChipInfo"});
        EXPECT_EQ(r.exitStatus, 0) << r.errors;
        EXPECT_EQ(r.output, kNoConfig + Named("Config.ini") + c.why);
        EXPECT_EQ(Log(), "earlier run\r\n");
        ExpectChipUntouched();
    }
}

TEST_F(UnusualFiles, AStateFileThatIsNoFileStopsTheRunBeforeAnyDriver) {
    Make("chip.fifo", Odd::kFifo);
    Make("chip.folder", Odd::kFolder);
    Make("huge.state", Odd::kHuge);
    Configure("ExitStatus=1\r\n");
    const std::string notAFile = "\" is not a regular file; it was not loaded.\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/zero", notAFile},
        {"chip.fifo", notAFile},
        {"chip.folder", notAFile},
        {"huge.state", "\" is damaged (larger than a chip state can be); it was not loaded.\r\n"},
    };
    for (const auto& [stateFile, why] : cases) {
        SCOPED_TRACE(stateFile);
        Simulate("StateFile=" + stateFile + "\r\n");
        const RunResult r = program_.Run({"-ChipInfo"});
        EXPECT_EQ(r.exitStatus, 1) << r.errors;
        const std::string shown =
            stateFile[0] == '/' ? stateFile : (program_.Folder() / stateFile).string();
        EXPECT_EQ(r.output, "The virtual chip state \"" + shown + why);
        EXPECT_FALSE(program_.Exists("ZorvanQuillon.log"));
        ExpectChipUntouched();
        RemoveKey("StateFile");
    }
    // The FIFO and the folder are still what they were: nothing was saved over them.
    EXPECT_TRUE(fs::is_fifo(program_.Folder() / "chip.fifo"));
    EXPECT_TRUE(fs::is_empty(program_.Folder() / "chip.folder"));
}

TEST_F(UnusualFiles, EnabledOtherThanZeroOrOneNeitherSimulatesNorReachesHardware) {
    for (const std::string value : {"2", "-1", "yes", "1x"}) {
        std::string ini = program_.ReadFile("Config.ini").value_or("");
        const size_t at = ini.find("Enabled=1\r\n");
        ASSERT_NE(at, std::string::npos);
        program_.WriteConfig(ini.replace(at, 11, "Enabled=" + value + "\r\n"));
        const RunResult r = program_.Run({"-ChipInfo"});
        EXPECT_EQ(r.exitStatus, 0) << r.errors;
        EXPECT_EQ(r.output, "[Simulator] Enabled=" + value + ": the value must be 0 or 1.\r\n");
        EXPECT_FALSE(program_.Exists("ZorvanQuillon.log"));
        ExpectChipUntouched();
        ini = program_.ReadFile("Config.ini").value_or("");
        program_.WriteConfig(ini.replace(ini.find("Enabled="), 8 + value.size(), "Enabled=1"));
    }
}

TEST_F(UnusualFiles, AFirmwareImageThatIsAFifoEndsTheRunWithItsName) {
    Make("firmware.fifo", Odd::kFifo);
    Configure("FWFilePath=firmware.fifo\r\n");
    const std::string screen = Screen("-Run");
    const std::string message =
        "Open FW file failed!\r\n" + Named("firmware.fifo") + " is a FIFO, not a regular file.\r\n";
    EXPECT_THAT(screen, HasSubstr(message));
    EXPECT_THAT(Log(), HasSubstr(message));
    EXPECT_EQ(Flash(), program_.ReadFile("firmware_old.bin").value_or("-"));
}

}  // namespace
}  // namespace zorvan::testing
