// zorvan-sim replaces only what it is asked to: never a device, a FIFO or a folder in the
// place of its output, never the state it reads, never a demo folder in use unless told,
// and it reads only regular files of a sensible size.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::HasSubstr;

class SimToolRefusals : public ::testing::Test {
  protected:
    RunResult Sim(const std::vector<std::string>& args) const { return tool_.Run(args); }
    fs::path At(const std::string& relative) const { return tool_.Folder() / relative; }
    std::string File(const std::string& relative) const {
        return tool_.ReadFile(relative).value_or("<none>");
    }
    // A records file of two 422-byte certificate records.
    void WriteRecords() const { tool_.WriteFile("records.bin", std::string(2 * 422, 'R')); }

    ProgramRunner tool_{"zorvan-sim"};
};

TEST_F(SimToolRefusals, DumpFlashNeverWritesOverTheStateItReads) {
    ASSERT_EQ(Sim({"init", "chip.state"}).exitStatus, 0);
    const std::string state = File("chip.state");
    fs::create_directory(At("sub"));
    fs::create_symlink("chip.state", At("link.state"));
    fs::create_hard_link(At("chip.state"), At("hard.state"));
    for (const std::string out :
         {"chip.state", "./chip.state", "sub/../chip.state", "link.state", "hard.state"}) {
        SCOPED_TRACE(out);
        const RunResult r = Sim({"dump-flash", "chip.state", out});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.errors,
                  "zorvan-sim: \"" + out +
                      "\" is the state file \"chip.state\" itself; nothing was written.\n");
        EXPECT_EQ(File("chip.state"), state);
    }
    EXPECT_EQ(Sim({"info", "link.state"}).exitStatus, 0);
    // Another file, even one that is there already, is written as asked.
    tool_.WriteFile("flash.bin", "old");
    ASSERT_EQ(Sim({"dump-flash", "chip.state", "flash.bin"}).exitStatus, 0);
    EXPECT_EQ(File("flash.bin"), std::string(0x80000, '\xFF'));
}

