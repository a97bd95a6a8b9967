// The host core, unchanged, against the virtual PC and chip: adapter selection through
// the simulated NVIDIA driver, the identity of every chip family, the OTP identity block
// and the CMDB, with and without link faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/chip/Crc.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

using ::testing::HasSubstr;

ChipState ChipWith(ChipFamily family, bool withFirmware, uint8_t hwRevision = 0) {
    ChipState state = NewChipState(family, 1500);
    if (withFirmware) {
        state.flash = MakeFirmwareImage(family, {1, 5, 0});
    }
    if (hwRevision != 0) {
        state.hwRevision = hwRevision;
    }
    PowerCycle(state);
    return state;
}

// A state file in a folder of the test's own, and a session on it.
class HostOnVirtualChip : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            std::filesystem::temp_directory_path() /
            ("zorvan-host-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        statePath_ = FromUtf8((folder_ / "chip.state").string());
        settings_.enabled = true;
        settings_.virtualClock = true;
    }
    void TearDown() override {
        control_.reset();
        session_.reset();
        std::filesystem::remove_all(folder_);
    }

    void Start(const ChipState& state) {
        std::wstring error;
        ASSERT_TRUE(SaveState(statePath_, state, error)) << ToUtf8(error);
        session_ = SimulatorSession::Start(settings_, statePath_, error);
        ASSERT_NE(session_, nullptr) << ToUtf8(error);
        control_ = std::make_unique<ZorvanControl>();
        control_->gfxSelection = GFX_NVIDIA;
        std::wstring text;
        ASSERT_EQ(control_->InitGraphicsAdapter(text), 0) << ToUtf8(text);
    }
    // The chip's type and description as the procedures show them.
    std::pair<ChipType, std::string> Identify() {
        ChipType type = control_->GetChipType();
        std::wstring text;
        control_->GetChipInfo(type, text);
        return {type, ToUtf8(text)};
    }

    std::filesystem::path folder_;
    std::wstring statePath_;
    SimulatorSettings settings_;
    std::unique_ptr<SimulatorSession> session_;
    std::unique_ptr<ZorvanControl> control_;
};

TEST_F(HostOnVirtualChip, SelectsTheNvidiaOutputWithTheChip) {
    Start(ChipWith(ChipFamily::Kq1100, true));
    EXPECT_EQ(ToUtf8(control_->gfxName), "NVIDIA: 0x1000");
}

struct FamilyCase {
    ChipFamily family;
    bool firmware;
    uint8_t hwRevision;  // 0: the family's default
    ChipType type;
    const char* text;
};

TEST_F(HostOnVirtualChip, EveryFamilyAndModeReachesItsDescription) {
    const FamilyCase cases[] = {
        {ChipFamily::Kq1100, true, 0, CHIP_VEXA1100, "Zorvan App: KQ1100 v1.05  (cut2.1)"},
        {ChipFamily::Kq1150, true, 0, CHIP_VEXA1150, "Zorvan App: KQ1150 v1.05  (cut2.1)"},
        {ChipFamily::Kq1100, false, 0, CHIP_ZORVAN_IROM, "Zorvan IROM v1.2"},
        {ChipFamily::Talvor, false, 0, CHIP_TALVOR, "Talvor iROM: v3.1"},
        {ChipFamily::Talvor, true, 0, CHIP_TALVOR, "Talvor App: TLV330 v0.8.5  (HWver=0x0A)"},
        {ChipFamily::Vireen, true, 0, CHIP_VIREEN, "Vireen: VRN200 v1.05  (cut1.1)"},
        {ChipFamily::Lumox, true, 0x32, CHIP_LUMOX, "Lumox: LMX300 v1.05  (cut-1.-3)"},
        {ChipFamily::Lumox, false, 0, CHIP_LUMOX, "Lumox: LMXROM v1.00  (cut1.1)"},
        {ChipFamily::Foreign, true, 0, CHIP_UNKNOWN, "ZX9000 v1.05  (HWver=0x10)"},
    };
    for (const FamilyCase& c : cases) {
        SCOPED_TRACE(FamilyName(c.family) + (c.firmware ? " application" : " boot ROM"));
        Start(ChipWith(c.family, c.firmware, c.hwRevision));
        const auto [type, text] = Identify();
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(text, c.text);
        control_.reset();
        session_.reset();
    }
}

