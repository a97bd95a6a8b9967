// The state file and the [Simulator] settings: what goes in comes back, the change records
// replay over the snapshot, damage is refused with a message, saving replaces the file whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "core/platform/Files.h"
#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/SimulatorSettings.h"
#include "sim/chip/Crc.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/chip/Otp.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

using ::testing::HasSubstr;

ChipState SampleState() {
    ChipState state = NewChipState(ChipFamily::Lumox, 0x12345678);
    state.flash = MakeFirmwareImage(ChipFamily::Lumox, {2, 9, 4});
    PowerCycle(state);
    state.hwRevision = 0x77;
    state.securityFirmwareRunning = true;
    return state;
}

TEST(StateFile, RoundTripKeepsEveryField) {
    const ChipState in = SampleState();
    std::wstring error;
    const std::optional<ChipState> out = ParseState(SerializeState(in), L"x", error);
    ASSERT_TRUE(out.has_value()) << ToUtf8(error);
    EXPECT_EQ(out->family, in.family);
    EXPECT_EQ(out->hwRevision, in.hwRevision);
    EXPECT_EQ(out->mode, ChipMode::Application);
    EXPECT_TRUE(out->securityFirmwareRunning);
    EXPECT_EQ(out->otp, in.otp);
    EXPECT_EQ(out->flash, in.flash);
    EXPECT_EQ(OtpSerial(out->otp), 0x12345678u);
}

TEST(StateFile, RefusesDamagedFilesWithAMessage) {
    const std::vector<uint8_t> good = SerializeState(SampleState());
    struct Damage {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> flipped = good;
    flipped[1000] ^= 0x40;
    std::vector<uint8_t> magic = good;
    magic[0] = 'X';
    const Damage cases[] = {
        {"empty", {}, "is not a virtual chip state file"},
        {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 100), "damaged"},
        {"one bit changed", flipped, "checksum"},
        {"other magic", magic, "is not a virtual chip state file"},
    };
    for (const Damage& d : cases) {
        std::wstring error;
        EXPECT_FALSE(ParseState(d.bytes, L"chip.state", error).has_value()) << d.what;
        EXPECT_THAT(ToUtf8(error), HasSubstr(d.message)) << d.what;
        EXPECT_THAT(ToUtf8(error), HasSubstr("chip.state")) << d.what;
    }
}

TEST(StateFile, SaveReplacesTheFileAndLeavesNothingBeside) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "zorvan-state-save";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::wstring path = FromUtf8((folder / "chip.state").string());
    std::wstring error;
    ASSERT_TRUE(platform::WriteWholeFile(path, std::vector<uint8_t>(10, 0)));
    ASSERT_TRUE(SaveState(path, SampleState(), error)) << ToUtf8(error);
    ASSERT_TRUE(LoadState(path, error).has_value()) << ToUtf8(error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
    // A folder that does not exist: refused, with the path in the message.
    const std::wstring missing = FromUtf8((folder / "no" / "chip.state").string());
    EXPECT_FALSE(SaveState(missing, SampleState(), error));
    EXPECT_THAT(ToUtf8(error), HasSubstr("no/chip.state"));
    std::filesystem::remove_all(folder);
}

// A file as a run leaves it: the snapshot of a chip, then the records of what the chip did
// (entered ISP mode, erased the firmware regions, programmed two blocks, lost its ESM).
struct RunFile {
    ChipState before;
    ChipState after;
    std::vector<uint8_t> bytes;
    size_t lastRecord = 0;  // where the last record begins
};

RunFile SampleRun() {
    RunFile run{SampleState(), SampleState(), {}, 0};
    ChipState& s = run.after;
    run.bytes = SerializeState(run.before);
    s.mode = ChipMode::BootRom;
    AppendChipRecord(run.bytes, s);
    std::fill(s.flash.begin(), s.flash.begin() + kFirmwareEnd, 0xFF);
    AppendFlashRecord(run.bytes, s, 0, kFirmwareEnd);
    for (uint32_t block : {0u, 504u}) {
        for (uint32_t i = 0; i < 504; ++i) {
            s.flash[block + i] = static_cast<uint8_t>(i * 7 + block);
        }
        AppendFlashRecord(run.bytes, s, block, 504);
    }
    run.lastRecord = run.bytes.size();
    s.securityFirmwareRunning = false;
    AppendChipRecord(run.bytes, s);
    return run;
}

