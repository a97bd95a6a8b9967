// zorvan-sim and ZorvanISP as a user runs them: the tool's commands on state files, the
// demo folder it writes, and the console program on the virtual chip in that folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/platform/Text.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/chip/secure/EsmImage.h"
#include "sim/chip/secure/ImageSignature.h"
#include "sim/chip/secure/Signature.h"
#include "sim/state/StateFile.h"
#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// zorvan-sim in a folder of its own; paths in its arguments are relative to that folder.
class SimTool : public ::testing::Test {
  protected:
    RunResult Sim(const std::vector<std::string>& args) { return tool_.Run(args); }
    std::string Info(const std::string& state) {
        const RunResult r = Sim({"info", state});
        EXPECT_EQ(r.exitStatus, 0) << r.errors;
        return r.output;
    }
    std::string File(const std::string& name) { return tool_.ReadFile(name).value_or(""); }

    ProgramRunner tool_{"zorvan-sim"};
};

TEST_F(SimTool, InitCreatesTheChipItIsAskedFor) {
    ASSERT_EQ(Sim({"init", "a.state"}).exitStatus, 0);
    EXPECT_EQ(Info("a.state"),
              "family=KQ1100\nserial=1500\nhw-revision=0x21\nmode=boot-rom\n"
              "firmware-version=none\nfirmware-build=none\nsecurity-firmware=stopped\n");
    const struct {
        const char* chip;
        const char* family;
    } chips[] = {
        {"KQ1150", "KQ1150"}, {"talvor", "TALVOR"}, {"Vireen", "VIREEN"}, {"LUMOX", "LUMOX"}};
    for (const auto& c : chips) {
        ASSERT_EQ(Sim({"init", "b.state", "--chip", c.chip, "--serial", "4000000000"}).exitStatus,
                  0);
        const std::string info = Info("b.state");
        EXPECT_THAT(info, StartsWith(std::string("family=") + c.family + "\nserial=4000000000\n"));
    }
}

TEST_F(SimTool, ChipWithTheDemoFirmwareRunsItAndDumpsItBack) {
    ASSERT_EQ(Sim({"assets", "demo"}).exitStatus, 0);
    ASSERT_EQ(Sim({"init", "c.state", "--firmware", "demo/firmware.bin"}).exitStatus, 0);
    EXPECT_THAT(Info("c.state"), HasSubstr("mode=application\nfirmware-version=1.06\n"));
    ASSERT_EQ(Sim({"dump-flash", "c.state", "flash.bin"}).exitStatus, 0);
    EXPECT_EQ(File("flash.bin"), File("demo/firmware.bin"));
    // An image for another family leaves the chip in its boot ROM.
    ASSERT_EQ(
        Sim({"init", "t.state", "--chip", "TALVOR", "--firmware", "demo/firmware.bin"}).exitStatus,
        0);
    EXPECT_THAT(Info("t.state"), HasSubstr("mode=boot-rom\n"));
}

TEST_F(SimTool, PowerCycleKeepsTheFlash) {
    ASSERT_EQ(Sim({"assets", "demo"}).exitStatus, 0);
    const std::string before = File("demo/virtual-chip.state");
    ASSERT_EQ(Sim({"power-cycle", "demo/virtual-chip.state"}).exitStatus, 0);
    EXPECT_THAT(Info("demo/virtual-chip.state"),
                HasSubstr("mode=application\nfirmware-version=1.05\n"));
    EXPECT_EQ(File("demo/virtual-chip.state"), before);  // nothing ran in RAM
}

TEST_F(SimTool, RefusesWrongUseWithoutTouchingFiles) {
    tool_.WriteFile("junk.state", "not a state");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{}, 2, "usage:"},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"init"}, 2, "usage:"},
        {{"init", "x.state", "--chip", "KQ9999"}, 2, "unknown chip \"KQ9999\""},
        {{"init", "x.state", "--serial", "12a"}, 2, "serial number \"12a\""},
        {{"init", "x.state", "--serial", "4294967296"}, 2, "serial number"},
        {{"init", "x.state", "--firmware", "none.bin"}, 1, "cannot read the firmware image"},
        {{"info", "junk.state"}, 1, "is not a virtual chip state file"},
        {{"info", "missing.state"}, 1, "Cannot read the virtual chip state"},
        {{"dump-flash", "junk.state"}, 2, "usage:"},
        {{"power-cycle", "junk.state"}, 1, "is not a virtual chip state file"},
        {{"depot"}, 2, "usage:"},
    };
    for (const auto& c : cases) {
        const RunResult r = Sim(c.args);
        EXPECT_EQ(r.exitStatus, c.status) << r.errors;
        EXPECT_THAT(r.errors, HasSubstr(c.message));
    }
    EXPECT_FALSE(tool_.Exists("x.state"));
    EXPECT_EQ(File("junk.state"), "not a state");
}

