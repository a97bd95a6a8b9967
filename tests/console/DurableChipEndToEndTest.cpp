// The virtual chip keeps what it did the moment it did it: ZorvanISP killed at points the
// link trace picks (on the real clock) leaves the chip as far as the trace says, and the
// next run mends it; one program at a time uses a chip; a state that cannot be written
// fails the run; state files that cannot hold a chip stop the program at start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/chip/FirmwareImage.h"
#include "tests/console/DemoFolderTest.h"

namespace zorvan::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uint32_t kFlashSize = 0x80000;
constexpr uint32_t kFlashMapBase = 0x400000;
constexpr size_t kSnapshotSize = 532532;

struct Block {
    uint32_t offset;
    uint32_t length;
};

// What the link trace says the chip did.
struct TracedRun {
    bool erased = false;             // the chip answered the erase
    std::vector<Block> programmed;   // the blocks it answered, in order
    std::optional<Block> sent;       // a block sent whose answer was not read yet
    bool esmStarted = false;         // it acknowledged the start of the security firmware
};

uint32_t HexAt(const std::string& line, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | static_cast<uint32_t>(std::stoul(line.substr(at + 3 * i, 2), nullptr, 16));
    }
    return value;
}

// Reads a growing trace line by line, as the program writes it.
class TraceFollower {
public:
    explicit TraceFollower(fs::path path) : path_(std::move(path)) {}

    const TracedRun& Poll() {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(read_));
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            partial_.append(buffer, static_cast<size_t>(in.gcount()));
            read_ += static_cast<size_t>(in.gcount());
        }
        for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
            Take(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        return run_;
    }

private:
    void Take(const std::string& line) {
        static const std::string kHeader = "AuxWrite addr=0x20000 len=8 data=00 ";
        if (line.rfind("AuxWrite addr=0x20001 len=4 data=19 ", 0) == 0) {
            eraseAsked_ = true;
        } else if (line.rfind(kHeader, 0) == 0) {
            run_.sent = Block{HexAt(line, kHeader.size(), 3) - kFlashMapBase,
                              HexAt(line, kHeader.size() + 9, 4)};
        } else if (line.rfind("AuxRead", 0) == 0 && line.find("data=03 0C F1") != std::string::npos) {
            if (eraseAsked_ && !run_.erased) {
                run_.erased = true;
            } else if (run_.sent) {
                run_.programmed.push_back(*run_.sent);
                run_.sent.reset();
            }
        } else if (line.rfind("I2cWrite", 0) == 0 && line.find(" C2 00 00 07 72 ") != std::string::npos) {
            esmAsked_ = true;
        } else if (esmAsked_ && line.rfind("I2cRead", 0) == 0 && line.find("-> 0 len=") != std::string::npos) {
            run_.esmStarted = true;
            esmAsked_ = false;
        }
    }

    fs::path path_;
    size_t read_ = 0;
    std::string partial_;
    TracedRun run_;
    bool eraseAsked_ = false;
    bool esmAsked_ = false;
};

// The flash the trace describes: `before`, erased when the chip answered the erase, with
// the answered blocks of `image` and, when `withSent`, the block in flight.
std::string TracedFlash(const std::string& before, const std::string& image, const TracedRun& run,
                        bool withSent) {
    std::string flash = run.erased ? std::string(kFlashSize, '\xFF') : before;
    std::vector<Block> blocks = run.programmed;
    if (withSent && run.sent) {
        blocks.push_back(*run.sent);
    }
    for (const Block& b : blocks) {
        flash.replace(b.offset, b.length, image.substr(b.offset, b.length));
    }
    return flash;
}

size_t FirstDifference(const std::string& a, const std::string& b) {
    return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

class DurableChip : public DemoFolderTest {
protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        before_ = Flash();
        ASSERT_EQ(before_.size(), kFlashSize);
    }

    // The demo image with only its first blocks and its last KiB holding code, so that a
    // run on the real clock takes seconds.
    void UseShortImage() {
        const std::string demo = program_.ReadFile("firmware.bin").value_or("");
        ASSERT_EQ(demo.size(), kFlashSize);
        std::vector<uint8_t> image(demo.begin(), demo.end());
        std::fill(image.begin() + 0xC00, image.begin() + sim::kFirmwareEnd, 0xFF);
        sim::StampImageCrc(image);
        image_.assign(image.begin(), image.end());
        program_.WriteFile("firmware.bin", image_);
    }

    RunOptions Traced() const {
        RunOptions options;
        options.environment["ZORVAN_TRACE"] = (program_.Folder() / "trace.txt").string();
        return options;
    }

    // Starts `-Run` and kills it the moment the trace shows `reached`; what the trace then
    // holds, up to the kill.
    TracedRun KillWhen(const std::function<bool(const TracedRun&)>& reached) {
        program_.Remove("trace.txt");
        TraceFollower trace(program_.Folder() / "trace.txt");
        const std::unique_ptr<StartedProgram> run = program_.Start({"-Run"}, Traced());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!reached(trace.Poll()) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        run->Kill();
        const RunResult ended = run->Wait();
        EXPECT_EQ(ended.signal, SIGKILL) << "the run ended before the point: " << ended.output;
        return trace.Poll();
    }

    // The chip's flash is what the trace says: every answered block, and the block in
    // flight either wholly there or not at all.
    void ExpectFlashAsTraced(const TracedRun& run, const std::string& from) const {
        const std::string flash = Flash();
        const std::string without = TracedFlash(from, image_, run, false);
        const std::string with = TracedFlash(from, image_, run, true);
        EXPECT_TRUE(flash == without || flash == with)
            << run.programmed.size() << " blocks answered; first difference at 0x" << std::hex
            << FirstDifference(flash, without);
    }

    // A run that may fail (DemoFolderTest::Run expects success).
    RunResult RunFailing(const std::string& option, const RunOptions& options = {}) const {
        return program_.Run({option}, options);
    }

    std::string before_;
    std::string image_;
};

