// GfxLibNvidia Init and Connect: the listing, the display chosen per GPU, and what the
// chosen device puts into every later request.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/gfx/GfxLibNvidia.h"
#include "core/platform/Clock.h"
#include "tests/gfx/FakeNvApi.h"

namespace zorvan::test {
namespace {

class NvidiaConnect : public ::testing::Test {
protected:
    // Reads one DPCD byte and returns the request the driver saw for it.
    SeenRequest OneRequest() {
        driver.requests.clear();
        uint8_t byte = 0;
        EXPECT_EQ(nv.AuxRead(0, 0x100, &byte, 1), 0);
        EXPECT_EQ(driver.requests.size(), 1u);
        return driver.requests.empty() ? SeenRequest{} : driver.requests.back();
    }

    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    FakeNvApi driver;
    ScopedNvApi driverGuard{driver};
    GfxLibNvidia nv;
    uint32_t deviceId = 0x77;
    std::wstring text;
};

TEST_F(NvidiaConnect, InitReportsTheDriverStatus) {
    EXPECT_EQ(nv.Init(text), 0);
    EXPECT_EQ(text, L"Graphics adapter initialization - NVIDIA: done!\r\n");
    driver.initializeStatus = -3;
    EXPECT_EQ(nv.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text, L"Graphics adapter initialization - NVIDIA: failed! (-3)\r\n");
}

TEST_F(NvidiaConnect, WithoutMstRootTheFirstDisplayIsUsedAndTheTopologyStaysZero) {
    driver.gpus.push_back(FakeGpu{{{0x1001, false}, {0x1002, false}}});
    driver.handles = {{0x1001, 0xABC}, {0x1002, 0xDEF}};
    text = L"old text";

    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
    EXPECT_EQ(text,
              L"NV GPU Count =  1\r\n"
              L"<GPU: 0>\r\n"
              L"  Num of ConnectedDisplayID =  2\r\n"
              L"  No MST Root-Node is found\r\n"
              L"   DisplayHandle<0>= 0xABC\r\n");
    EXPECT_EQ(deviceId, 0x1001u);
    EXPECT_EQ(driver.displayRecordVersions, std::vector<uint32_t>{0x00010010});

    const SeenRequest r = OneRequest();
    EXPECT_EQ(r.display, 0xABCu);
    EXPECT_EQ(r.size, 104u);
    EXPECT_EQ(r.Version(), 0x00020068u);
    EXPECT_EQ(r.DisplayId(), 0x1001u);
    EXPECT_EQ(r.Topology(), std::vector<uint8_t>(64, 0));
}

TEST_F(NvidiaConnect, MstRootOnTheSecondRecordIsChosenAndItsTopologyListed) {
    driver.gpus.push_back(FakeGpu{{{0x1001, false}, {0x2002, true}, {0x3003, true}}});
    driver.handles = {{0x1001, 0xABC}, {0x2002, 0xDEF}, {0x3003, 0x123}};
    FakeTopology topology;
    FakeNode first{0x2A01, {}, true, 2};
    for (size_t i = 0; i < first.block.size(); ++i) {
        first.block[i] = static_cast<uint8_t>(0x80 + i);
    }
    FakeNode second{0x2A02, {}, false, 4};
    second.block.fill(0x55);
    topology.nodes = {first, second};
    driver.topologies[0x2002] = topology;

    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
    EXPECT_EQ(text,
              L"NV GPU Count =  1\r\n"
              L"<GPU: 0>\r\n"
              L"  Num of ConnectedDisplayID =  3\r\n"
              L"  Found MST Root-Node on Index 1\r\n"
              L"   DisplayHandle<1>= 0xDEF\r\n"
              L"  ConnectedDisplayID<1> = 0x2002\r\n"
              L"    Num of Node = 2\r\n"
              L"      <Node 0>\r\n"
              L"         DispID=0x00002A01 , Video Sink= 1 , NodeType=2\r\n"
              L"      <Node 1>\r\n"
              L"         DispID=0x00002A02 , Video Sink= 0 , NodeType=4\r\n");
    EXPECT_EQ(deviceId, 0x2002u);
    EXPECT_EQ(driver.nodeRecordVersions, std::vector<uint32_t>{0x00010070});

    const SeenRequest r = OneRequest();
    EXPECT_EQ(r.display, 0xDEFu);
    EXPECT_EQ(r.DisplayId(), 0x2002u);
    EXPECT_EQ(r.Topology(), std::vector<uint8_t>(first.block.begin(), first.block.end()));
}

struct TopologyFailure {
    const char* name;
    FakeTopology topology;
    const wchar_t* lines;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TopologyFailure& c, std::ostream* os) { *os << c.name; }

class NvidiaTopologyFailure : public NvidiaConnect,
                              public ::testing::WithParamInterface<TopologyFailure> {};

// A failed topology query is listed, but the display is still used, without a topology.
TEST_P(NvidiaTopologyFailure, IsListedAndTheDeviceKeptWithZeroTopology) {
    driver.gpus.push_back(FakeGpu{{{0x2002, true}}});
    driver.handles = {{0x2002, 0xDEF}};
    driver.topologies[0x2002] = GetParam().topology;

    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
    EXPECT_EQ(text, std::wstring(L"NV GPU Count =  1\r\n"
                                 L"<GPU: 0>\r\n"
                                 L"  Num of ConnectedDisplayID =  1\r\n"
                                 L"  Found MST Root-Node on Index 0\r\n"
                                 L"   DisplayHandle<0>= 0xDEF\r\n"
                                 L"  ConnectedDisplayID<0> = 0x2002\r\n") +
                        GetParam().lines);
    EXPECT_EQ(deviceId, 0x2002u);
    EXPECT_EQ(OneRequest().Topology(), std::vector<uint8_t>(64, 0));
}

FakeTopology WithNodes(nvapi::Status countStatus, nvapi::Status nodesStatus, size_t count) {
    FakeTopology t;
    t.nodes.assign(count, FakeNode{0x2A01, {}, true, 2});
    for (FakeNode& node : t.nodes) {
        node.block.fill(0x99);
    }
    t.countStatus = countStatus;
    t.nodesStatus = nodesStatus;
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NvidiaTopologyFailure,
    ::testing::Values(
        TopologyFailure{"CountFails", WithNodes(-5, 0, 1),
                        L"  Error1: QueryDPTopology: 0xFFFFFFFB\r\n"},
        TopologyFailure{"NoNodes", WithNodes(0, 0, 0), L"  Error1: QueryDPTopology: 0x0\r\n"},
        TopologyFailure{"NodesFail", WithNodes(0, -6, 2),
                        L"    Num of Node = 2\r\n  Error2: QueryDPTopology: 0xFFFFFFFA\r\n"}),
    [](const ::testing::TestParamInfo<TopologyFailure>& p) { return p.param.name; });

TEST_F(NvidiaConnect, EachGpuIsSearchedTransfersUseTheFirstAndTheIdIsTheLastFound) {
    AddSimpleGpu(driver, 0x11, 0xA1);
    driver.gpus.push_back(FakeGpu{});  // no display
    FakeGpu failing{{{0x33, false}}};
    failing.recordsStatus = -1;
    driver.gpus.push_back(failing);
    driver.gpus.push_back(FakeGpu{{{0x44, false}}});  // no handle for 0x44
    AddSimpleGpu(driver, 0x55, 0xA5);

    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), 0);
    EXPECT_EQ(text,
              L"NV GPU Count =  5\r\n"
              L"<GPU: 0>\r\n"
              L"  Num of ConnectedDisplayID =  1\r\n"
              L"  No MST Root-Node is found\r\n"
              L"   DisplayHandle<0>= 0xA1\r\n"
              L"<GPU: 1>\r\n"
              L"  Error: Get ConnectedDisplayID Count\r\n"
              L"<GPU: 2>\r\n"
              L"  Num of ConnectedDisplayID =  1\r\n"
              L"  Error: Get ConnectedDisplayID: 0xFFFFFFFF\r\n"
              L"<GPU: 3>\r\n"
              L"  Num of ConnectedDisplayID =  1\r\n"
              L"  No MST Root-Node is found\r\n"
              L"   Error: Get DisplayHandle: 0xFFFFFFFA\r\n"
              L"<GPU: 4>\r\n"
              L"  Num of ConnectedDisplayID =  1\r\n"
              L"  No MST Root-Node is found\r\n"
              L"   DisplayHandle<0>= 0xA5\r\n");
    EXPECT_EQ(deviceId, 0x55u);
    const SeenRequest r = OneRequest();
    EXPECT_EQ(r.display, 0xA1u);
    EXPECT_EQ(r.DisplayId(), 0x11u);
}

