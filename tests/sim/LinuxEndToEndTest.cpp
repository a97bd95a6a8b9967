// ZorvanISP and zorvan-links on the virtual Linux kernel ([Simulator] Vendor=Linux), as a
// user runs them in a demo folder of zorvan-sim: what the console, the log and the link
// trace show, what the chip's flash holds afterwards, and what the connector listing and
// the read-only probe tell; faults on the link never end in a wrong success. Also the
// programs on this PC itself, without the simulator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/console/DemoFolderTest.h"
#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kAdapter =
    "Graphics adapter: Linux: card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5)\r\n";
const std::string kConnectors =
    "Graphics adapter initialization - Linux: done!\r\n"
    "Linux DisplayPort connectors: 4\r\n"
    "  card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5), connected: ";
const std::string kConnectionFailed =
    "Graphics adapter initialization done but connection failed!\r\n";
const std::string kRootOnly =
    "/dev/drm_dp_aux0 is root-only (mode 0600): install the udev rule 60-zorvan-dp-aux.rules "
    "(README, \"Real hardware on Linux\"), add this user to group video and log in again";
constexpr size_t kCertificateOffset = 0x60000;

class LinuxEndToEnd : public DemoFolderTest {
protected:
    void SetUp() override {
        DemoFolderTest::SetUp();
        Simulate("Vendor=Linux\r\n");
    }
    RunResult Traced(const std::string& option) const {
        RunOptions traced;
        traced.environment["ZORVAN_TRACE"] = (program_.Folder() / "link.trace").string();
        RunResult r = program_.Run({option}, traced);
        EXPECT_EQ(r.exitStatus, 0) << r.errors;
        return r;
    }
    std::string Trace() const { return program_.ReadFile("link.trace").value_or(""); }
};

TEST_F(LinuxEndToEnd, ChipInfoGoesThroughTheConfiguredConnector) {
    Configure("LinuxConnector=card0-DP-1\r\n");
    const RunResult r = Traced("-ChipInfo");
    EXPECT_THAT(r.output, HasSubstr("Zorvan ISP Tool v2.1f\r\n" + kAdapter + "[Chip Information]\r\n"
                                    "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  "
                                    "(cut2.1)\r\nChip serial #: 1500 ("));
    EXPECT_THAT(Log(), StartsWith("Gfx Selection = 5\r\n" + kConnectors + "the chip answers\r\n" +
                                  kAdapter));
    const std::string trace = Trace();
    EXPECT_THAT(trace, HasSubstr("  linux i2c-write addr=0x6E len=8 -> 8\n"
                                 "I2cWrite addr=0x6E len=8 data=51 85 C2 00 00 03 0A 71 -> 0\n"));
    EXPECT_THAT(trace, HasSubstr("  linux i2c-read addr=0x6E len=131 -> 131\n"
                                 "I2cRead addr=0x6E cap=131 -> 0 len=8 "));
    EXPECT_THAT(trace, Not(HasSubstr("  nvapi ")));
}

TEST_F(LinuxEndToEnd, AutomaticSelectionTakesTheChipsConnectorAfterTheVendorsFail) {
    Screen("-ChipInfo");
    EXPECT_THAT(Log(), StartsWith("Gfx Selection = 0\r\n"
                                  "Graphics adapter initialization - NVIDIA: failed! (-2)\r\n"
                                  "Graphics adapter initialization - AMD: Loading DLL failed!\r\n"
                                  "Graphics adapter initialization - Intel (LS-PCON): failed! "
                                  "(-2147221005)\r\n" +
                                  kConnectors + "the chip answers\r\n" + kAdapter));
}