TEST_F(DurableChip, AKilledUpdateLeavesTheChipAsFarAsItGotAndTheNextRunMendsIt) {
    UseShortImage();
    Simulate("Clock=real\r\n");
    const struct {
        const char* point;
        std::function<bool(const TracedRun&)> reached;
    } points[] = {
        {"after the erase", [](const TracedRun& r) { return r.erased; }},
        {"after three blocks", [](const TracedRun& r) { return r.programmed.size() >= 3; }},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(p.point);
        const TracedRun run = KillWhen(p.reached);
        ASSERT_TRUE(p.reached(run));
        // The lock went with the killed program: the tool reads the chip at once.
        const std::string info = ChipInfo();
        EXPECT_THAT(info, HasSubstr("mode=boot-rom\nfirmware-version=none\n"));
        ExpectFlashAsTraced(run, before_);
    }

    RemoveKey("Clock");  // the demo's virtual clock again
    program_.Remove("trace.txt");
    const RunResult mended = program_.Run({"-Run"}, Traced());
    EXPECT_THAT(WithoutProgress(mended.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=application\nfirmware-version=1.06\n"));
    TraceFollower trace(program_.Folder() / "trace.txt");
    const TracedRun whole = trace.Poll();
    EXPECT_FALSE(whole.sent.has_value());
    EXPECT_EQ(Flash(), TracedFlash(before_, image_, whole, false));
}

TEST_F(DurableChip, AKilledSecureRunLeavesTheSecurityFirmwareRunning) {
    Configure("SecureISP=1\r\n");
    Simulate("Clock=real\r\n");
    const TracedRun run = KillWhen([](const TracedRun& r) { return r.esmStarted; });
    ASSERT_TRUE(run.esmStarted);
    EXPECT_FALSE(run.erased);
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=boot-rom\nfirmware-version=none\nfirmware-build=none\n"
                                      "security-firmware=running\n"));
    EXPECT_EQ(Flash(), before_);

    RemoveKey("Clock");
    const std::string screen = Screen("-Run");
    EXPECT_THAT(screen, HasSubstr("Check ESM status... Started!\r\n"));
    EXPECT_THAT(screen, HasSubstr("Secure ISP successful! (Version: 1.06)\r\n"));
}