TEST_F(NvidiaConnect, EnumerationFailureEmptiesTheDeviceList) {
    AddSimpleGpu(driver, 0x11, 0xA1);
    ASSERT_EQ(nv.Connect(deviceId, 0x6E, text), 0);

    driver.enumStatus = -1;
    deviceId = 0x77;
    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), GFX_NV_ENUM_FAILED);
    EXPECT_EQ(text, L"Enum NV GPU failed!\r\n");
    EXPECT_EQ(deviceId, 0x77u);

    driver.requests.clear();
    uint8_t byte = 0;
    EXPECT_EQ(nv.AuxRead(0, 0x100, &byte, 1), GFX_NO_DEVICE);
    EXPECT_TRUE(driver.requests.empty());
}

TEST_F(NvidiaConnect, NoUsableDisplayFailsTheConnect) {
    driver.gpus.push_back(FakeGpu{});
    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), GFX_NV_NO_DEVICE);
    EXPECT_EQ(text,
              L"NV GPU Count =  1\r\n"
              L"<GPU: 0>\r\n"
              L"  Error: Get ConnectedDisplayID Count\r\n"
              L"NVAPI Init failed\r\n");
    EXPECT_EQ(deviceId, 0x77u);

    driver.gpus.clear();
    EXPECT_EQ(nv.Connect(deviceId, 0x6E, text), GFX_NV_NO_DEVICE);
    EXPECT_EQ(text, L"NV GPU Count =  0\r\nNVAPI Init failed\r\n");
}

TEST_F(NvidiaConnect, TransfersBeforeConnectFailWithoutTouchingTheLink) {
    uint8_t data[4] = {1, 2, 3, 4};
    int32_t length = 0;
    EXPECT_EQ(nv.I2cWrite(0, 0x6E, data, 4), GFX_NO_DEVICE);
    EXPECT_EQ(nv.I2cRead(0, 0x6E, data, 4, &length), GFX_NO_DEVICE);
    EXPECT_EQ(nv.AuxWrite(0, 0x20000, data, 4), GFX_NO_DEVICE);
    EXPECT_EQ(nv.AuxRead(0, 0x20000, data, 4), GFX_NO_DEVICE);
    EXPECT_TRUE(driver.requests.empty());
}

TEST_F(NvidiaConnect, DestroyingTheBackendEmptiesTheProcessWideList) {
    AddSimpleGpu(driver, 0x11, 0xA1);
    {
        GfxLibNvidia other;
        ASSERT_EQ(other.Connect(deviceId, 0x6E, text), 0);
    }
    uint8_t byte = 0;
    EXPECT_EQ(nv.AuxRead(0, 0x100, &byte, 1), GFX_NO_DEVICE);
    EXPECT_TRUE(driver.requests.empty());
}

}  // namespace
}  // namespace zorvan::test