TEST_F(LinuxEndToEnd, RunProgramsTheImageThroughTheAuxNode) {
    Configure("LinuxConnector=/dev/drm_dp_aux0\r\n");
    const std::string image = program_.ReadFile("firmware.bin").value_or("");
    ASSERT_EQ(image.size(), 0x80000u);
    const std::string screen = WithoutProgress(Traced("-Run").output);
    EXPECT_THAT(screen, HasSubstr(kAdapter));
    EXPECT_THAT(screen, HasSubstr("Flash FW version comparison successful!  Version: 1.06\r\n"
                                  "ISP successful! (Version: 1.06)\r\n"
                                  "System Reset ... Done!\r\n"));
    EXPECT_THAT(Log(), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_EQ(Flash(), image);
    // The ISP driver's mailbox goes over the AUX node, 16 bytes a call at most.
    const std::string trace = Trace();
    EXPECT_THAT(trace, HasSubstr("\n  linux aux-write addr=0x20000 len=16 -> 16\n"));
    EXPECT_THAT(trace, HasSubstr("\n  linux aux-read addr=0x10000 len="));
    EXPECT_THAT(trace, Not(HasSubstr(" len=17 -> ")));
}

TEST_F(LinuxEndToEnd, SecureRunProgramsTheSignedImage) {
    Configure("LinuxConnector=card0-DP-1\r\nSecureISP=1\r\n");
    const std::string image = program_.ReadFile("firmware.bin").value_or("");
    const std::string screen = Screen("-Run");
    EXPECT_THAT(screen, HasSubstr("[Run Secure ISP]\r\n"));
    EXPECT_THAT(screen, HasSubstr("Check ESM status... Not started!\r\n"));
    EXPECT_THAT(screen, HasSubstr("Secure ISP successful! (Version: 1.06)\r\n"));
    EXPECT_EQ(Flash(), image);
}

TEST_F(LinuxEndToEnd, CertificateIsWrittenAndVerified) {
    Configure("LinuxConnector=card0-DP-1\r\n");
    ASSERT_EQ(Flash().substr(kCertificateOffset, 4), std::string(4, '\xFF'));
    const std::string written = Screen("-WriteDevCert");
    EXPECT_THAT(written, HasSubstr(kAdapter));
    EXPECT_THAT(written, HasSubstr("Device Certificate... Verified successfully!\r\n"));
    EXPECT_EQ(Flash().substr(kCertificateOffset, 2), "Kq");
    const std::string verified = Screen("-VerifyDevCert");
    EXPECT_THAT(verified, HasSubstr("[Verify Device Certificate]\r\n"));
    EXPECT_THAT(verified, HasSubstr("Device Certificate... Verified successfully!\r\n"));
}

TEST_F(LinuxEndToEnd, NodesWithoutTheUdevRuleAreRefusedWithWhatToDo) {
    Configure("LinuxConnector=card0-DP-1\r\n");
    Simulate("LinuxUdevRule=0\r\n");
    const std::string before = Flash();
    const std::string screen = Screen("-ChipInfo");
    EXPECT_THAT(screen, HasSubstr(kConnectionFailed));
    EXPECT_THAT(Log(), HasSubstr(kConnectors + kRootOnly + "\r\n" + kConnectionFailed));
    EXPECT_EQ(Flash(), before);
}

TEST_F(LinuxEndToEnd, AddressOwnedByAKernelDriverIsTakenOnlyWithLinuxForceDdc) {
    Configure("LinuxConnector=card0-DP-1\r\n");
    Simulate("LinuxDdcClaimed=1\r\n");
    EXPECT_THAT(Screen("-ChipInfo"), HasSubstr(kConnectionFailed));
    EXPECT_THAT(Log(), HasSubstr(kConnectors +
                                 "0x37 on /dev/i2c-5 is owned by the kernel driver ddcci: unload "
                                 "it, or set LinuxForceDdc=1 in [Firmware Update] to use it "
                                 "anyway\r\n"));
    Configure("LinuxForceDdc=1\r\n");
    const std::string screen = Screen("-ChipInfo");
    EXPECT_THAT(screen, HasSubstr(kAdapter + "[Chip Information]\r\n"));
    EXPECT_THAT(screen, HasSubstr("Zorvan App: KQ1100 v1.05"));
}

struct FaultCase {
    const char* name;
    const char* rates;  // [Simulator] lines
    bool mustSucceed;   // the kernel's own retries absorb these
    bool secure = false;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const FaultCase kFaults[] = {
    {"DefersSeed1", "FaultSeed=1\r\nAuxDeferRate=0.2\r\nI2cDeferRate=0.2\r\n", true},
    {"DefersSeed7", "FaultSeed=7\r\nAuxDeferRate=0.2\r\nI2cDeferRate=0.2\r\n", true},
    {"RepliesSeed2",
     "FaultSeed=2\r\nAuxDeferRate=0.05\r\nI2cDeferRate=0.05\r\nNullReplyRate=0.05\r\n"
     "CorruptReplyRate=0.02\r\n",
     false},
    {"RepliesSeed3",
     "FaultSeed=3\r\nAuxDeferRate=0.05\r\nI2cDeferRate=0.05\r\nNullReplyRate=0.05\r\n"
     "CorruptReplyRate=0.02\r\n",
     false},
    {"NullRepliesSeed5",
     "FaultSeed=5\r\nAuxDeferRate=0.1\r\nI2cDeferRate=0.1\r\nNullReplyRate=0.1\r\n", false},
    {"CorruptRepliesSeed6", "FaultSeed=6\r\nCorruptReplyRate=0.01\r\n", false},
    {"SecureDefersSeed4", "FaultSeed=4\r\nAuxDeferRate=0.2\r\nI2cDeferRate=0.2\r\n", true, true},
    {"SecureRepliesSeed8",
     "FaultSeed=8\r\nAuxDeferRate=0.05\r\nNullReplyRate=0.05\r\nCorruptReplyRate=0.01\r\n",
     false, true},
};

class LinuxFaults : public LinuxEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LinuxFaults, ARunSucceedsOnlyWithTheImageInTheFlash) {
    Configure(std::string("LinuxConnector=card0-DP-1\r\nExitStatus=1\r\n") +
              (GetParam().secure ? "SecureISP=1\r\n" : ""));
    Simulate(GetParam().rates);
    const std::string image = program_.ReadFile("firmware.bin").value_or("");
    const RunResult r = program_.Run({"-Run"});
    const std::string screen = WithoutProgress(r.output);
    ASSERT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << r.errors;
    if (GetParam().mustSucceed) {
        EXPECT_EQ(r.exitStatus, 0) << screen;
    }
    if (r.exitStatus == 0) {
        EXPECT_THAT(screen, HasSubstr(GetParam().secure ? "Secure ISP successful! (Version: 1.06)\r\n"
                                                        : "ISP successful! (Version: 1.06)\r\n"));
        EXPECT_EQ(Flash(), image);
    } else {
        EXPECT_THAT(screen, Not(HasSubstr("successful! (Version")));
        // The plain run shows its failure in the FAILED banner, the secure run in plain text.
        if (!GetParam().secure) {
            EXPECT_THAT(screen,
                        HasSubstr("#    ########    ###    #### ##       ######## ########     #"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, LinuxFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& p) { return std::string(p.param.name); });

// zorvan-links in a demo folder of its own.
class LinksEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const RunResult made = tool_.Run({"assets", links_.Folder().string()});
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
        Simulate("Vendor=Linux\r\n");
    }
    void Simulate(const std::string& lines) const {
        std::string ini = links_.ReadFile("Config.ini").value_or("");
        const size_t at = ini.find("[Simulator]\r\n");
        ASSERT_NE(at, std::string::npos);
        ini.insert(at + 13, lines);
        links_.WriteConfig(ini);
    }
    std::string Flash() const {
        const std::string out = (links_.Folder() / "flash.bin").string();
        EXPECT_EQ(tool_.Run({"dump-flash", (links_.Folder() / "virtual-chip.state").string(), out})
                      .exitStatus,
                  0);
        return links_.ReadFile("flash.bin").value_or("");
    }

    ProgramRunner links_{"zorvan-links"};
    ProgramRunner tool_{"zorvan-sim"};
};

TEST_F(LinksEndToEnd, ListShowsEveryDisplayPortConnectorWithItsNodesAndAccess) {
    const RunResult r = links_.Run({"list"});
    EXPECT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.output,
              "GPU           DRIVER  CONNECTOR   STATUS        DISPLAY      AUX NODE          AUX NAME"
              "           I2C BUS     ACCESS\n"
              "0000:00:02.0  i915    card0-DP-1  connected     Merak 2710H  /dev/drm_dp_aux0  AUX B/DDI "
              "B/PHY B  /dev/i2c-5  yes\n"
              "0000:00:02.0  i915    card0-DP-2  disconnected  -            /dev/drm_dp_aux1  AUX C/DDI "
              "C/PHY C  /dev/i2c-6  yes\n"
              "0000:01:00.0  nvidia  card1-DP-1  connected     Merak 3200U  -                 -        "
              "          -           no: nvidia-drm registers no AUX device\n"
              "0000:01:00.0  nvidia  card1-DP-2  disconnected  -            -                 -        "
              "          -           no: nvidia-drm registers no AUX device\n");
}

TEST_F(LinksEndToEnd, ListWithoutTheUdevRuleTellsWhyEachConnectorIsClosed) {
    Simulate("LinuxUdevRule=0\r\n");
    const RunResult r = links_.Run({"list"});
    EXPECT_EQ(r.exitStatus, 0) << r.errors;
    std::istringstream lines(r.output);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 5u) << r.output;
    EXPECT_THAT(rows[1], HasSubstr("  card0-DP-1  connected  "));
    EXPECT_THAT(rows[1], ::testing::EndsWith("  no: " + kRootOnly));
    EXPECT_THAT(rows[2], ::testing::EndsWith(
                             "  no: /dev/drm_dp_aux1 is root-only (mode 0600): install the udev "
                             "rule 60-zorvan-dp-aux.rules (README, \"Real hardware on Linux\"), add "
                             "this user to group video and log in again"));
    EXPECT_THAT(rows[3], ::testing::EndsWith("  no: nvidia-drm registers no AUX device"));
}