TEST_F(SimTool, AssetsWriteTheDemoFolder) {
    const RunResult r = Sim({"assets", "demo"});
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_THAT(r.output, HasSubstr("wrote Config.ini\n"));
    const std::string ini = File("demo/Config.ini");
    EXPECT_THAT(ini, HasSubstr("[Firmware Update]\r\n"));
    EXPECT_THAT(ini, HasSubstr("FWFilePath=firmware.bin\r\n"));
    EXPECT_THAT(ini, HasSubstr("[Simulator]\r\nEnabled=1\r\nClock=virtual\r\n"));

    const std::string firmware = File("demo/firmware.bin");
    ASSERT_EQ(firmware.size(), 0x80000u);
    EXPECT_EQ(firmware.substr(0x7FFEC, 3), std::string("\x06\x01\x00", 3));
    EXPECT_EQ(firmware.substr(0x7E000, 4), "CMDB");
    EXPECT_NE(firmware.substr(0x60000, 4), "Kq11");
    EXPECT_EQ(File("demo/firmware_old.bin").substr(0x7FFEC, 3), std::string("\x05\x01\x00", 3));

    const std::string cmdb = File("demo/cmdb.bin");
    ASSERT_EQ(cmdb.size(), 128u);
    EXPECT_EQ(cmdb.substr(0, 8), std::string("CMDB\x02\x01\x03\x04", 8));
    unsigned sum = 0;
    for (char c : cmdb) {
        sum += static_cast<unsigned char>(c);
    }
    EXPECT_EQ(sum % 256, 0u);

    EXPECT_EQ(Info("demo/virtual-chip.state"),
              "family=KQ1100\nserial=1500\nhw-revision=0x21\nmode=application\n"
              "firmware-version=1.05\nfirmware-build=0\nsecurity-firmware=stopped\n");
}

std::vector<uint8_t> AsBytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

uint32_t LittleEndian32(const std::vector<uint8_t>& bytes) {
    return bytes.size() < 4 ? 0
                            : bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                  (static_cast<uint32_t>(bytes[3]) << 24);
}

