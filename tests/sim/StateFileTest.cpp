// The state file and the [Simulator] settings: what goes in comes back, damage is refused
// with a message, saving replaces the file whole.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/platform/Files.h"
#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/SimulatorSettings.h"
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