TEST_F(SimToolRefusals, DepotMakeLeavesAnOutputThatIsNoFileAlone) {
    WriteRecords();
    ASSERT_EQ(::mkfifo(At("keys.fifo").c_str(), 0600), 0);
    fs::create_directory(At("keys.folder"));
    fs::create_symlink("/dev/full", At("full.bin"));
    const struct {
        std::string out;
        std::string what;
    } cases[] = {
        {"full.bin", "a device"},
        {"keys.fifo", "a FIFO"},
        {"keys.folder", "a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        const RunResult r = Sim({"depot", "make", c.out, "--records", "records.bin"});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.errors, "depot make: \"" + c.out + "\" is " + c.what +
                                ", not a regular file; nothing was written\n");
    }
    EXPECT_TRUE(fs::is_symlink(At("full.bin")));
    EXPECT_TRUE(fs::is_fifo(At("keys.fifo")));
    EXPECT_TRUE(fs::is_empty(At("keys.folder")));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    ASSERT_FALSE(HasFailure()) << "the device node itself is tried only when its link is safe";

    const RunResult r = Sim({"depot", "make", "/dev/full", "--records", "records.bin"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.errors,
              "depot make: \"/dev/full\" is a device, not a regular file; nothing was written\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    const std::vector<std::string> devices = [] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator("/dev")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }();
    EXPECT_THAT(devices, ::testing::Not(::testing::Contains(::testing::StartsWith("full.tmp"))));
}

TEST_F(SimToolRefusals, DepotMakeReplacesAFileThroughItsLinkWithATemporaryOfItsOwn) {
    WriteRecords();
    fs::create_directory(At("keys"));
    tool_.WriteFile("keys/SPI_1000_1999.bin", "old");
    ASSERT_EQ(::chmod(At("keys/SPI_1000_1999.bin").c_str(), 0640), 0);
    fs::create_symlink("keys/SPI_1000_1999.bin", At("current.bin"));
    // A file named as a fixed temporary name would be, leading elsewhere: it is not ours.
    tool_.WriteFile("victim", "precious");
    fs::create_symlink("../victim", At("keys/SPI_1000_1999.bin.tmp"));

    const RunResult r = Sim({"depot", "make", "current.bin", "--records", "records.bin"});
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_TRUE(fs::is_symlink(At("current.bin")));
    EXPECT_EQ(File("keys/SPI_1000_1999.bin"), File("records.bin"));
    EXPECT_EQ(fs::status(At("keys/SPI_1000_1999.bin")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(File("victim"), "precious");
    EXPECT_TRUE(fs::is_symlink(At("keys/SPI_1000_1999.bin.tmp")));
}

TEST_F(SimToolRefusals, AssetsKeepAFolderInUseUnlessForced) {
    ASSERT_EQ(Sim({"assets", "demo"}).exitStatus, 0);
    tool_.WriteFile("demo/Config.ini", "[Firmware Update]\r\nDebugMode=1\r\n");
    ASSERT_EQ(Sim({"power-cycle", "demo/virtual-chip.state"}).exitStatus, 0);
    const std::string state = File("demo/virtual-chip.state");

    const RunResult refused = Sim({"assets", "demo"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.errors,
              "zorvan-sim: The folder \"demo\" already holds Config.ini, driver.bin, esm.bin, "
              "firmware.bin, firmware_old.bin, cmdb.bin, keys/SPI_1000_1999.bin, "
              "keys/SPI_2000_2999.bin, virtual-chip.state; nothing was written (--force "
              "replaces them).\n");
    EXPECT_EQ(File("demo/Config.ini"), "[Firmware Update]\r\nDebugMode=1\r\n");
    EXPECT_EQ(File("demo/virtual-chip.state"), state);

    // One file of the set is enough, a link that leads nowhere too.
    fs::create_directories(At("other/keys"));
    fs::create_symlink("nowhere", At("other/keys/SPI_2000_2999.bin"));
    const RunResult one = Sim({"assets", "other"});
    EXPECT_EQ(one.exitStatus, 1);
    EXPECT_THAT(one.errors, HasSubstr("already holds keys/SPI_2000_2999.bin; nothing was"));
    EXPECT_FALSE(fs::exists(At("other/Config.ini")));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"assets", "demo", "--force"},
          std::vector<std::string>{"assets", "--force", "demo"}}) {
        const RunResult forced = Sim(args);
        EXPECT_EQ(forced.exitStatus, 0) << forced.errors;
        EXPECT_THAT(forced.output, HasSubstr("wrote Config.ini\n"));
        EXPECT_THAT(File("demo/Config.ini"), HasSubstr("[Simulator]\r\nEnabled=1\r\n"));
    }
    EXPECT_EQ(Sim({"assets", "demo", "--force", "--force"}).exitStatus, 2);
    EXPECT_EQ(Sim({"assets", "demo", "--forced"}).exitStatus, 2);
}

TEST_F(SimToolRefusals, AssetsForcedStillLeaveWhatIsNoFileAlone) {
    fs::create_directory(At("demo"));
    ASSERT_EQ(::mkfifo(At("demo/Config.ini").c_str(), 0600), 0);
    const RunResult r = Sim({"assets", "demo", "--force"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.errors, "zorvan-sim: \"demo/Config.ini\" is a FIFO, not a regular file.\n");
    EXPECT_TRUE(fs::is_fifo(At("demo/Config.ini")));
}

TEST_F(SimToolRefusals, OnlyRegularFilesOfTheirSizeAreRead) {
    ASSERT_EQ(::mkfifo(At("image.fifo").c_str(), 0600), 0);
    tool_.WriteFile("large.bin", "");
    fs::resize_file(At("large.bin"), 0x80001);
    WriteRecords();
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"init", "x.state", "--firmware", "/dev/zero"},
         "zorvan-sim: cannot read the firmware image: \"/dev/zero\" is a device, not a regular "
         "file.\n"},
        {{"init", "x.state", "--firmware", "image.fifo"},
         "zorvan-sim: cannot read the firmware image: \"image.fifo\" is a FIFO, not a regular "
         "file.\n"},
        {{"init", "x.state", "--firmware", "large.bin"},
         "zorvan-sim: the firmware image \"large.bin\" is larger than the 512 KiB flash.\n"},
        {{"info", "image.fifo"},
         "zorvan-sim: The virtual chip state \"image.fifo\" is not a regular file; it was not "
         "loaded.\n"},
        {{"info", "/dev/zero"},
         "zorvan-sim: The virtual chip state \"/dev/zero\" is not a regular file; it was not "
         "loaded.\n"},
        {{"depot", "make", "x.bin", "--records", "/dev/zero"},
         "cannot read records file: \"/dev/zero\" is a device, not a regular file\n"},
        {{"depot", "make", "x.bin", "--records", "image.fifo"},
         "cannot read records file: \"image.fifo\" is a FIFO, not a regular file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const RunResult r = Sim(c.args);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.errors, c.error);
    }
    EXPECT_FALSE(tool_.Exists("x.state"));
    EXPECT_FALSE(tool_.Exists("x.bin"));
    EXPECT_TRUE(fs::is_fifo(At("image.fifo")));
}

}  // namespace
}  // namespace zorvan::testing
