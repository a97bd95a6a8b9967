// The host core, unchanged, running secure ISP on the virtual chip through the simulated
// NVIDIA driver: the ESM downloaded and started (or restarted on a later run), the signed
// driver verified, the image programmed with the secure program codes and verified by the
// chip; and what the host sees when a file does not pass.
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
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

constexpr FirmwareVersion kOld{1, 5, 0};
constexpr FirmwareVersion kNew{1, 6, 0};
const char* const kSecureVerificationText = "Secure verification failed!\r\n";

class HostSecureIsp : public ::testing::Test {
  protected:
    void SetUp() override { Prepare(); }
    // A fresh folder with the demo files and a chip running the old image.
    void Prepare() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("zorvan-host-secure-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        statePath_ = FromUtf8((folder_ / "chip.state").string());
        settings_.enabled = true;
        settings_.virtualClock = true;
        Write("driver.bin", MakeDemoDriverFile());
        Write("esm.bin", MakeDemoEsmFile());
        Write("firmware.bin", MakeFirmwareImage(ChipFamily::Kq1100, kNew));

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
    void Write(const char* name, const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(platform::WriteWholeFile(Path(name), bytes));
    }

    void BeginRun() {
        std::wstring error;
        session_ = SimulatorSession::Start(settings_, statePath_, error);
        ASSERT_NE(session_, nullptr) << ToUtf8(error);
        control_ = std::make_unique<ZorvanControl>();
        control_->gfxSelection = GFX_NVIDIA;
        control_->secureIsp = 1;
        std::wstring text;
        ASSERT_EQ(control_->InitGraphicsAdapter(text), 0) << ToUtf8(text);
        control_->driverPath = Path("driver.bin");
        control_->firmwarePath = Path("firmware.bin");
        control_->esmPath = Path("esm.bin");
        ASSERT_TRUE(control_->LoadDriverFile(text)) << ToUtf8(text);
        ASSERT_TRUE(control_->LoadFirmwareFile(text)) << ToUtf8(text);
    }
    void EndRun() {
        control_.reset();
        session_.reset();  // saves the chip
    }

    // The secure update's chip steps in their order; the name of the first that fails.
    // esmDownloaded_ tells which branch the ESM status chose.
    std::string Update() {
        ZorvanControl& c = *control_;
        std::wstring text;
        if (!c.EnterIspMode()) {
            return "EnterIspMode";
        }
        if (!c.ClearEsmHandle()) {
            return "ClearEsmHandle";
        }
        if (!c.StartSecureIsp()) {
            return "StartSecureIsp";
        }
        uint32_t status = 0;
        esmDownloaded_ = !c.CheckEsmStatus(status);
        if (!esmDownloaded_) {
            if (!c.BootStartSecProc()) {
                return "BootStartSecProc";
            }
        } else {
            if (!c.LoadEsmFile(text)) {
                return "LoadEsmFile";
            }
            if (!c.DownloadEsm()) {
                return "DownloadEsm";
            }
            if (!c.StartSecProc()) {
                return "StartSecProc";
            }
        }
        c.SecureCommand76();
        platform::SleepMs(150);
        if (!c.DownloadIspDriver(true)) {
            return "DownloadIspDriver";
        }
        if (!c.SendDriverSignature()) {
            return "SendDriverSignature";
        }
        if (!c.StartSignedDriver()) {
            return "StartSignedDriver";
        }
        platform::SleepMs(800);
        c.ReadMailbox();
        uint16_t id = 0;
        if (!c.ReadFlashId(id, text)) {
            return "ReadFlashId";
        }
        if (!c.EraseFlash(0xFFFF)) {
            return "EraseFlash";
        }
        stepCode_ = 0;
        programText_.clear();
        if (!c.ProgramSecureImage(false, stepCode_, programText_, false)) {
            return "ProgramSecureImage";
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
    const std::vector<uint8_t>& Flash() { return session_->Chip().State().flash; }

    std::filesystem::path folder_;
    std::wstring statePath_;
    SimulatorSettings settings_;
    std::unique_ptr<SimulatorSession> session_;
    std::unique_ptr<ZorvanControl> control_;
    bool esmDownloaded_ = false;
    uint32_t stepCode_ = 0;
    std::wstring programText_;
};

TEST_F(HostSecureIsp, UpdatesTheFirmwareAndTheNextRunRestartsTheRunningEsm) {
    const std::vector<uint8_t> image = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
    BeginRun();
    ASSERT_EQ(Update(), "");
    EXPECT_TRUE(esmDownloaded_);
    EXPECT_TRUE(Flash() == image);
    EXPECT_EQ(ChipDescription(), "Zorvan App: KQ1100 v1.06  (cut2.1)");
    EndRun();

    BeginRun();
    ASSERT_EQ(Update(), "");
    EXPECT_FALSE(esmDownloaded_) << "the ESM still runs: BootStartSecProc";
    EXPECT_TRUE(Flash() == image);
    EndRun();

    // After a power cycle the ESM is downloaded again.
    std::wstring error;
    std::optional<ChipState> state = LoadState(statePath_, error);
    ASSERT_TRUE(state) << ToUtf8(error);
    EXPECT_TRUE(state->securityFirmwareRunning);
    PowerCycle(*state);
    ASSERT_TRUE(SaveState(statePath_, *state, error)) << ToUtf8(error);
    BeginRun();
    ASSERT_EQ(Update(), "");
    EXPECT_TRUE(esmDownloaded_);
}

TEST_F(HostSecureIsp, TamperedImageFailsTheSecureVerificationAndNeverRuns) {
    Write("firmware.bin", MakeTamperedFirmwareImage(ChipFamily::Kq1100, kNew));
    BeginRun();
    EXPECT_EQ(Update(), "ProgramSecureImage");
    EXPECT_EQ(stepCode_, 0x504u);
    EXPECT_EQ(ToUtf8(programText_), kSecureVerificationText);
    const std::vector<uint8_t> lastKib(Flash().begin() + kLastKibOffset, Flash().end());
    EXPECT_EQ(lastKib, std::vector<uint8_t>(kLastKibSize, 0xFF));
    EXPECT_TRUE(control_->SystemReset());
    EXPECT_EQ(ChipDescription(), "Zorvan IROM v1.2");
}

TEST_F(HostSecureIsp, FilesThatDoNotPassStopTheRunWhereTheHostExpects) {
    struct Case {
        const char* what;
        const char* file;
        std::vector<uint8_t> bytes;
        const char* failingStep;
    };
    const Case cases[] = {
        {"driver payload byte changed", "driver.bin",
         MakeDamagedDriverFile(DriverFileDamage::PayloadByte), "StartSignedDriver"},
        {"driver signature byte changed", "driver.bin",
         MakeDamagedDriverFile(DriverFileDamage::SignatureByte), "StartSignedDriver"},
        {"ESM code byte changed", "esm.bin", MakeBrokenEsmFile(), "StartSecProc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare();
        Write(c.file, c.bytes);
        BeginRun();
        EXPECT_EQ(Update(), c.failingStep);
        EndRun();
    }
}

}  // namespace
}  // namespace zorvan::sim
