// The host core, unchanged, updating the virtual chip's firmware through the simulated
// NVIDIA driver: ISP mode, the demo driver file, flash ID, erase, the image regions,
// version read-back and reset; with link faults and with a supply that fails part-way.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

constexpr FirmwareVersion kOld{1, 5, 0};
constexpr FirmwareVersion kNew{1, 6, 0};

struct Region {
    uint32_t offset;
    int32_t length;
};
constexpr Region kRegions[] = {
    {0x0, 0x24000}, {0x24000, 0x3C000}, {0x7E000, 0x80}, {0x7FC00, 0x400}};

class HostIsp : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("zorvan-host-isp-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        statePath_ = FromUtf8((folder_ / "chip.state").string());
        settings_.enabled = true;
        settings_.virtualClock = true;
        image_ = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
        ASSERT_TRUE(platform::WriteWholeFile(Path("driver.bin"), MakeDemoDriverFile()));
        ASSERT_TRUE(platform::WriteWholeFile(Path("firmware.bin"), image_));

        ChipState chip = NewChipState(ChipFamily::Kq1100, 1500);
        chip.flash = MakeFirmwareImage(ChipFamily::Kq1100, kOld);
        PowerCycle(chip);
        std::wstring error;
        ASSERT_TRUE(SaveState(statePath_, chip, error)) << ToUtf8(error);
    }
    void TearDown() override {
        EndRun();
        std::filesystem::remove_all(folder_);
    }

    std::wstring Path(const char* name) { return FromUtf8((folder_ / name).string()); }

    // A run of the program: a session on the state file and the host core on its adapter.
    void BeginRun() {
        std::wstring error;
        session_ = SimulatorSession::Start(settings_, statePath_, error);
        ASSERT_NE(session_, nullptr) << ToUtf8(error);
        control_ = std::make_unique<ZorvanControl>();
        control_->gfxSelection = GFX_NVIDIA;
        std::wstring text;
        ASSERT_EQ(control_->InitGraphicsAdapter(text), 0) << ToUtf8(text);
        control_->driverPath = Path("driver.bin");
        control_->firmwarePath = Path("firmware.bin");
        ASSERT_TRUE(control_->LoadDriverFile(text)) << ToUtf8(text);
        ASSERT_TRUE(control_->LoadFirmwareFile(text)) << ToUtf8(text);
    }
    void EndRun() {
        control_.reset();
        session_.reset();  // saves the chip
    }

    // The plain update's chip steps in their order; the name of the first that fails.
    std::string Update() {
        ZorvanControl& c = *control_;
        if (!c.EnterIspMode()) {
            return "EnterIspMode";
        }
        if (!c.DownloadIspDriver(false)) {
            return "DownloadIspDriver";
        }
        if (!c.RunIspDriver()) {
            return "RunIspDriver";
        }
        platform::SleepMs(800);
        c.ReadMailbox();
        uint16_t id = 0;
        std::wstring text;
        if (!c.ReadFlashId(id, text)) {
            return "ReadFlashId";
        }
        flashId_ = id;
        if (!c.EraseFlash(0xFFFF)) {
            return "EraseFlash";
        }
        int32_t progress = 0;
        for (const Region& r : kRegions) {
            uint32_t step = 0;
            if (!c.ProgramFlash(c.firmwareImage.data() + r.offset, r.length, 0x10, r.offset,
                                &progress, c.firmwareLength, &step)) {
                return "ProgramFlash";
            }
        }
        if (c.ReadFlashVersion() != c.binVersion) {
            return "ReadFlashVersion";
        }
        if (!c.SystemReset()) {
            return "SystemReset";
        }
        return "";
    }

    std::string ChipDescription() {
        ChipType type = control_->GetChipType();
        std::wstring text;
        control_->GetChipInfo(type, text);
        return ToUtf8(text);
    }

    std::filesystem::path folder_;
    std::wstring statePath_;
    SimulatorSettings settings_;
    std::vector<uint8_t> image_;
    std::unique_ptr<SimulatorSession> session_;
    std::unique_ptr<ZorvanControl> control_;
    uint16_t flashId_ = 0;
};

TEST_F(HostIsp, UpdatesTheFirmwareAndTheChipRunsIt) {
    BeginRun();
    ASSERT_EQ(Update(), "");
    EXPECT_EQ(flashId_, 0x4015);
    EXPECT_TRUE(session_->Chip().State().flash == image_);
    EXPECT_EQ(ChipDescription(), "Zorvan App: KQ1100 v1.06  (cut2.1)");
}

TEST_F(HostIsp, UpdateGetsThroughDeferredI2cAndWithheldReplies) {
    settings_.faults.i2cDefer = 0.05;
    settings_.faults.nullReply = 0.05;
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("fault seed " + std::to_string(seed));
        settings_.faultSeed = seed;
        BeginRun();
        EXPECT_EQ(Update(), "");
        EXPECT_TRUE(session_->Chip().State().flash == image_);
        EXPECT_EQ(ChipDescription(), "Zorvan App: KQ1100 v1.06  (cut2.1)");
        EndRun();
    }
}

TEST_F(HostIsp, UpdateUnderAuxDefersAndCorruptRepliesNeverClaimsAnUnwrittenFlash) {
    // Deferred mailbox writes and corrupted acknowledgements may make a step give up (the
    // protocol does not repeat a request or a download packet), but a run that gets to its
    // end has written the image.
    settings_.faults.auxDefer = 0.05;
    settings_.faults.corruptReply = 0.02;
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("fault seed " + std::to_string(seed));
        settings_.faultSeed = seed;
        BeginRun();
        if (Update().empty()) {
            EXPECT_TRUE(session_->Chip().State().flash == image_);
        }
        EndRun();
    }
}

TEST_F(HostIsp, PowerLossFailsTheRunAndTheNextRunRecovers) {
    settings_.powerLossAfterBlocks = 100;
    BeginRun();
    EXPECT_EQ(Update(), "ProgramFlash");
    EXPECT_EQ(session_->Chip().ProgrammedBlocks(), 100u);
    EndRun();

    // The chip comes up from a half-written flash: its boot ROM answers.
    settings_.powerLossAfterBlocks = 0;
    BeginRun();
    EXPECT_EQ(ChipDescription(), "Zorvan IROM v1.2");
    ASSERT_EQ(Update(), "");
    EXPECT_TRUE(session_->Chip().State().flash == image_);
    EXPECT_EQ(ChipDescription(), "Zorvan App: KQ1100 v1.06  (cut2.1)");
}

}  // namespace
}  // namespace zorvan::sim