TEST_F(DurableChip, ASecondProgramOnTheSameChipStopsAtStart) {
    UseShortImage();
    Configure("ExitStatus=1\r\n");
    Simulate("Clock=real\r\n");
    program_.Remove("trace.txt");
    TraceFollower trace(program_.Folder() / "trace.txt");
    const std::unique_ptr<StartedProgram> first = program_.Start({"-Run"}, Traced());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!trace.Poll().erased && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string message = "The virtual chip state \"" + StatePath() +
                                "\" is in use by another program; it was not loaded.";
    const RunResult second = RunFailing("-FullErase");
    EXPECT_EQ(second.exitStatus, 1);
    EXPECT_THAT(second.output, HasSubstr(message));
    EXPECT_THAT(second.output, Not(HasSubstr("Graphics adapter")));
    const RunResult tool = tool_.Run({"info", StatePath()});
    EXPECT_EQ(tool.exitStatus, 1);
    EXPECT_THAT(tool.errors, HasSubstr(message));

    const RunResult done = first->Wait();
    EXPECT_EQ(done.exitStatus, 0) << done.errors;
    EXPECT_THAT(WithoutProgress(done.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_THAT(ChipInfo(), HasSubstr("firmware-version=1.06\n"));  // the erase never came
}

// A disk that fills up during the update: the procedure still says it succeeded, the line
// after it says why that does not hold, and the chip is as far as its file got.
TEST_F(DurableChip, AStateThatCannotBeSavedFailsTheRunAfterItsOwnWords) {
    image_ = program_.ReadFile("firmware.bin").value_or("");
    Configure("ExitStatus=1\r\n");
    RunOptions options = Traced();
    options.fileSizeLimit = kSnapshotSize + 4000;  // the erase and a few blocks
    program_.Remove("trace.txt");
    const RunResult r = RunFailing("-Run", options);
    const std::string line = "Virtual chip: saving its state to \"" + StatePath() +
                             "\" failed (File too large); the chip keeps only what it did "
                             "before that, so this result does not hold.\r\n";
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_THAT(WithoutProgress(r.output), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_EQ(r.errors, line);
    const std::string log = Log();
    EXPECT_THAT(log, ::testing::EndsWith("ISP successful! (Version: 1.06)\r\n"
                                         "System Reset ... Done!\r\n" +
                                         line));

    // The file holds the erase and the blocks before the first that did not fit.
    TraceFollower trace(program_.Folder() / "trace.txt");
    TracedRun run = trace.Poll();
    ASSERT_TRUE(run.erased);
    const std::string flash = Flash();
    bool prefix = false;
    for (size_t kept = 0; kept < run.programmed.size() && !prefix; ++kept) {
        TracedRun partial = run;
        partial.programmed.resize(kept);
        partial.sent.reset();
        prefix = flash == TracedFlash(before_, image_, partial, false);
    }
    EXPECT_TRUE(prefix);
    EXPECT_THAT(ChipInfo(), HasSubstr("mode=boot-rom\n"));
}

TEST_F(DurableChip, StateFilesThatCannotHoldTheChipStopTheProgramAtStart) {
    Configure("ExitStatus=1\r\n");
    program_.MakeFolder("locked");
    program_.WriteFile("locked/readonly.state", program_.ReadFile("virtual-chip.state").value_or(""));
    fs::permissions(program_.Folder() / "locked/readonly.state", fs::perms::owner_read);
    fs::permissions(program_.Folder() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string folder = program_.Folder().string();
    const struct {
        const char* stateFile;
        std::string message;
    } cases[] = {
        {"/dev/zero", "The virtual chip state \"/dev/zero\" is not a regular file; it was not loaded."},
        {"nowhere/chip.state", "Cannot create the virtual chip state \"" + folder +
                                   "/nowhere/chip.state\" (No such file or directory)."},
        {"locked/new.state", "Cannot create the virtual chip state \"" + folder +
                                 "/locked/new.state\" (Permission denied)."},
        {"locked/readonly.state", "Cannot write the virtual chip state \"" + folder +
                                      "/locked/readonly.state\" (Permission denied)."},
    };
    RunOptions asUser;
    asUser.obeyFilePermissions = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stateFile);
        Simulate(std::string("StateFile=") + c.stateFile + "\r\n");
        const RunResult r = RunFailing("-Run", asUser);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_THAT(r.output, HasSubstr(c.message));
        EXPECT_THAT(r.output, Not(HasSubstr("Graphics adapter")));
        RemoveKey("StateFile");
    }
    EXPECT_FALSE(program_.Exists("locked/new.state"));
    fs::permissions(program_.Folder() / "locked", fs::perms::owner_all);
}

// The file is written in place, so a state in a folder the program may not write to is
// kept all the same; only a new file needs the folder.
TEST_F(DurableChip, AStateInAReadOnlyFolderIsWrittenInPlace) {
    program_.MakeFolder("locked");
    program_.WriteFile("locked/chip.state", program_.ReadFile("virtual-chip.state").value_or(""));
    fs::permissions(program_.Folder() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    Configure("ExitStatus=1\r\n");
    Simulate("StateFile=locked/chip.state\r\n");
    RunOptions asUser;
    asUser.obeyFilePermissions = true;
    const RunResult r = program_.Run({"-Run"}, asUser);
    EXPECT_EQ(r.exitStatus, 0) << r.output << r.errors;
    EXPECT_EQ(r.errors, "");
    const RunResult info = tool_.Run({"info", (program_.Folder() / "locked/chip.state").string()});
    EXPECT_THAT(info.output, HasSubstr("mode=application\nfirmware-version=1.06\n"));
    fs::permissions(program_.Folder() / "locked", fs::perms::owner_all);
}

TEST_F(DurableChip, ALinkedStateStaysALinkAndItsTargetTakesTheRun) {
    program_.MakeFolder("chips");
    fs::rename(StatePath(), program_.Folder() / "chips/kq1100.state");
    fs::create_symlink("chips/kq1100.state", StatePath());
    Run("-Run");
    EXPECT_TRUE(fs::is_symlink(StatePath()));
    const RunResult info = tool_.Run({"info", (program_.Folder() / "chips/kq1100.state").string()});
    EXPECT_THAT(info.output, HasSubstr("firmware-version=1.06\n"));
}

}  // namespace
}  // namespace zorvan::testing
