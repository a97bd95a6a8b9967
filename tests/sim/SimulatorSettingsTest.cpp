// [Simulator] Enabled: 0 or 1, and nothing else lets a program go on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/platform/PrivateProfile.h"
#include "core/platform/Text.h"
#include "sim/Activation.h"
#include "sim/SimulatorSettings.h"

namespace zorvan::sim {
namespace {

namespace fs = std::filesystem;

platform::PrivateProfile Profile(const std::string& text) {
    return platform::PrivateProfile::Parse(std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(SimulatorEnabled, TakesZeroAndOneOnly) {
    const struct {
        const char* section;  // after "[Simulator]"
        bool valid;
        bool enabled;
    } cases[] = {
        {"", true, false},
        {"Enabled=\r\n", true, false},
        {"Enabled=0\r\n", true, false},
        {"Enabled=1\r\n", true, true},
        {"Enabled = 1 \r\n", true, true},
        {"Enabled=\"1\"\r\n", true, true},
        // Read as numbers, these would pass as 1 or as 0 (the real drivers).
        {"Enabled=2\r\n", false, false},
        {"Enabled=-1\r\n", false, false},
        {"Enabled=1x\r\n", false, false},
        {"Enabled=01\r\n", false, false},
        {"Enabled=0x1\r\n", false, false},
        {"Enabled=yes\r\n", false, false},
        {"Enabled=true\r\n", false, false},
        {"Enabled=off\r\n", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        const platform::PrivateProfile profile =
            Profile(std::string("[Simulator]\r\n") + c.section);
        bool enabled = !c.enabled;
        std::wstring error;
        EXPECT_EQ(ReadSimulatorEnabled(profile, enabled, error), c.valid);
        EXPECT_EQ(enabled, c.enabled);
        EXPECT_EQ(error.empty(), c.valid);
        SimulatorSettings settings;
        std::wstring settingsError;
        EXPECT_EQ(ReadSimulatorSettings(profile, settings, settingsError), c.valid);
        EXPECT_EQ(settingsError, error);
    }
    std::wstring error;
    bool enabled = true;
    ReadSimulatorEnabled(Profile("[Simulator]\r\nEnabled=2\r\n"), enabled, error);
    EXPECT_EQ(error, L"[Simulator] Enabled=2: the value must be 0 or 1.");
}

class ActivationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-activation-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    ActivationResult Activate(const std::string& simulator) const {
        std::ofstream(dir_ / "Config.ini", std::ios::binary)
            << "[Firmware Update]\r\n[Simulator]\r\n"
            << simulator;
        return ActivateFromConfig(FromUtf8((dir_ / "Config.ini").string()));
    }

    fs::path dir_;
};

// A wrong Enabled is the simulator's start error: no session and a message, so the program
// stops instead of running the real drivers; the other keys matter only when it is 1.
TEST_F(ActivationTest, AWrongEnabledStopsTheProgram) {
    const struct {
        const char* section;
        std::wstring error;
    } cases[] = {
        {"Enabled=2\r\n", L"[Simulator] Enabled=2: the value must be 0 or 1."},
        {"Enabled=on\r\nClock=virtual\r\n", L"[Simulator] Enabled=on: the value must be 0 or 1."},
        {"Enabled=0\r\nClock=sometimes\r\n", L""},
        {"Clock=sometimes\r\n", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        const ActivationResult result = Activate(c.section);
        EXPECT_EQ(result.session, nullptr);
        EXPECT_EQ(result.error, c.error);
    }
    EXPECT_FALSE(fs::exists(dir_ / "virtual-chip.state"));
}

}  // namespace
}  // namespace zorvan::sim
