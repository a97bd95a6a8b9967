// The state file of a chip in use: each change is in the file the moment it is made, one
// program at a time holds it, the records fold in place, and a change that cannot be
// written stops the writing and is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/platform/Text.h"
#include "sim/chip/ChipState.h"
#include "sim/state/StateFile.h"
#include "sim/state/StateStore.h"

namespace zorvan::sim {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr uint32_t kBlock = 504;

class StateStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("zorvan-store-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::wstring At(const std::string& name) const { return FromUtf8((folder_ / name).string()); }
    static ChipState Fresh() { return NewChipState(ChipFamily::Kq1100, 1500); }

    std::unique_ptr<StateStore> OpenForRun(const std::string& name, ChipState& state) {
        std::wstring error;
        std::unique_ptr<StateStore> store = StateStore::OpenForRun(At(name), Fresh(), state, error);
        EXPECT_NE(store, nullptr) << ToUtf8(error);
        return store;
    }
    // The file as another program would read it now.
    ChipState OnDisk(const std::string& name) const {
        std::wstring error;
        std::optional<ChipState> state = LoadState(At(name), error);
        EXPECT_TRUE(state.has_value()) << ToUtf8(error);
        return state.value_or(ChipState{});
    }
    // Programs block `index` with a pattern of its own and tells the store.
    static void Program(StateStore& store, ChipState& state, uint32_t index, uint8_t seed = 0) {
        for (uint32_t i = 0; i < kBlock; ++i) {
            state.flash[index * kBlock + i] = static_cast<uint8_t>(i ^ index ^ seed);
        }
        store.FlashChanged(state, index * kBlock, kBlock);
    }

    fs::path folder_;
};

TEST_F(StateStoreTest, EachChangeIsInTheFileTheMomentItIsMade) {
    ChipState state;
    std::unique_ptr<StateStore> store = OpenForRun("chip.state", state);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(OnDisk("chip.state").flash, Fresh().flash);  // a missing file: a new chip

    Program(*store, state, 0);
    EXPECT_EQ(OnDisk("chip.state").flash, state.flash);
    std::fill(state.flash.begin(), state.flash.begin() + 0x1000, 0xFF);
    store->FlashChanged(state, 0, 0x1000);
    state.securityFirmwareRunning = true;
    store->ChipChanged(state);
    const ChipState seen = OnDisk("chip.state");
    EXPECT_EQ(seen.flash, state.flash);
    EXPECT_TRUE(seen.securityFirmwareRunning);

    // Ended without a save, as a killed program ends: the next opening finds it all and
    // folds it into one snapshot.
    store.reset();
    ChipState next;
    ASSERT_NE(OpenForRun("chip.state", next), nullptr);
    EXPECT_EQ(next.flash, state.flash);
    EXPECT_TRUE(next.securityFirmwareRunning);
    EXPECT_EQ(fs::file_size(folder_ / "chip.state"), kStateSnapshotSize);
}

TEST_F(StateStoreTest, OneProgramAtATimeHoldsAChip) {
    ChipState state;
    std::unique_ptr<StateStore> holder = OpenForRun("chip.state", state);
    ASSERT_NE(holder, nullptr);
    fs::create_symlink(folder_ / "chip.state", folder_ / "link.state");
    for (const std::string name : {"chip.state", "link.state"}) {
        std::wstring error;
        ChipState other;
        EXPECT_EQ(StateStore::OpenForRun(At(name), Fresh(), other, error), nullptr) << name;
        EXPECT_THAT(ToUtf8(error), HasSubstr("\"" + (folder_ / name).string() +
                                             "\" is in use by another program"));
        EXPECT_EQ(StateStore::OpenToInspect(At(name), other, error), nullptr) << name;
        EXPECT_EQ(StateStore::OpenToReplace(At(name), error), nullptr) << name;
    }
    holder.reset();
    std::wstring error;
    EXPECT_NE(StateStore::OpenToInspect(At("link.state"), state, error), nullptr) << ToUtf8(error);
}

TEST_F(StateStoreTest, TheLockDiesWithItsProcess) {
    ChipState state;
    ASSERT_NE(OpenForRun("chip.state", state), nullptr);  // made and let go
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ChipState held;
        std::wstring error;
        std::unique_ptr<StateStore> store = StateStore::OpenForRun(At("chip.state"), Fresh(), held, error);
        const char byte = store != nullptr ? '1' : '0';
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, '1');
    std::wstring error;
    EXPECT_EQ(StateStore::OpenToInspect(At("chip.state"), state, error), nullptr);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_NE(StateStore::OpenToInspect(At("chip.state"), state, error), nullptr) << ToUtf8(error);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(StateStoreTest, RecordsAreFoldedLongBeforeTheFileReachesItsLimit) {
    ChipState state;
    std::unique_ptr<StateStore> store = OpenForRun("chip.state", state);
    ASSERT_NE(store, nullptr);
    uintmax_t largest = 0;
    // Twelve times over the whole flash, as a dialog kept open for a dozen updates would.
    for (uint32_t pass = 0; pass < 12; ++pass) {
        for (uint32_t block = 0; block < kFlashSize / kBlock; ++block) {
            Program(*store, state, block, static_cast<uint8_t>(pass));
        }
        largest = std::max(largest, fs::file_size(folder_ / "chip.state"));
    }
    EXPECT_LE(largest, kStateFileSizeLimit);
    EXPECT_EQ(OnDisk("chip.state").flash, state.flash);
    std::wstring error;
    EXPECT_TRUE(store->Finish(state, error)) << ToUtf8(error);
    EXPECT_EQ(fs::file_size(folder_ / "chip.state"), kStateSnapshotSize);
    EXPECT_EQ(OnDisk("chip.state").flash, state.flash);
}

// A disk that fills up while the chip is programmed: the blocks that fit are kept, none
// after the first that did not, and the store says so.
TEST_F(StateStoreTest, AChangeThatCannotBeWrittenEndsTheWritingAndIsReported) {
    ChipState state;
    ASSERT_NE(OpenForRun("chip.state", state), nullptr);
    constexpr uint32_t kRecord = 12 + 4 + kBlock;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kStateSnapshotSize + 3 * kRecord + 100, kStateSnapshotSize + 3 * kRecord + 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ChipState run;
        std::wstring error;
        std::unique_ptr<StateStore> store = StateStore::OpenForRun(At("chip.state"), Fresh(), run, error);
        if (store == nullptr) {
            ::_exit(10);
        }
        for (uint32_t block = 0; block < 8; ++block) {
            Program(*store, run, block);
        }
        const bool kept = store->Finish(run, error);
        const std::string message = ToUtf8(error);
        const bool told = message.find((folder_ / "chip.state").string()) != std::string::npos &&
                          message.find("File too large") != std::string::npos &&
                          message.find("this result does not hold") != std::string::npos;
        ::_exit(kept ? 11 : told ? 0 : 12);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: not opened, 11: reported kept, 12: other message";
    ChipState expected = Fresh();
    for (uint32_t block = 0; block < 3; ++block) {
        for (uint32_t i = 0; i < kBlock; ++i) {
            expected.flash[block * kBlock + i] = static_cast<uint8_t>(i ^ block);
        }
    }
    EXPECT_TRUE(OnDisk("chip.state").flash == expected.flash);
}

TEST_F(StateStoreTest, AFileRemovedWhileTheChipRunsIsReported) {
    ChipState state;
    std::unique_ptr<StateStore> store = OpenForRun("chip.state", state);
    ASSERT_NE(store, nullptr);
    fs::remove(folder_ / "chip.state");
    Program(*store, state, 0);
    std::wstring error;
    EXPECT_FALSE(store->Finish(state, error));
    EXPECT_THAT(ToUtf8(error), HasSubstr("was removed or replaced while the chip ran"));
}

TEST_F(StateStoreTest, ALinkedStateStaysALinkAndItsTargetTakesTheChanges) {
    fs::create_directories(folder_ / "chips");
    fs::create_symlink("chips/real.state", folder_ / "chip.state");  // dangling at first
    ChipState state;
    std::unique_ptr<StateStore> store = OpenForRun("chip.state", state);
    ASSERT_NE(store, nullptr);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder_ / "chips" / "real.state")));
    Program(*store, state, 2);
    std::wstring error;
    ASSERT_TRUE(store->Finish(state, error)) << ToUtf8(error);
    store.reset();
    EXPECT_TRUE(fs::is_symlink(folder_ / "chip.state"));
    EXPECT_EQ(OnDisk("chips/real.state").flash, state.flash);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "chips"), fs::directory_iterator()), 1);
}

