// The link trace of the NVIDIA backend: a line per driver call, the waits, and the
// operation's own line last, as an operator reads them in the ZORVAN_TRACE file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/gfx/GfxLibNvidia.h"
#include "core/platform/Clock.h"
#include "core/platform/Trace.h"
#include "tests/gfx/FakeNvApi.h"

namespace zorvan::test {
namespace {

class NvidiaTrace : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("zorvan-gfx-trace-" + std::to_string(::getpid()) + ".log");
        std::filesystem::remove(path_);
        AddSimpleGpu(driver, 0x1001, 0xABC);
        uint32_t deviceId = 0;
        std::wstring text;
        ASSERT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
        ::setenv("ZORVAN_TRACE", path_.c_str(), 1);
        trace::Reopen();
    }
    void TearDown() override {
        ::unsetenv("ZORVAN_TRACE");
        trace::Reopen();
        std::filesystem::remove(path_);
    }

    std::vector<std::string> Lines() {
        std::ifstream in(path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    FakeNvApi driver;
    ScopedNvApi driverGuard{driver};
    GfxLibNvidia nv;

private:
    std::filesystem::path path_;
};

TEST_F(NvidiaTrace, AuxWriteShowsEachRequestAndPauseBeforeTheOperation) {
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(nv.AuxWrite(0, 0x20000, data.data(), 40), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "Wait 700us busy",
                           "  nvapi native-write addr=0x20000 len=16 -> 0",
                           "Wait 700us busy",
                           "  nvapi native-write addr=0x20010 len=16 -> 0",
                           "Wait 700us busy",
                           "  nvapi native-write addr=0x20020 len=8 -> 0",
                           "AuxWrite addr=0x20000 len=40 data=00 01 02 03 04 05 06 07 08 09 0A 0B "
                           "0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20 21 22 "
                           "23 24 25 26 27 -> 0",
                       }));
}

TEST_F(NvidiaTrace, I2cTransfersAndRetriesShowKindsAndReplyCodes) {
    const uint8_t packet[10] = {0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB3};
    driver.script = {{0, 2}, {0, 0}, {0, 0}};
    ASSERT_EQ(nv.I2cWrite(0, 0x6E, packet, 10), 0);
    driver.SetI2cReply({0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76});
    uint8_t reply[131] = {};
    int32_t length = 0;
    ASSERT_EQ(nv.I2cRead(0, 0x6E, reply, 131, &length), 0);
    driver.script = {{-5, 0}};
    ASSERT_EQ(nv.AuxRead(0, 0x10000, reply, 5), -5);
    driver.dpcd = {{0x10000, 0x05}, {0x10001, 0x1C}};
    ASSERT_EQ(nv.AuxRead(0, 0x10000, reply, 2), 0);

    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "  nvapi i2c-write addr=0x6E len=10 -> 2",
                           "Wait 5000us busy",
                           "  nvapi i2c-write addr=0x6E len=10 -> 0",
                           "I2cWrite addr=0x6E len=10 data=51 87 C2 00 00 05 06 C8 02 B3 -> 0",
                           "  nvapi i2c-read-mot addr=0x6E len=2 -> 0",
                           "Wait 700us busy",
                           "  nvapi i2c-read addr=0x6E len=6 -> 0",
                           "I2cRead addr=0x6E cap=131 -> 0 len=8 data=6E 85 C2 00 00 03 0C 76",
                           "  nvapi native-read addr=0x10000 len=5 -> -5",
                           "AuxRead addr=0x10000 len=5 -> -5",
                           "  nvapi native-read addr=0x10000 len=2 -> 0",
                           "AuxRead addr=0x10000 len=2 -> 0 data=05 1C",
                       }));
}

TEST_F(NvidiaTrace, LongWritesShowTheMoreToFollowKind) {
    const std::vector<uint8_t> data(20, 0xAB);
    driver.script = {{0, 0}, {0, 1}};
    ASSERT_EQ(nv.I2cWrite(0, 0x6E, data.data(), 20), GFX_AUX_NACK);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "  nvapi i2c-write-mot addr=0x6E len=16 -> 0");
    EXPECT_EQ(lines[1], "  nvapi i2c-write addr=0x6E len=4 -> 1");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 8), " -> 1002");
}

}  // namespace
}  // namespace zorvan::test
