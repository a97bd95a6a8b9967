// The simulated NVIDIA driver: the records it fills byte by byte, the DP AUX request
// it parses into one link transaction, and the reply codes it hands back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <vector>

#include "core/platform/Clock.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/nvapi/SimNvApi.h"

namespace zorvan::sim {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<uint8_t>;

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A sink that records what reaches the wire and answers as told.
class ScriptedSink final : public AuxSink {
  public:
    AuxReply Transact(const AuxRequest& request) override {
        seen.push_back(request);
        if (replies.empty()) {
            return AuxAck(Bytes(request.length, 0xA5));
        }
        AuxReply r = replies.front();
        replies.pop_front();
        return r;
    }
    std::vector<AuxRequest> seen;
    std::deque<AuxReply> replies;
};

// Two GPUs: the first with a plain display and an MST root behind which the sink sits,
// the second with one display and nothing that answers.
PcSpec TwoGpus() {
    TopologyNodeSpec node;
    node.displayId = 0x2001;
    node.block.fill(0);
    node.block[0] = 0x11;
    node.block[63] = 0x22;
    node.videoSink = true;
    node.nodeType = 7;
    DisplaySpec plain{0x1000, false, {}, false};
    DisplaySpec root{0x2000, true, {node}, true};
    DisplaySpec other{0x3000, false, {}, false};
    PcSpec pc;
    pc.gpus.push_back(GpuSpec{{plain, root}});
    pc.gpus.push_back(GpuSpec{{other}});
    return pc;
}

class SimNvApiTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(nvapi_.Initialize(), nvapi::NVAPI_OK); }

    std::array<uint8_t, 104> Request(uint32_t type, uint32_t address, uint32_t lengthField,
                                     uint32_t displayId = 0x2000) {
        std::array<uint8_t, 104> r{};
        Put32(&r[0], 0x00020068);
        Put32(&r[4], displayId);
        Put32(&r[8], type);
        Put32(&r[12], address);
        Put32(&r[32], lengthField);
        Put32(&r[36], 0xDEAD);
        return r;
    }
    nvapi::DisplayHandle RootHandle() {
        nvapi::DisplayHandle h = 0;
        EXPECT_EQ(nvapi_.GetDisplayHandleFromId(0x2000, &h), nvapi::NVAPI_OK);
        return h;
    }

    platform::VirtualClock clock_;
    platform::ScopedClock scoped_{clock_};
    ScriptedSink sink_;
    VirtualPc pc_{TwoGpus(), &sink_};
    SimNvApi nvapi_{pc_};
};

TEST_F(SimNvApiTest, ListsGpusAndFillsConnectedDisplayRecords) {
    nvapi::GpuHandle gpus[nvapi::kMaxPhysicalGpus] = {};
    uint32_t count = 0;
    ASSERT_EQ(nvapi_.EnumPhysicalGpus(gpus, &count), nvapi::NVAPI_OK);
    ASSERT_EQ(count, 2u);

    uint32_t displays = 0;
    ASSERT_EQ(nvapi_.GetConnectedDisplayIds(gpus[0], nullptr, &displays, 0), nvapi::NVAPI_OK);
    ASSERT_EQ(displays, 2u);
    std::vector<uint8_t> records(2 * 16, 0xCC);
    Put32(records.data(), 0x00010010);
    ASSERT_EQ(nvapi_.GetConnectedDisplayIds(gpus[0], records.data(), &displays, 0),
              nvapi::NVAPI_OK);
    EXPECT_EQ(Get32(&records[8]), 0x1000u);
    EXPECT_EQ(Get32(&records[12]) & 2u, 0u);
    EXPECT_EQ(Get32(&records[16]), 0x00010010u);
    EXPECT_EQ(Get32(&records[16 + 8]), 0x2000u);
    EXPECT_EQ(Get32(&records[16 + 12]) & 2u, 2u);
}

