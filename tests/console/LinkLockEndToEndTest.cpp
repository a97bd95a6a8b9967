// One program per link, as users meet it: a program on a link another one holds stops with
// its message before it sends anything; while a ZorvanISP -Run on the real clock keeps its
// virtual chip busy, one on another virtual PC's chip runs; a killed holder frees the link.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/control/LinkReservation.h"
#include "core/platform/LinkLock.h"
#include "sim/SimulatorSession.h"
#include "sim/chip/FirmwareImage.h"
#include "tests/console/BackgroundProgram.h"
#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kBusy =
    "The link NVIDIA: 0x1000 is in use by another program; try again when it has finished!\r\n";

struct Region {
    size_t offset;
    size_t length;
};
const Region kWritten[] = {{0x0, 0x24000}, {0x24000, 0x3C000}, {0x7E000, 0x80}, {0x7FC00, 0x400}};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The backend operations a trace holds: every byte that went to or came from a chip.
std::string ChipAccesses(const std::string& trace) {
    std::istringstream lines(trace);
    std::string accesses;
    for (std::string line; std::getline(lines, line);) {
        for (const char* operation : {"I2cWrite", "I2cRead", "AuxWrite", "AuxRead"}) {
            if (line.rfind(operation, 0) == 0) {
                accesses += line + "\n";
            }
        }
    }
    return accesses;
}

class LinkLockEndToEnd : public DemoFolderTest {
  protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        // Only the first block of each code region holds data: on the real clock the update
        // still takes seconds (driver download, erase, pacing), not minutes.
        image_ = program_.ReadFile("firmware.bin").value_or("");
        ASSERT_EQ(image_.size(), 0x80000u);
        for (const Region& code : {kWritten[0], kWritten[1]}) {
            image_.replace(code.offset + 504, code.length - 504, code.length - 504, '\xFF');
        }
        // Sealed again, so the chip runs it.
        const uint32_t crc = sim::ImageCrc(std::vector<uint8_t>(image_.begin(), image_.end()));
        for (int i = 0; i < 4; ++i) {
            image_[sim::kImageCrcOffset + i] = static_cast<char>(crc >> (8 * i));
        }
        program_.WriteFile("firmware.bin", image_);
        Configure("ExitStatus=1\r\n");
        program_.MakeFolder("second");
    }

    // Starts the first -Run on the real clock and returns once it talks to its chip, so it
    // holds its link. Config.ini is back on the virtual clock by then, for the programs
    // that follow.
    std::unique_ptr<BackgroundProgram> StartBusyRun() const {
        const std::string ini = program_.ReadFile("Config.ini").value_or("");
        Simulate("Clock=real\r\n");
        const std::filesystem::path trace = program_.Folder() / "first-trace.txt";
        auto first = std::make_unique<BackgroundProgram>(
            program_.ProgramPath(), std::vector<std::string>{"-Run"}, program_.Folder(),
            std::map<std::string, std::string>{{"ZORVAN_TRACE", trace.string()}});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ChipAccesses(ReadText(trace)).empty() && first->Running() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(first->Running()) << "the first run ended before the test could use it";
        program_.WriteConfig(ini);
        return first;
    }

    // A second program from another working folder (its own log), traced.
    RunResult RunSecond(const std::string& option) const {
        RunOptions options;
        options.workingDirectory = "second";
        options.environment["ZORVAN_TRACE"] = (program_.Folder() / "second-trace.txt").string();
        return program_.Run({option}, options);
    }

    std::string image_;
};

// Another program holds the link (here the test itself, since on one virtual chip the
// chip's state file lock would stop a second ZorvanISP even earlier): -Run and -FullErase
// stop with the message on screen and in the log, send nothing, and the flash stays.
TEST_F(LinkLockEndToEnd, ProgramOnABusyLinkStopsBeforeItsFirstPacket) {
    const std::string before = Flash();
    const std::wstring state = (program_.Folder() / "virtual-chip.state").wstring();
    platform::LinkLockAttempt held = platform::TryLockLink(
        LinkLockName(L"NVIDIA: 0x1000", sim::VirtualChipLinkScope(state)));
    ASSERT_EQ(held.outcome, platform::LinkLockOutcome::kHeld);
    for (const auto& [option, header] : {std::pair{"-Run", "[Run ISP]\r\n"},
                                         std::pair{"-FullErase", "[SPI Flash: Full Erase]\r\n"}}) {
        program_.Remove("second-trace.txt");
        const RunResult second = RunSecond(option);
        EXPECT_EQ(second.exitStatus, 1) << option << second.errors;
        EXPECT_THAT(second.output,
                    EndsWith("Graphics adapter: NVIDIA: 0x1000\r\n" + std::string(header) + kBusy))
            << option;
        EXPECT_THAT(program_.ReadLog("second").value_or(""), EndsWith(header + kBusy)) << option;
        EXPECT_EQ(ChipAccesses(program_.ReadFile("second-trace.txt").value_or("")), "") << option;
    }
    EXPECT_EQ(Flash(), before);

    // Let go, the same program runs.
    held.lock.reset();
    const RunResult next = RunSecond("-Run");
    EXPECT_EQ(next.exitStatus, 0) << next.errors;
    EXPECT_THAT(WithoutProgress(next.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
}

// Another virtual PC has the same adapter and display ids but its own chip: its update runs
// while the first one's link is busy.
TEST_F(LinkLockEndToEnd, ProgramOnAnotherLinkRunsMeanwhile) {
    ProgramRunner other("ZorvanISP");
    ASSERT_EQ(tool_.Run({"assets", other.Folder().string()}).exitStatus, 0);
    const std::unique_ptr<BackgroundProgram> first = StartBusyRun();

    const RunResult elsewhere = other.Run({"-Run"});
    EXPECT_EQ(elsewhere.exitStatus, 0) << elsewhere.errors;
    EXPECT_THAT(WithoutProgress(elsewhere.output),
                HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_THAT(elsewhere.output, Not(HasSubstr("in use")));
    EXPECT_TRUE(first->Running()) << "the other link was not tried while the first was busy";

    const RunResult done = first->Wait();
    EXPECT_EQ(done.exitStatus, 0) << done.errors;
    EXPECT_THAT(WithoutProgress(done.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
}

// The lock goes with its holder however it ends: after a killed run the next one runs.
TEST_F(LinkLockEndToEnd, KilledHolderLeavesTheLinkFree) {
    StartBusyRun().reset();  // SIGKILL in the middle of the update
    const RunResult next = RunSecond("-Run");
    EXPECT_EQ(next.exitStatus, 0) << next.errors;
    EXPECT_THAT(next.output, Not(HasSubstr("in use")));
    EXPECT_THAT(WithoutProgress(next.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
}

}  // namespace
}  // namespace zorvan::testing