void ExpectSameChip(const ChipState& got, const ChipState& want, const std::string& what) {
    EXPECT_EQ(got.family, want.family) << what;
    EXPECT_EQ(got.mode, want.mode) << what;
    EXPECT_EQ(got.securityFirmwareRunning, want.securityFirmwareRunning) << what;
    EXPECT_EQ(got.otp, want.otp) << what;
    EXPECT_TRUE(got.flash == want.flash) << what;
}

// A record as the writer lays it out, for records the writer would never make.
std::vector<uint8_t> Record(const char* kind, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> r(kind, kind + 4);
    const uint32_t n = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) {
        r.push_back(static_cast<uint8_t>(n >> (8 * i)));
    }
    r.insert(r.end(), payload.begin(), payload.end());
    const uint32_t crc = Crc32(r.data(), r.size());
    for (int i = 0; i < 4; ++i) {
        r.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
    return r;
}

TEST(StateFile, ChangeRecordsReplayOverTheSnapshotInOrder) {
    const RunFile run = SampleRun();
    std::wstring error;
    const std::optional<StateFileContent> read = ReadStateFile(run.bytes, L"chip.state", error);
    ASSERT_TRUE(read.has_value()) << ToUtf8(error);
    ExpectSameChip(read->state, run.after, "whole run");
    EXPECT_EQ(read->intactSize, run.bytes.size());
    EXPECT_FALSE(read->snapshotCurrent);

    const std::optional<StateFileContent> snapshot =
        ReadStateFile(SerializeState(run.after), L"chip.state", error);
    ASSERT_TRUE(snapshot.has_value()) << ToUtf8(error);
    EXPECT_TRUE(snapshot->snapshotCurrent);
    EXPECT_EQ(snapshot->intactSize, kStateSnapshotSize);
    // An erase is one small record, not half a megabyte of 0xFF.
    EXPECT_LT(run.bytes.size() - kStateSnapshotSize, 2000u);
}

TEST(StateFile, ALastRecordCutShortIsAChangeThatDidNotHappen) {
    const RunFile run = SampleRun();
    ChipState before = run.after;
    before.securityFirmwareRunning = true;  // what the last record changes
    for (const size_t kept : {run.lastRecord + 1, run.lastRecord + 8, run.bytes.size() - 1}) {
        const std::vector<uint8_t> cut(run.bytes.begin(), run.bytes.begin() + kept);
        std::wstring error;
        const std::optional<StateFileContent> read = ReadStateFile(cut, L"chip.state", error);
        ASSERT_TRUE(read.has_value()) << kept << ": " << ToUtf8(error);
        ExpectSameChip(read->state, before, "cut at " + std::to_string(kept));
        EXPECT_EQ(read->intactSize, run.lastRecord);
    }
}