TEST_F(StateStoreTest, RefusesWhatCannotHoldAChipWithoutReadingIt) {
    fs::create_directories(folder_ / "folder.state");
    std::ofstream(folder_ / "huge.state", std::ios::binary)
        << std::string(kStateFileSizeLimit + 1, '\0');
    struct Case {
        std::wstring path;
        bool inspect;
        std::string message;
    };
    const Case cases[] = {
        {L"/dev/zero", false, "The virtual chip state \"/dev/zero\" is not a regular file"},
        {L"/dev/zero", true, "The virtual chip state \"/dev/zero\" is not a regular file"},
        {At("folder.state"), false, "folder.state\" is not a regular file"},
        {At("huge.state"), true, "huge.state\" is damaged (larger than a chip state can be)"},
        {At("none/chip.state"), false,
         "Cannot create the virtual chip state \"" + (folder_ / "none/chip.state").string() +
             "\" (No such file or directory)."},
        {At("missing.state"), true, "Cannot read the virtual chip state"},
    };
    for (const Case& c : cases) {
        std::wstring error;
        ChipState state;
        const std::unique_ptr<StateStore> store =
            c.inspect ? StateStore::OpenToInspect(c.path, state, error)
                      : StateStore::OpenForRun(c.path, Fresh(), state, error);
        EXPECT_EQ(store, nullptr) << ToUtf8(c.path);
        EXPECT_THAT(ToUtf8(error), HasSubstr(c.message)) << ToUtf8(c.path);
    }
    EXPECT_FALSE(fs::exists(folder_ / "missing.state"));
}

}  // namespace
}  // namespace zorvan::sim