TEST_F(LinksEndToEnd, ProbeIdentifiesTheChipAndWritesNothingButTheQueries) {
    const std::string before = Flash();
    RunOptions traced;
    traced.environment["ZORVAN_TRACE"] = (links_.Folder() / "link.trace").string();
    const RunResult r = links_.Run({"probe", "card0-DP-1"}, traced);
    EXPECT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_EQ(r.output,
              "card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5), connected\n"
              "DPCD 0x000: 12 14 84 01 01 01 00 01 00 00 00 00 00 00 00 00\n"
              "  DPCD revision 1.2, 4 lane(s) at 5.4 Gbit/s, branch device (downstream port present)\n"
              "DPCD 0x500: 00 00 00 4B 51 31 31 30 30 21 01 05 00 00 00 00\n"
              "  OUI 00-00-00, device \"KQ1100\", hardware revision 0x21, firmware 1.05\n"
              "Probe at DDC/CI 0x6E: the chip answers [6E 85 C2 00 00 03 0C 76]\n"
              "Chip type: Vexa1100 (type 0)\n");
    EXPECT_EQ(Flash(), before);
    const std::string trace = links_.ReadFile("link.trace").value_or("");
    EXPECT_THAT(trace, Not(HasSubstr("aux-write")));
    std::istringstream lines(trace);
    std::vector<std::string> writes;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("I2cWrite ", 0) == 0) {
            writes.push_back(line);
        }
    }
    // The probe packet and the chip-type query, nothing else.
    EXPECT_EQ(writes, (std::vector<std::string>{
                          "I2cWrite addr=0x6E len=8 data=51 85 C2 00 00 03 0A 71 -> 0",
                          "I2cWrite addr=0x6E len=10 data=51 87 C2 00 00 05 06 C8 02 B3 -> 0"}));
}