TEST_F(SimTool, AssetsAreSignedForTheChipsKey) {
    ASSERT_EQ(Sim({"assets", "demo"}).exitStatus, 0);
    const std::string_view key = sim::ChipPublicKeyPem();

    // driver.bin: header, payload, and the payload's signature.
    const std::vector<uint8_t> driver = AsBytes(File("demo/driver.bin"));
    const uint32_t length = LittleEndian32(driver);
    ASSERT_EQ(driver.size(), 4 + length + 256);
    const std::span<const uint8_t> payload(driver.data() + 4, length);
    const std::span<const uint8_t> signature(driver.data() + 4 + length, 256);
    EXPECT_TRUE(sim::VerifySignature({payload}, signature, key));

    // esm.bin: header and an intact ESM payload of that length, not in whole 256-byte groups.
    const std::vector<uint8_t> esm = AsBytes(File("demo/esm.bin"));
    const uint32_t esmLength = LittleEndian32(esm);
    ASSERT_EQ(esm.size(), 4 + esmLength);
    EXPECT_TRUE(sim::IsIntactEsm(std::span<const uint8_t>(esm.data() + 4, esmLength), esmLength));
    EXPECT_GE(esmLength % 256, 116u);
    EXPECT_LE(esmLength % 256, 230u);

    for (const char* name : {"demo/firmware.bin", "demo/firmware_old.bin"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> image = AsBytes(File(name));
        ASSERT_EQ(image.size(), sim::kFlashSize);
        EXPECT_TRUE(sim::IsRunnableImage(image, sim::ChipFamily::Kq1100));
        EXPECT_TRUE(sim::ImageSignatureValid(
            image,
            std::span<const uint8_t>(image.data() + sim::kLastKibOffset, sim::kLastKibSize)));
    }
}

TEST_F(SimTool, PowerCycleStopsTheSecurityFirmware) {
    sim::ChipState state = sim::NewChipState(sim::ChipFamily::Kq1100, 1500);
    state.securityFirmwareRunning = true;
    std::wstring error;
    ASSERT_TRUE(sim::SaveState(FromUtf8((tool_.Folder() / "esm.state").string()), state, error))
        << ToUtf8(error);
    EXPECT_THAT(Info("esm.state"), HasSubstr("security-firmware=running\n"));
    ASSERT_EQ(Sim({"power-cycle", "esm.state"}).exitStatus, 0);
    EXPECT_THAT(Info("esm.state"), HasSubstr("security-firmware=stopped\n"));
}

// ZorvanISP copied into a folder that zorvan-sim filled.
class ConsoleOnDemo : public ::testing::Test {
  protected:
    void SetUp() override {
        const RunResult r = tool_.Run({"assets", isp_.Folder().string()});
        ASSERT_EQ(r.exitStatus, 0) << r.errors;
    }
    ProgramRunner tool_{"zorvan-sim"};
    ProgramRunner isp_{"ZorvanISP"};
};

TEST_F(ConsoleOnDemo, ChipInfoGetsThroughTheAdapterSelection) {
    const RunResult r = isp_.Run({"-ChipInfo"});
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_THAT(r.output,
                StartsWith("Zorvan ISP Tool v2.1f\r\nGraphics adapter: NVIDIA: 0x1000\r\n"));
    const std::string log = isp_.ReadLog().value_or("");
    EXPECT_THAT(log, HasSubstr("Graphics adapter initialization - NVIDIA: done!\r\n"
                               "NV GPU Count =  1\r\n<GPU: 0>\r\n"
                               "  Num of ConnectedDisplayID =  1\r\n"
                               "  Found MST Root-Node on Index 0\r\n"));
    // The chip was saved at the end of the run, still whole.
    const RunResult info = tool_.Run({"info", (isp_.Folder() / "virtual-chip.state").string()});
    EXPECT_EQ(info.exitStatus, 0) << info.errors;
}

TEST_F(ConsoleOnDemo, MissingStateFileBecomesANewBlankChip) {
    isp_.Remove("virtual-chip.state");
    ASSERT_EQ(isp_.Run({"-ChipInfo"}).exitStatus, 0);
    const RunResult info = tool_.Run({"info", (isp_.Folder() / "virtual-chip.state").string()});
    EXPECT_THAT(info.output,
                StartsWith("family=KQ1100\nserial=1500\nhw-revision=0x21\nmode=boot-rom\n"));
}

TEST_F(ConsoleOnDemo, ABrokenSimulatorSetupNeverFallsThroughToHardware) {
    const struct {
        const char* section;
        const char* message;
    } cases[] = {
        {"Enabled=1\r\nClock=sometimes\r\n", "[Simulator] Clock=sometimes"},
        {"Enabled=1\r\nVendor=Matrox\r\n", "[Simulator] Vendor=Matrox"},
    };
    for (const auto& c : cases) {
        isp_.WriteConfig(
            std::string("[Firmware Update]\r\nFWFilePath=firmware.bin\r\n[Simulator]\r\n") +
            c.section);
        const RunResult r = isp_.Run({"-ChipInfo"});
        EXPECT_THAT(r.output, HasSubstr(c.message));
        EXPECT_THAT(r.output, ::testing::Not(HasSubstr("Graphics adapter")));
    }
    isp_.WriteConfig(
        "[Firmware Update]\r\nFWFilePath=firmware.bin\r\n[Simulator]\r\nEnabled=1\r\n"
        "StateFile=virtual-chip.state\r\n");
    isp_.WriteFile("virtual-chip.state", "damaged");
    const RunResult r = isp_.Run({"-ChipInfo"});
    EXPECT_THAT(r.output, HasSubstr("is not a virtual chip state file"));
    EXPECT_EQ(isp_.ReadFile("virtual-chip.state").value_or(""), "damaged");
}

}  // namespace
}  // namespace zorvan::testing
