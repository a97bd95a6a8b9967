// The DisplayPort connectors as the Linux backend reads them from a scripted sysfs: which
// entries count, what each row holds, and for each thing that keeps a connector from
// being used the reason a user is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "core/gfx/linux/Connectors.h"
#include "tests/gfx/FakeLinux.h"

namespace zorvan::test {
namespace {

using linuxlink::ConnectorScan;
using linuxlink::DpConnector;
using linuxlink::ScanConnectors;

constexpr char kDp1[] = "/sys/class/drm/card0-DP-1";

TEST(LinuxConnectors, ListsTheDisplayPortConnectorsInNaturalOrderWithGpuNodesAndDisplay) {
    FakeLinux sys;
    sys.AddDp("card0-DP-10", "0000:00:02.0", "i915", 2, 7);
    sys.AddDp("card0-DP-2", "0000:00:02.0", "i915", 1, 6, "disconnected");
    sys.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
    sys.AddDpWithoutAux("card1-DP-1", "0000:01:00.0", "nvidia");
    // Not connectors of ours: another connector type, render nodes, the version file.
    sys.dirs["/sys/class/drm"].insert(sys.dirs["/sys/class/drm"].end(),
                                      {"card0-HDMI-A-1", "renderD128", "version", "card0-DP-x"});

    const ConnectorScan scan = ScanConnectors(sys, true);
    ASSERT_TRUE(scan.drmPresent);
    std::vector<std::string> names;
    for (const DpConnector& c : scan.connectors) {
        names.push_back(c.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"card0-DP-1", "card0-DP-2", "card0-DP-10",
                                               "card1-DP-1"}));

    const DpConnector& dp1 = scan.connectors[0];
    EXPECT_EQ(dp1.card, "card0");
    EXPECT_EQ(dp1.gpuAddress, "0000:00:02.0");
    EXPECT_EQ(dp1.gpuDriver, "i915");
    EXPECT_EQ(dp1.status, "connected");
    EXPECT_EQ(dp1.displayName, "Panel card0-D");  // the descriptor holds 13 characters
    EXPECT_EQ(dp1.auxNode, "/dev/drm_dp_aux0");
    EXPECT_EQ(dp1.auxName, "AUX card0-DP-1");
    EXPECT_EQ(dp1.i2cBus, "i2c-5");
    EXPECT_EQ(dp1.i2cNode, "/dev/i2c-5");
    EXPECT_TRUE(dp1.Usable()) << dp1.problem;
    EXPECT_EQ(linuxlink::Describe(dp1), "card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5)");

    EXPECT_FALSE(scan.connectors[1].Connected());
    EXPECT_EQ(scan.connectors[1].displayName, "");
    EXPECT_EQ(scan.connectors[3].gpuDriver, "nvidia");
    EXPECT_FALSE(scan.connectors[3].HasAux());
    EXPECT_TRUE(scan.AnyAux());