TEST_F(LinksEndToEnd, ProbeOfAConnectorWithoutTheChipFails) {
    const RunResult r = links_.Run({"probe", "card0-DP-2"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_THAT(r.output, HasSubstr("DPCD 0x000: read failed (5110 ETIMEDOUT)\n"));
    EXPECT_THAT(r.output, HasSubstr("Probe at DDC/CI 0x6E: no answer (5110 ETIMEDOUT)\n"
                                    "Chip type: no answer\n"));
    EXPECT_EQ(r.errors, "card0-DP-2: no Zorvan chip answers at DDC/CI 0x6E.\n");
}

TEST_F(LinksEndToEnd, ProbeNamesWhatKeepsAConnectorFromBeingProbed) {
    const struct {
        const char* connector;
        const char* simulate;
        std::string error;
    } cases[] = {
        {"card1-DP-1", "", "card1-DP-1: nvidia-drm registers no AUX device\n"},
        {"card7-DP-1", "", "card7-DP-1: no such DisplayPort connector (zorvan-links list shows them).\n"},
        {"card0-DP-1", "LinuxUdevRule=0\r\n", "card0-DP-1: " + kRootOnly + "\n"},
        {"/dev/drm_dp_aux0", "LinuxUdevRule=1\r\nLinuxDdcClaimed=1\r\n",
         "card0-DP-1: 0x37 on /dev/i2c-5 is owned by the kernel driver ddcci: unload it, or set "
         "LinuxForceDdc=1 in [Firmware Update] to use it anyway\n"},
    };
    for (const auto& c : cases) {
        Simulate(c.simulate);
        const RunResult r = links_.Run({"probe", c.connector});
        EXPECT_EQ(r.exitStatus, 1) << c.connector;
        EXPECT_EQ(r.errors, c.error) << c.connector;
    }
}

TEST_F(LinksEndToEnd, WrongUseShowsTheUsage) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"probe"}, {"lst"}, {"list", "extra"}, {"probe", "a", "b"}}) {
        const RunResult r = links_.Run(args);
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_THAT(r.errors, StartsWith("usage: zorvan-links list\n"));
        EXPECT_EQ(r.output, "");
    }
}