TEST(StateFile, RefusesDamagedChangeRecords) {
    const RunFile run = SampleRun();
    const size_t second = kStateSnapshotSize + 24;  // the erase record, after the chip record
    struct Damage {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> unknown = run.bytes;
    unknown[second] = 'X';
    std::vector<uint8_t> flipped = run.bytes;
    flipped[second + 14] ^= 0x01;
    std::vector<uint8_t> holed = run.bytes;
    holed.erase(holed.begin() + static_cast<long>(second) + 4,
                holed.begin() + static_cast<long>(second) + 14);
    std::vector<uint8_t> outside = run.bytes;
    const std::vector<uint8_t> beyond = Record("FLSH", {0xFF, 0xFF, 0x07, 0x00, 1, 2});
    outside.insert(outside.begin() + static_cast<long>(run.lastRecord), beyond.begin(),
                   beyond.end());
    std::vector<uint8_t> oversized = run.bytes;
    const std::vector<uint8_t> huge = Record("CKPT", {1, 2, 3, 4, 5});
    oversized.insert(oversized.end(), huge.begin(), huge.end());
    const Damage cases[] = {
        {"unknown kind", unknown, "unknown change record"},
        {"a changed byte", flipped, "change record checksum mismatch"},
        {"a record cut short in the middle", holed, "damaged"},
        {"past the end of the flash", outside, "outside its section"},
        {"a checkpoint of the wrong size", oversized, "wrong size"},
    };
    for (const Damage& d : cases) {
        std::wstring error;
        EXPECT_FALSE(ReadStateFile(d.bytes, L"chip.state", error).has_value()) << d.what;
        EXPECT_THAT(ToUtf8(error), HasSubstr(d.message)) << d.what;
        EXPECT_THAT(ToUtf8(error), HasSubstr("chip.state")) << d.what;
    }
}

// Folding in place: the checkpoint goes after the records, then the new snapshot over the
// old one. A program that dies while writing the snapshot leaves old and new bytes mixed.
TEST(StateFile, AFoldCutShortIsMendedByItsCheckpoint) {
    const RunFile run = SampleRun();
    const std::vector<uint8_t> folded = SerializeState(run.after);
    std::vector<uint8_t> checkpointed = run.bytes;
    AppendCheckpointRecord(checkpointed, folded);
    for (const size_t written : {size_t{20}, size_t{30000}, kStateSnapshotSize / 2,
                                 kStateSnapshotSize - 2, kStateSnapshotSize}) {
        std::vector<uint8_t> torn = checkpointed;
        std::copy_n(folded.begin(), written, torn.begin());
        std::wstring error;
        const std::optional<ChipState> read = ParseState(torn, L"chip.state", error);
        ASSERT_TRUE(read.has_value()) << written << ": " << ToUtf8(error);
        ExpectSameChip(*read, run.after, "snapshot written up to " + std::to_string(written));
    }

    // Without the checkpoint, or with one for another chip, mixed bytes are damage.
    std::vector<uint8_t> unconfirmed = run.bytes;
    std::copy_n(folded.begin(), kStateSnapshotSize / 2, unconfirmed.begin());
    ChipState other = run.after;
    other.flash[100] ^= 0x01;
    std::vector<uint8_t> misconfirmed = run.bytes;
    AppendCheckpointRecord(misconfirmed, SerializeState(other));
    std::copy_n(folded.begin(), kStateSnapshotSize / 2, misconfirmed.begin());
    for (const auto& bytes : {unconfirmed, misconfirmed}) {
        std::wstring error;
        EXPECT_FALSE(ParseState(bytes, L"chip.state", error).has_value());
        EXPECT_THAT(ToUtf8(error), HasSubstr("checksum mismatch"));
    }
}

TEST(StateFile, ReadsTheSnapshotOfTheFirstFormat) {
    std::vector<uint8_t> first = SerializeState(SampleState());
    first[8] = 1;
    const uint32_t crc = Crc32(first.data(), first.size() - 4);
    for (int i = 0; i < 4; ++i) {
        first[first.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    std::wstring error;
    const std::optional<StateFileContent> read = ReadStateFile(first, L"chip.state", error);
    ASSERT_TRUE(read.has_value()) << ToUtf8(error);
    ExpectSameChip(read->state, SampleState(), "version 1");
    EXPECT_FALSE(read->snapshotCurrent);  // a run writes it in the current format
    first[8] = 3;
    EXPECT_FALSE(ReadStateFile(first, L"chip.state", error).has_value());
    EXPECT_THAT(ToUtf8(error), HasSubstr("format version 3"));
}

TEST(StateFile, RelativeStatePathIsTakenFromTheConfigFolder) {
    EXPECT_EQ(ResolveStatePath(L"/p/Config.ini", L"virtual-chip.state"), L"/p/virtual-chip.state");
    EXPECT_EQ(ResolveStatePath(L"/p/Config.ini", L"s/c.state"), L"/p/s/c.state");
    EXPECT_EQ(ResolveStatePath(L"/p/Config.ini", L"/q/c.state"), L"/q/c.state");
}

// [Simulator] sections and what they give, or the message that refuses them.
struct SettingsCase {
    const char* section;
    bool valid;
    const char* errorPart;
};

SimulatorSettings Read(const std::string& section, bool& valid, std::wstring& error) {
    const std::string text = "[Simulator]\r\n" + section;
    const platform::PrivateProfile profile =
        platform::PrivateProfile::Parse(std::vector<uint8_t>(text.begin(), text.end()));
    SimulatorSettings s;
    valid = ReadSimulatorSettings(profile, s, error);
    return s;
}

TEST(SimulatorSettings, ReadsEveryKey) {
    bool valid = false;
    std::wstring error;
    const SimulatorSettings s = Read(
        "Enabled=1\r\nVendor=NVIDIA\r\nStateFile=c.state\r\nClock=Virtual\r\nFaultSeed=42\r\n"
        "AuxDeferRate=0.1\r\nI2cDeferRate=0.25\r\nNullReplyRate=1\r\nCorruptReplyRate=0\r\n"
        "PowerLossAfterBlocks=12\r\nLinuxUdevRule=0\r\nLinuxDdcClaimed=1\r\n",
        valid, error);
    ASSERT_TRUE(valid) << ToUtf8(error);
    EXPECT_TRUE(s.enabled);
    EXPECT_EQ(s.stateFile, L"c.state");
    EXPECT_TRUE(s.virtualClock);
    EXPECT_EQ(s.faultSeed, 42u);
    EXPECT_DOUBLE_EQ(s.faults.auxDefer, 0.1);
    EXPECT_DOUBLE_EQ(s.faults.i2cDefer, 0.25);
    EXPECT_DOUBLE_EQ(s.faults.nullReply, 1);
    EXPECT_DOUBLE_EQ(s.faults.corruptReply, 0);
    EXPECT_EQ(s.powerLossAfterBlocks, 12u);
    EXPECT_FALSE(s.linuxPc.udevRule);
    EXPECT_TRUE(s.linuxPc.ddcClaimed);

    const SimulatorSettings d = Read("", valid, error);
    EXPECT_TRUE(valid);
    EXPECT_FALSE(d.enabled);
    EXPECT_EQ(d.vendor, L"NVIDIA");
    EXPECT_EQ(d.stateFile, L"virtual-chip.state");
    EXPECT_FALSE(d.virtualClock);
    EXPECT_EQ(d.faultSeed, 1u);
    EXPECT_EQ(d.powerLossAfterBlocks, 0u);
    EXPECT_TRUE(d.linuxPc.udevRule);
    EXPECT_FALSE(d.linuxPc.ddcClaimed);
}

TEST(SimulatorSettings, RefusesValuesAKeyDoesNotTake) {
    const SettingsCase cases[] = {
        {"Clock=fast\r\n", false, "Clock=fast"},
        {"AuxDeferRate=1.5\r\n", false, "AuxDeferRate=1.5"},
        {"NullReplyRate=-0.1\r\n", false, "NullReplyRate=-0.1"},
        {"CorruptReplyRate=abc\r\n", false, "CorruptReplyRate=abc"},
        {"PowerLossAfterBlocks=-3\r\n", false, "PowerLossAfterBlocks=-3"},
        {"I2cDeferRate=0.5\r\n", true, ""},
        {"LinuxUdevRule=2\r\n", false, "LinuxUdevRule=2: the value must be 0 or 1."},
        {"LinuxDdcClaimed=yes\r\n", false, "LinuxDdcClaimed=yes"},
        {"LinuxUdevRule=\r\n", true, ""},
    };
    for (const SettingsCase& c : cases) {
        bool valid = false;
        std::wstring error;
        Read(c.section, valid, error);
        EXPECT_EQ(valid, c.valid) << c.section;
        if (!c.valid) {
            EXPECT_THAT(ToUtf8(error), HasSubstr(c.errorPart)) << c.section;
        }
    }
}

TEST(SimulatorSettings, StuckFlashAddressTakesAFlashOffsetInHexOrDecimal) {
    struct Case {
        const char* value;
        bool valid;
        std::optional<uint32_t> address;
    };
    const Case cases[] = {
        {"", true, std::nullopt},
        {"0x7FFEC", true, 0x7FFEC},
        {"0x7ffec", true, 0x7FFEC},
        {"524270", true, 0x7FFEE},
        {"0", true, 0},
        {"0x7FFFF", true, 0x7FFFF},
        {"0x80000", false, std::nullopt},
        {"524288", false, std::nullopt},
        {"0x", false, std::nullopt},
        {"12ab", false, std::nullopt},
        {"-1", false, std::nullopt},
        {"0x100000000", false, std::nullopt},
        {"99999999999", false, std::nullopt},
    };
    for (const Case& c : cases) {
        bool valid = false;
        std::wstring error;
        const std::string section = std::string("StuckFlashAddress=") + c.value + "\r\n";
        const SimulatorSettings s = Read(section, valid, error);
        EXPECT_EQ(valid, c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(s.stuckFlashAddress, c.address) << c.value;
        } else {
            EXPECT_THAT(ToUtf8(error), HasSubstr(section.substr(0, section.size() - 2))) << c.value;
        }
    }
}

}  // namespace
}  // namespace zorvan::sim