TEST_F(HostOnVirtualChip, OtpIdentityBlockPassesTheHostsChecks) {
    Start(ChipWith(ChipFamily::Kq1100, true));
    uint8_t otp[16] = {};
    ASSERT_TRUE(control_->ReadMemory(0x2640C, otp, 16));
    const uint16_t crc = Crc16Chip(otp, 14);
    EXPECT_EQ(otp[14] | otp[15] << 8, crc);
    EXPECT_EQ(otp[10] << 24 | otp[11] << 16 | otp[12] << 8 | otp[13], 1500);
    EXPECT_EQ(control_->ReadRegister(0x26429), 0x130u);
    EXPECT_EQ(control_->ReadRegister(0x26559), 0x130u);
    EXPECT_EQ(control_->ReadRegister(0x26689), 0x14Cu);
    EXPECT_EQ(control_->ReadRegister(0x267D5), 0x2Cu);
    // Unmapped space gets no reply.
    EXPECT_EQ(control_->ReadRegister(0x300000), 0xFFFFFFFFu);
}

TEST_F(HostOnVirtualChip, CmdbIsReadableThroughTheMappedFlash) {
    Start(ChipWith(ChipFamily::Kq1100, true));
    std::wstring text;
    EXPECT_EQ(control_->CheckCmdb(text), CMDB_OK);
    EXPECT_EQ(ToUtf8(text), "CMDB: Ver:1.0  (Custom Ver: 1.0)\r\n");
}

TEST_F(HostOnVirtualChip, BootRomHasNoFlashToRead) {
    Start(ChipWith(ChipFamily::Kq1100, false));
    std::wstring text;
    EXPECT_EQ(control_->CheckCmdb(text), CMDB_READ_FAILED);
}

TEST_F(HostOnVirtualChip, HostRetriesGetThroughModerateFaults) {
    settings_.faults = {0.3, 0.3, 0.3, 0};
    settings_.faultSeed = 7;
    Start(ChipWith(ChipFamily::Kq1100, true));
    const auto [type, text] = Identify();
    EXPECT_EQ(type, CHIP_VEXA1100);
    EXPECT_EQ(text, "Zorvan App: KQ1100 v1.05  (cut2.1)");
    const FaultCounts& n = session_->Faults().Counts();
    EXPECT_GT(n.i2cDeferred + n.repliesWithheld, 0u);
}

TEST_F(HostOnVirtualChip, CorruptedRepliesAreNeverTakenForAnswers) {
    settings_.faults.corruptReply = 1;
    Start(ChipWith(ChipFamily::Kq1100, true));
    EXPECT_EQ(control_->GetChipType(), CHIP_NONE);
    EXPECT_EQ(control_->ReadRegister(0x26429), 0xFFFFFFFFu);
}

TEST_F(HostOnVirtualChip, SameSeedSameFaultsOtherSeedOthers) {
    settings_.faults = {0.2, 0.2, 0.2, 0.1};
    const auto countsFor = [this](uint32_t seed) {
        settings_.faultSeed = seed;
        Start(ChipWith(ChipFamily::Kq1100, true));
        Identify();
        const FaultCounts n = session_->Faults().Counts();
        control_.reset();
        session_.reset();
        return std::vector<uint32_t>{n.auxDeferred, n.i2cDeferred, n.repliesWithheld,
                                     n.repliesCorrupted};
    };
    const auto first = countsFor(11);
    EXPECT_EQ(countsFor(11), first);
    EXPECT_NE(countsFor(12), first);
}

TEST_F(HostOnVirtualChip, SessionSavesTheChipWhenItEnds) {
    ChipState state = ChipWith(ChipFamily::Kq1100, true);
    state.securityFirmwareRunning = true;
    const auto savedAfterRun = [&](bool losePower) {
        Start(state);
        if (losePower) {
            session_->Chip().SetPowerLossAfterBlocks(1);
            session_->Chip().CountProgrammedBlock();
        }
        control_.reset();
        session_.reset();
        std::wstring error;
        std::optional<ChipState> saved = LoadState(statePath_, error);
        EXPECT_TRUE(saved.has_value()) << ToUtf8(error);
        return saved.value_or(ChipState{});
    };
    EXPECT_TRUE(savedAfterRun(false).securityFirmwareRunning);
    // Powered up again at the next run: the security firmware is gone, the flash stays.
    const ChipState next = savedAfterRun(true);
    EXPECT_FALSE(next.securityFirmwareRunning);
    EXPECT_EQ(next.flash, state.flash);
    EXPECT_EQ(next.mode, ChipMode::Application);
}

TEST_F(HostOnVirtualChip, SessionPutsTheRealDriverAndClockBack) {
    platform::Clock& before = platform::ActiveClock();
    nvapi::Driver& driver = nvapi::ActiveDriver();
    Start(ChipWith(ChipFamily::Kq1100, true));
    EXPECT_NE(&platform::ActiveClock(), &before);
    EXPECT_NE(&nvapi::ActiveDriver(), &driver);
    control_.reset();
    session_.reset();
    EXPECT_EQ(&platform::ActiveClock(), &before);
    EXPECT_EQ(&nvapi::ActiveDriver(), &driver);
}

}  // namespace
}  // namespace zorvan::sim