TEST_F(LinksEndToEnd, AVirtualPcOfAnotherVendorHasNoAuxDevice) {
    std::string ini = links_.ReadFile("Config.ini").value_or("");
    ini.replace(ini.find("Vendor=Linux"), 12, "Vendor=AMD");
    links_.WriteConfig(ini);
    const RunResult r = links_.Run({"list"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.errors,
              "No DisplayPort AUX device: /sys/class/drm does not exist (no DRM graphics driver is "
              "loaded).\n");
}

// This PC itself, without the simulator: only meaningful where it has no DRM graphics.
class WithoutSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::filesystem::exists("/sys/class/drm")) {
            GTEST_SKIP() << "this PC has DRM graphics devices";
        }
    }
};

TEST_F(WithoutSimulator, LinksSaysThereIsNoAuxDevice) {
    ProgramRunner links("zorvan-links");
    const RunResult r = links.Run({"list"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_THAT(r.errors, StartsWith("No DisplayPort AUX device: "));
    const RunResult probed = links.Run({"probe", "card0-DP-1"});
    EXPECT_EQ(probed.exitStatus, 1);
    EXPECT_THAT(probed.errors, StartsWith("No DisplayPort AUX device: "));
}

TEST_F(WithoutSimulator, ChipInfoReportsThatTheAdapterFailed) {
    ProgramRunner isp("ZorvanISP");
    isp.WriteConfig("[Firmware Update]\r\nLinuxConnector=card0-DP-1\r\n");
    const RunResult r = isp.Run({"-ChipInfo"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_THAT(r.output, HasSubstr("Graphics adapter initialization failed!\r\n"));
    EXPECT_THAT(isp.ReadLog().value_or(""),
                StartsWith("Gfx Selection = 5\r\n"
                           "Graphics adapter initialization - Linux: no DisplayPort AUX device!\r\n"));
}

}  // namespace
}  // namespace zorvan::testing