    // The access check opens each node once and leaves none open.
    EXPECT_THAT(sys.calls, ::testing::Contains("open /dev/drm_dp_aux0"));
    EXPECT_THAT(sys.calls, ::testing::Contains("close /dev/i2c-5"));
    EXPECT_EQ(sys.OpenDevices(), 0u);
}

TEST(LinuxConnectors, WithoutDrmThereIsNothingToList) {
    FakeLinux sys;
    const ConnectorScan scan = ScanConnectors(sys, true);
    EXPECT_FALSE(scan.drmPresent);
    EXPECT_TRUE(scan.connectors.empty());
    EXPECT_FALSE(scan.AnyAux());
}

struct ProblemCase {
    const char* name;
    std::function<void(FakeLinux&)> setup;
    std::string problem;
};

void PrintTo(const ProblemCase& c, std::ostream* os) { *os << c.name; }

linuxsys::FileStatus Node(uint32_t mode, uint32_t gid, uint32_t major, uint32_t minor) {
    linuxsys::FileStatus st;
    st.type = linuxsys::FileType::kCharDevice;
    st.mode = mode;
    st.gid = gid;
    st.deviceMajor = major;
    st.deviceMinor = minor;
    return st;
}

const ProblemCase kProblems[] = {
    {"NvidiaRegistersNoAux",
     [](FakeLinux& s) {
         s = FakeLinux{};
         s.AddDpWithoutAux("card0-DP-1", "0000:01:00.0", "nvidia");
     },
     "nvidia-drm registers no AUX device"},
    {"OtherDriverRegistersNoAux",
     [](FakeLinux& s) {
         s = FakeLinux{};
         s.AddDpWithoutAux("card0-DP-1", "0000:03:00.0", "amdgpu");
     },
     "amdgpu registers no AUX device for this connector"},
    {"NoI2cBusWithTheAuxName",
     [](FakeLinux& s) { s.files[std::string(kDp1) + "/i2c-5/name"] = "DPDDC-B\n"; },
     "the AUX channel has no I2C-over-AUX bus"},
    {"I2cDevNotLoaded",
     [](FakeLinux& s) { s.dirs.erase(std::string(kDp1) + "/i2c-5/i2c-dev/i2c-5"); },
     "i2c-5 has no device node: load the module i2c-dev (sudo modprobe i2c-dev)"},
    {"AuxNodeMissing", [](FakeLinux& s) { s.stats.erase("/dev/drm_dp_aux0"); },
     "/dev/drm_dp_aux0 does not exist (udev did not create it)"},
    {"NodeOfAnotherDevice",
     [](FakeLinux& s) { s.stats["/dev/i2c-5"] = Node(0660, 44, 89, 3); },
     "/dev/i2c-5 is not the device 89:5 of i2c-5"},
    {"RootOnlyAuxNode",
     [](FakeLinux& s) {
         s.stats["/dev/drm_dp_aux0"] = Node(0600, 0, 237, 0);
         s.openErrors["/dev/drm_dp_aux0"] = -linuxsys::kEACCES;
     },
     "/dev/drm_dp_aux0 is root-only (mode 0600): install the udev rule 60-zorvan-dp-aux.rules "
     "(README, \"Real hardware on Linux\"), add this user to group video and log in again"},
    {"GroupOnlyI2cNode",
     [](FakeLinux& s) {
         s.files["/etc/group"] = "root:x:0:\nvideo:x:44:someone\n";
         s.openErrors["/dev/i2c-5"] = -linuxsys::kEACCES;
     },
     "/dev/i2c-5 is open to group video only (mode 0660): add this user to it (sudo usermod "
     "-aG video $USER) and log in again"},
    {"GroupWithoutName",
     [](FakeLinux& s) { s.openErrors["/dev/i2c-5"] = -linuxsys::kEPERM; },
     "/dev/i2c-5 is open to group 44 only (mode 0660): add this user to it (sudo usermod "
     "-aG 44 $USER) and log in again"},
    {"OtherOpenError",
     [](FakeLinux& s) { s.openErrors["/dev/drm_dp_aux0"] = -linuxsys::kENODEV; },
     "/dev/drm_dp_aux0 cannot be opened (ENODEV)"},
};

class LinuxConnectorProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(LinuxConnectorProblem, NamesTheNodeAndWhatToDo) {
    FakeLinux sys;
    sys.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
    GetParam().setup(sys);
    const ConnectorScan scan = ScanConnectors(sys, true);
    ASSERT_EQ(scan.connectors.size(), 1u);
    EXPECT_FALSE(scan.connectors[0].Usable());
    EXPECT_EQ(scan.connectors[0].problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(Problems, LinuxConnectorProblem, ::testing::ValuesIn(kProblems),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LinuxConnectors, AccessIsCheckedOnlyWhenAsked) {
    FakeLinux sys;
    sys.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
    sys.openErrors["/dev/drm_dp_aux0"] = -linuxsys::kEACCES;
    const ConnectorScan scan = ScanConnectors(sys, false);
    ASSERT_EQ(scan.connectors.size(), 1u);
    EXPECT_TRUE(scan.connectors[0].Usable());
    EXPECT_TRUE(sys.calls.empty());
}

TEST(LinuxConnectors, FindsAConnectorByNameOrByItsAuxNode) {
    FakeLinux sys;
    sys.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
    sys.AddDp("card0-DP-2", "0000:00:02.0", "i915", 1, 6);
    sys.AddDpWithoutAux("card1-DP-1", "0000:01:00.0", "nvidia");
    const ConnectorScan scan = ScanConnectors(sys, false);
    ASSERT_NE(FindConnector(scan, "card0-DP-2"), nullptr);
    EXPECT_EQ(FindConnector(scan, "card0-DP-2")->auxNode, "/dev/drm_dp_aux1");
    ASSERT_NE(FindConnector(scan, "/dev/drm_dp_aux0"), nullptr);
    EXPECT_EQ(FindConnector(scan, "/dev/drm_dp_aux0")->name, "card0-DP-1");
    EXPECT_NE(FindConnector(scan, "card1-DP-1"), nullptr);
    EXPECT_EQ(FindConnector(scan, "card0-DP-3"), nullptr);
    EXPECT_EQ(FindConnector(scan, ""), nullptr);
    EXPECT_EQ(FindConnector(scan, "card0"), nullptr);
}

TEST(LinuxConnectors, DisplayNameComesOnlyFromAnIntactNameDescriptor) {
    const std::string good = EdidNamed("Merak 2710H");
    const auto name = [](const std::string& edid) {
        return linuxlink::DisplayNameFromEdid(reinterpret_cast<const uint8_t*>(edid.data()),
                                              edid.size());
    };
    EXPECT_EQ(name(good), "Merak 2710H");
    EXPECT_EQ(name(good.substr(0, 127)), "");  // cut short
    std::string noHeader = good;
    noHeader[0] = 0x01;
    EXPECT_EQ(name(noHeader), "");
    std::string otherTag = good;
    otherTag[75] = static_cast<char>(0xFE);  // an unspecified text, not the name
    EXPECT_EQ(name(otherTag), "");
    std::string control = good;
    control[78] = 0x07;
    control[79] = static_cast<char>(0xC3);
    EXPECT_EQ(name(control), "Mak 2710H");
    EXPECT_EQ(linuxlink::DisplayNameFromEdid(nullptr, 128), "");
}

}  // namespace
}  // namespace zorvan::test