TEST_F(SimNvApiTest, RefusesRecordsWithoutTheVersionWordOrRoom) {
    nvapi::GpuHandle gpus[nvapi::kMaxPhysicalGpus] = {};
    uint32_t count = 0;
    ASSERT_EQ(nvapi_.EnumPhysicalGpus(gpus, &count), nvapi::NVAPI_OK);
    std::vector<uint8_t> records(2 * 16, 0);
    uint32_t displays = 2;
    EXPECT_NE(nvapi_.GetConnectedDisplayIds(gpus[0], records.data(), &displays, 0),
              nvapi::NVAPI_OK);
    Put32(records.data(), 0x00010010);
    displays = 1;
    EXPECT_NE(nvapi_.GetConnectedDisplayIds(gpus[0], records.data(), &displays, 0),
              nvapi::NVAPI_OK);
    std::vector<uint8_t> nodes(112, 0);
    uint32_t n = 1;
    EXPECT_NE(nvapi_.QueryDpTopology(0x2000, nodes.data(), &n), nvapi::NVAPI_OK);
}

TEST_F(SimNvApiTest, FillsTopologyNodesAtTheirOffsets) {
    uint32_t n = 0;
    ASSERT_EQ(nvapi_.QueryDpTopology(0x2000, nullptr, &n), nvapi::NVAPI_OK);
    ASSERT_EQ(n, 1u);
    std::vector<uint8_t> nodes(112, 0xCC);
    Put32(nodes.data(), 0x00010070);
    ASSERT_EQ(nvapi_.QueryDpTopology(0x2000, nodes.data(), &n), nvapi::NVAPI_OK);
    EXPECT_EQ(Get32(&nodes[4]), 0x2001u);
    EXPECT_EQ(nodes[16], 0x11);
    EXPECT_EQ(nodes[79], 0x22);
    EXPECT_EQ(Get32(&nodes[96]), 0u);
    EXPECT_EQ(Get32(&nodes[100]), 2u);  // bit 33 of the 64-bit word: the video sink
    EXPECT_EQ(Get32(&nodes[104]), 7u);
    // A display that is no MST root lists no nodes.
    ASSERT_EQ(nvapi_.QueryDpTopology(0x1000, nullptr, &n), nvapi::NVAPI_OK);
    EXPECT_EQ(n, 0u);
}

struct AuxCase {
    uint32_t type;
    AuxCommand command;
    bool mot;
    uint32_t address;      // in the record
    uint32_t wireAddress;  // on the link
};

