// ZorvanISP on the virtual PC of each graphics vendor, as a user runs it: the demo folder
// of zorvan-sim with [Simulator] Vendor= set, in automatic selection and with the
// vendor's device-id key. What the console and the log show, what the link trace lists,
// and what the chip's flash holds after a CMDB write and after a firmware update.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr size_t kCmdbOffset = 0x7E000;

struct VendorCase {
    const char* name;
    const char* vendor;
    const char* deviceIdKey;   // a [Firmware Update] line, or "" for automatic selection
    const char* adapterLine;   // on the console, and in the log after the transcript
    std::string transcript;    // in the log
    const char* traceRequest;  // a driver request line of the link trace
    const char* traceVendor;   // the vendor name of the driver's request lines
};

void PrintTo(const VendorCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kNvidiaAbsent = "Graphics adapter initialization - NVIDIA: failed! (-2)\r\n";
const std::string kAmdAbsent = "Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
const std::string kAmdListing =
    "Graphics adapter initialization - AMD: done!\r\n"
    "AMD Adapter num#= 1\r\n"
    " Active Adapter# 0:\r\n"
    "   Num of Disp = 1\r\n"
    "     Disp# 0: LogicId=0x0000 , Type(15) , Conn(3)\r\n"
    "          Test Read = 0x1\r\n";

const VendorCase kCases[] = {
    {"AmdAutomatic", "AMD", "", "Graphics adapter: AMD: 0x00\r\n",
     "Gfx Selection = 0\r\n" + kNvidiaAbsent + kAmdListing,
     "  adl ddc-write addr=0x6E len=8 -> 0\n", "adl"},
    {"AmdConfigured", "AMD", "AmdDeviceId=0\r\n", "Graphics adapter: AMD: 0x00\r\n",
     "Gfx Selection = 2\r\n" + kAmdListing, "  adl ddc-read addr=0x6F len=2 -> 0\n", "adl"},
    {"IntelAutomatic", "Intel", "", "Graphics adapter: Intel: 0x1000\r\n",
     "Gfx Selection = 0\r\n" + kNvidiaAbsent + kAmdAbsent +
         "Graphics adapter initialization - Intel (LS-PCON): done!\r\n"
         "  Not Supported!\r\n"
         "Graphics adapter initialization - Intel: done!\r\n"
         "  Device GUID: 0x1000 [AUX] = OK\r\n",
     "  cui i2c-read-mot addr=0x6E len=16 -> 0\n", "cui"},
    {"IntelConfigured", "Intel", "IntelLegacyDeviceId=4096\r\n",
     "Graphics adapter: Intel: 0x1000\r\n",
     "Gfx Selection = 4\r\nGraphics adapter initialization - Intel: done!\r\n",
     "  cui i2c-write addr=0x6E len=10 -> 0\n", "cui"},
    {"LspconAutomatic", "LSPCON", "", "Graphics adapter: Intel (LS-PCON): 0x0C\r\n",
     "Gfx Selection = 0\r\n" + kNvidiaAbsent + kAmdAbsent +
         "Graphics adapter initialization - Intel (LS-PCON): done!\r\n"
         "  Device ID: 0x0C = OK\r\n",
     "  cui-lspcon i2c-read-mot addr=0x6E len=2 -> 0\n", "cui-lspcon"},
    {"LspconConfigured", "LSPCON", "DeviceID=12\r\n", "Graphics adapter: Intel (LS-PCON): 0x0C\r\n",
     "Gfx Selection = 3\r\nGraphics adapter initialization - Intel (LS-PCON): done!\r\n",
     "  cui-lspcon i2c-read addr=0x6E len=10 -> 0\n", "cui-lspcon"},
};

class VendorEndToEnd : public ::testing::TestWithParam<VendorCase> {
  protected:
    void SetUp() override {
        const RunResult made = tool_.Run({"assets", program_.Folder().string()});
        ASSERT_EQ(made.exitStatus, 0) << made.errors;
        const VendorCase& c = GetParam();
        std::string ini = program_.ReadFile("Config.ini").value_or("");
        const std::string firmware = "[Firmware Update]\r\n";
        const std::string simulator = "[Simulator]\r\n";
        ASSERT_NE(ini.find(firmware), std::string::npos);
        ini.insert(ini.find(firmware) + firmware.size(), c.deviceIdKey);
        ASSERT_NE(ini.find(simulator), std::string::npos);
        ini.insert(ini.find(simulator) + simulator.size(),
                   std::string("Vendor=") + c.vendor + "\r\n");
        program_.WriteConfig(ini);
    }

    std::string Flash() const {
        const std::string state = (program_.Folder() / "virtual-chip.state").string();
        const std::string out = (program_.Folder() / "flash.bin").string();
        EXPECT_EQ(tool_.Run({"dump-flash", state, out}).exitStatus, 0);
        return program_.ReadFile("flash.bin").value_or("");
    }

    ProgramRunner program_{"ZorvanISP"};
    ProgramRunner tool_{"zorvan-sim"};
};

TEST_P(VendorEndToEnd, ChipInfoReachesTheChipThroughTheVendorsDriver) {
    const VendorCase& c = GetParam();
    RunOptions traced;
    traced.environment["ZORVAN_TRACE"] = (program_.Folder() / "link.trace").string();
    const RunResult r = program_.Run({"-ChipInfo"}, traced);
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_THAT(r.output, HasSubstr(std::string("Zorvan ISP Tool v2.1f\r\n") + c.adapterLine));
    EXPECT_THAT(r.output, HasSubstr("[Chip Information]\r\n"
                                    "Current on-board F/W Version: Zorvan App: KQ1100 v1.05  "
                                    "(cut2.1)\r\nChip serial #: 1500 ("));
    EXPECT_THAT(program_.ReadLog().value_or(""), HasSubstr(c.transcript + c.adapterLine));
    const std::string trace = program_.ReadFile("link.trace").value_or("");
    EXPECT_THAT(trace, HasSubstr(c.traceRequest));
    EXPECT_THAT(trace, Not(HasSubstr("  nvapi ")));
}

TEST_P(VendorEndToEnd, WriteCmdbChangesOnlyTheCmdbBlockOfTheFlash) {
    std::string expected = Flash();
    const std::string cmdb = program_.ReadFile("cmdb.bin").value_or("");
    ASSERT_EQ(expected.size(), 0x80000u);
    ASSERT_FALSE(cmdb.empty());
    expected.replace(kCmdbOffset, cmdb.size(), cmdb);

    RunOptions traced;
    traced.environment["ZORVAN_TRACE"] = (program_.Folder() / "link.trace").string();
    const RunResult r = program_.Run({"-WriteCmdb"}, traced);
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    // The ISP driver's mailbox goes over the vendor's native AUX requests.
    const std::string trace = program_.ReadFile("link.trace").value_or("");
    const std::string vendor = std::string("\n  ") + GetParam().traceVendor;
    EXPECT_THAT(trace, HasSubstr(vendor + " native-write addr=0x"));
    EXPECT_THAT(trace, HasSubstr(vendor + " native-read addr=0x"));
    EXPECT_THAT(r.output,
                HasSubstr("CMDB... Verified successfully!\r\nSystem Reset ... Done!\r\n"));
    EXPECT_EQ(Flash(), expected);
}

TEST_P(VendorEndToEnd, RunProgramsTheImageAndTheFlashEqualsIt) {
    const std::string image = program_.ReadFile("firmware.bin").value_or("");
    ASSERT_EQ(image.size(), 0x80000u);
    const RunResult r = program_.Run({"-Run"});
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_THAT(r.output, HasSubstr("Flash FW version comparison successful!  Version: 1.06\r\n"
                                    "ISP successful! (Version: 1.06)\r\n"
                                    "System Reset ... Done!\r\n"));
    EXPECT_THAT(program_.ReadLog().value_or(""), HasSubstr("ISP successful! (Version: 1.06)\r\n"));
    EXPECT_EQ(Flash(), image);
}

INSTANTIATE_TEST_SUITE_P(Vendors, VendorEndToEnd, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zorvan::testing
