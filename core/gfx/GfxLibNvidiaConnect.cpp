// GfxLibNvidia::Connect: walks the physical GPUs, picks a display per GPU and fills the
// process-wide device list, writing a listing of what it found.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/gfx/GfxLibNvidia.h"
#include "core/gfx/LittleEndian.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/gfx/nvapi/Records.h"
#include "core/gfx/nvidia/DeviceList.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// Counts the driver reports are believed only up to these bounds, so that a driver that
// reports nonsense costs a short listing rather than an enormous allocation.
constexpr uint32_t kMaxConnectedDisplays = 256;
constexpr uint32_t kMaxTopologyNodes = 256;

// Display-search results; they go into the listing only, not into Connect's result.
constexpr int32_t kSearchFound = 0;
constexpr int32_t kSearchNoDisplay = 3;
constexpr int32_t kSearchNoHandle = 7;

uint32_t AtMost(uint32_t value, uint32_t bound) { return value < bound ? value : bound; }

int ToInt(uint32_t value) { return static_cast<int>(value); }

unsigned ToHex(nvapi::Status status) { return static_cast<unsigned>(status); }

// The topology of an MST root display: lists its nodes and keeps node 0's block.
void ReadTopology(nvapi::Driver& driver, uint32_t displayId, nvidia::Device& device,
                  std::wstring& text) {
    uint32_t count = 0;
    nvapi::Status status = driver.QueryDpTopology(displayId, nullptr, &count);
    if (status != nvapi::NVAPI_OK || count == 0) {
        text += Format(L"  Error1: QueryDPTopology: 0x%X\r\n", ToHex(status));
        return;
    }
    count = AtMost(count, kMaxTopologyNodes);
    text += Format(L"    Num of Node = %d\r\n", ToInt(count));
    std::vector<uint8_t> nodes(static_cast<size_t>(count) * nvapi::kTopologyNodeRecordSize, 0);
    le::Put32(nodes.data() + nvapi::kNodeOffsetVersion, nvapi::kTopologyNodeVersion);
    uint32_t filled = count;
    status = driver.QueryDpTopology(displayId, nodes.data(), &filled);
    if (status != nvapi::NVAPI_OK) {
        text += Format(L"  Error2: QueryDPTopology: 0x%X\r\n", ToHex(status));
        return;
    }
    filled = AtMost(filled, count);
    for (uint32_t k = 0; k < filled; ++k) {
        const nvapi::TopologyNode node =
            nvapi::ReadTopologyNode(nodes.data() + k * nvapi::kTopologyNodeRecordSize);
        text += Format(L"      <Node %d>\r\n", ToInt(k));
        text += Format(L"         DispID=0x%08X , Video Sink= %d , NodeType=%d\r\n",
                       node.displayId, node.videoSink ? 1 : 0, ToInt(node.nodeType));
        if (k == 0) {
            std::memcpy(device.topology, node.block, sizeof device.topology);
        }
    }
}

// Chooses the display of one GPU: its MST root, else its first connected display.
int32_t SearchDisplay(nvapi::Driver& driver, nvapi::GpuHandle gpu, uint32_t& deviceId,
                      std::wstring& text) {
    uint32_t count = 0;
    nvapi::Status status = driver.GetConnectedDisplayIds(gpu, nullptr, &count, 0);
    if (status != nvapi::NVAPI_OK || count == 0) {
        text += L"  Error: Get ConnectedDisplayID Count\r\n";
        return kSearchNoDisplay;
    }
    count = AtMost(count, kMaxConnectedDisplays);
    text += Format(L"  Num of ConnectedDisplayID =  %d\r\n", ToInt(count));
    std::vector<uint8_t> records(static_cast<size_t>(count) * nvapi::kConnectedDisplayRecordSize,
                                 0);
    le::Put32(records.data() + nvapi::kDisplayOffsetVersion, nvapi::kConnectedDisplayVersion);
    uint32_t filled = count;
    status = driver.GetConnectedDisplayIds(gpu, records.data(), &filled, 0);
    if (status != nvapi::NVAPI_OK) {
        text += Format(L"  Error: Get ConnectedDisplayID: 0x%X\r\n", ToHex(status));
        return kSearchNoDisplay;
    }
    filled = AtMost(filled, count);

    uint32_t index = 0;
    bool mstRoot = false;
    for (uint32_t i = 0; i < filled; ++i) {
        if (nvapi::ReadConnectedDisplay(records.data() + i * nvapi::kConnectedDisplayRecordSize)
                .mstRoot) {
            index = i;
            mstRoot = true;
            break;
        }
    }
    if (mstRoot) {
        text += Format(L"  Found MST Root-Node on Index %d\r\n", ToInt(index));
    } else {
        text += L"  No MST Root-Node is found\r\n";
    }
    const uint32_t displayId =
        nvapi::ReadConnectedDisplay(records.data() + index * nvapi::kConnectedDisplayRecordSize)
            .displayId;

    nvapi::DisplayHandle handle = 0;
    status = driver.GetDisplayHandleFromId(displayId, &handle);
    if (status != nvapi::NVAPI_OK) {
        text += Format(L"   Error: Get DisplayHandle: 0x%X\r\n", ToHex(status));
        return kSearchNoHandle;
    }
    text += Format(L"   DisplayHandle<%d>= 0x%X\r\n", ToInt(index), handle);

    auto device = std::make_shared<nvidia::Device>();
    device->displayHandle = handle;
    device->displayId = displayId;
    deviceId = displayId;
    if (mstRoot) {
        text += Format(L"  ConnectedDisplayID<%d> = 0x%X\r\n", ToInt(index), displayId);
        ReadTopology(driver, displayId, *device, text);
    }
    nvidia::Devices().push_back(std::move(device));
    return kSearchFound;
}

}  // namespace

int32_t GfxLibNvidia::DoConnect(uint32_t& deviceId, uint32_t, std::wstring& text) {
    nvidia::Devices().clear();
    text.clear();
    nvapi::Driver& driver = nvapi::ActiveDriver();

    nvapi::GpuHandle gpus[nvapi::kMaxPhysicalGpus] = {};
    uint32_t count = 0;
    if (driver.EnumPhysicalGpus(gpus, &count) != nvapi::NVAPI_OK) {
        text += L"Enum NV GPU failed!\r\n";
        return GFX_NV_ENUM_FAILED;
    }
    count = AtMost(count, nvapi::kMaxPhysicalGpus);
    text += Format(L"NV GPU Count =  %d\r\n", ToInt(count));
    for (uint32_t i = 0; i < count; ++i) {
        text += Format(L"<GPU: %d>\r\n", ToInt(i));
        SearchDisplay(driver, gpus[i], deviceId, text);
    }
    if (nvidia::Devices().empty()) {
        text += L"NVAPI Init failed\r\n";
        return GFX_NV_NO_DEVICE;
    }
    return GFX_OK;
}

}  // namespace zorvan