TEST_F(SimNvApiTest, TurnsEachRequestTypeIntoOneLinkTransaction) {
    const AuxCase cases[] = {
        {0, AuxCommand::NativeWrite, false, 0x20010, 0x20010},
        {1, AuxCommand::NativeRead, false, 0x00503, 0x00503},
        {2, AuxCommand::I2cWrite, false, 0x6E, 0x37},
        {3, AuxCommand::I2cRead, false, 0x6E, 0x37},
        {5, AuxCommand::I2cWrite, true, 0x6E, 0x37},
        {6, AuxCommand::I2cRead, true, 0x6E, 0x37},
        {6, AuxCommand::I2cRead, true, 0x6A, 0x35},
    };
    for (const AuxCase& c : cases) {
        sink_.seen.clear();
        auto r = Request(c.type, c.address, 9);
        for (int i = 0; i < 16; ++i) {
            r[16 + i] = static_cast<uint8_t>(i + 1);
        }
        ASSERT_EQ(nvapi_.DpAuxChannel(RootHandle(), r.data(), 104), nvapi::NVAPI_OK) << c.type;
        ASSERT_EQ(sink_.seen.size(), 1u);
        const AuxRequest& seen = sink_.seen[0];
        EXPECT_EQ(seen.command, c.command) << c.type;
        EXPECT_EQ(seen.mot, c.mot) << c.type;
        EXPECT_EQ(seen.address, c.wireAddress) << c.type;
        EXPECT_EQ(Get32(&r[36]), 0u) << c.type;
        const bool write =
            c.command == AuxCommand::NativeWrite || c.command == AuxCommand::I2cWrite;
        if (write) {
            EXPECT_EQ(seen.data, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << c.type;
        } else {
            EXPECT_EQ(seen.length, 10u) << c.type;
            // The bytes read, and the rest of the data field cleared.
            EXPECT_EQ(Bytes(r.begin() + 16, r.begin() + 32),
                      Bytes({0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0, 0, 0, 0,
                             0, 0}))
                << c.type;
        }
    }
}

TEST_F(SimNvApiTest, ReportsTheSinksAnswerAsTheReplyCode) {
    const std::pair<AuxReply, std::pair<nvapi::Status, uint32_t>> cases[] = {
        {AuxAck(), {nvapi::NVAPI_OK, 0}},
        {AuxNack(), {nvapi::NVAPI_OK, 1}},
        {AuxDefer(), {nvapi::NVAPI_OK, 2}},
        {AuxTimeout(), {nvapi::NVAPI_ERROR, 255}},
    };
    for (const auto& [reply, expected] : cases) {
        sink_.replies.push_back(reply);
        auto r = Request(0, 0x100, 0);
        EXPECT_EQ(nvapi_.DpAuxChannel(RootHandle(), r.data(), 104), expected.first);
        EXPECT_EQ(Get32(&r[36]), expected.second);
    }
}

TEST_F(SimNvApiTest, RefusesMalformedRequestsBeforeTheLink) {
    struct Bad {
        const char* what;
        void (*spoil)(std::array<uint8_t, 104>&);
        uint32_t size;
    };
    const Bad cases[] = {
        {"version", [](std::array<uint8_t, 104>& r) { Put32(&r[0], 0x00010068); }, 104},
        {"size", [](std::array<uint8_t, 104>&) {}, 100},
        {"length field", [](std::array<uint8_t, 104>& r) { Put32(&r[32], 16); }, 104},
        {"type", [](std::array<uint8_t, 104>& r) { Put32(&r[8], 4); }, 104},
        {"display id", [](std::array<uint8_t, 104>& r) { Put32(&r[4], 0x1000); }, 104},
        {"I2C address",
         [](std::array<uint8_t, 104>& r) {
             Put32(&r[8], 2);
             Put32(&r[12], 0x16E);
         },
         104},
        // The chip's address is 0x6E in both directions; 0x6F names no device.
        {"I2C write to the read address",
         [](std::array<uint8_t, 104>& r) {
             Put32(&r[8], 2);
             Put32(&r[12], 0x6F);
         },
         104},
        {"I2C read from the read address",
         [](std::array<uint8_t, 104>& r) {
             Put32(&r[8], 6);
             Put32(&r[12], 0x6F);
         },
         104},
        {"routing block", [](std::array<uint8_t, 104>& r) { r[40] = 0x99; }, 104},
    };
    for (const Bad& c : cases) {
        auto r = Request(1, 0x503, 3);
        c.spoil(r);
        EXPECT_EQ(nvapi_.DpAuxChannel(RootHandle(), r.data(), c.size),
                  nvapi::NVAPI_INVALID_ARGUMENT)
            << c.what;
    }
    EXPECT_TRUE(sink_.seen.empty());
    // The node's own block routes.
    auto routed = Request(1, 0x503, 3);
    routed[40] = 0x11;
    routed[103] = 0x22;
    EXPECT_EQ(nvapi_.DpAuxChannel(RootHandle(), routed.data(), 104), nvapi::NVAPI_OK);
}

TEST_F(SimNvApiTest, AnOutputWithNothingPluggedInFailsTheCall) {
    nvapi::DisplayHandle h = 0;
    ASSERT_EQ(nvapi_.GetDisplayHandleFromId(0x1000, &h), nvapi::NVAPI_OK);
    auto r = Request(1, 0x503, 0, 0x1000);
    EXPECT_EQ(nvapi_.DpAuxChannel(h, r.data(), 104), nvapi::NVAPI_ERROR);
    EXPECT_EQ(Get32(&r[36]), 255u);
}

TEST(SimNvApiLifecycle, NothingWorksBeforeInitializeAndABrokenDriverStaysDown) {
    ScriptedSink sink;
    VirtualPc pc(TwoGpus(), &sink);
    SimNvApi nvapi(pc);
    nvapi::GpuHandle gpus[nvapi::kMaxPhysicalGpus] = {};
    uint32_t count = 0;
    EXPECT_EQ(nvapi.EnumPhysicalGpus(gpus, &count), nvapi::NVAPI_API_NOT_INITIALIZED);
    nvapi.SetInitializeStatus(nvapi::NVAPI_LIBRARY_NOT_FOUND);
    EXPECT_EQ(nvapi.Initialize(), nvapi::NVAPI_LIBRARY_NOT_FOUND);
    EXPECT_EQ(nvapi.EnumPhysicalGpus(gpus, &count), nvapi::NVAPI_API_NOT_INITIALIZED);
}

}  // namespace
}  // namespace zorvan::sim
