#include "tests/gfx/FakeNvApi.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace zorvan::test {
namespace {

constexpr nvapi::Status kIncompatibleVersion = -9;
constexpr nvapi::Status kInsufficientBuffer = -140;

uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0] | at[1] << 8 | at[2] << 16) |
           static_cast<uint32_t>(at[3]) << 24;
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool IsRead(uint32_t type) { return type == 1 || type == 3 || type == 6; }

}  // namespace

uint32_t SeenRequest::Field(size_t offset) const { return Get32(bytes.data() + offset); }

std::vector<uint8_t> SeenRequest::Data() const {
    return std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 16 + Length());
}

std::vector<uint8_t> SeenRequest::Topology() const {
    return std::vector<uint8_t>(bytes.begin() + 40, bytes.end());
}

nvapi::Status FakeNvApi::EnumPhysicalGpus(nvapi::GpuHandle out[nvapi::kMaxPhysicalGpus],
                                          uint32_t* count) {
    if (enumStatus != nvapi::NVAPI_OK) {
        return enumStatus;
    }
    for (size_t i = 0; i < gpus.size(); ++i) {
        out[i] = static_cast<nvapi::GpuHandle>(0x1000 + i);
    }
    *count = static_cast<uint32_t>(gpus.size());
    return nvapi::NVAPI_OK;
}

nvapi::Status FakeNvApi::GetConnectedDisplayIds(nvapi::GpuHandle gpu, uint8_t* records,
                                                uint32_t* count, uint32_t) {
    const size_t index = gpu - 0x1000;
    if (index >= gpus.size()) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const FakeGpu& g = gpus[index];
    if (records == nullptr) {
        *count = static_cast<uint32_t>(g.displays.size());
        return g.countStatus;
    }
    displayRecordVersions.push_back(Get32(records));
    if (g.recordsStatus != nvapi::NVAPI_OK) {
        return g.recordsStatus;
    }
    if (Get32(records) != nvapi::kConnectedDisplayVersion) {
        return kIncompatibleVersion;
    }
    if (*count < g.displays.size()) {
        return kInsufficientBuffer;
    }
    for (size_t i = 0; i < g.displays.size(); ++i) {
        uint8_t* r = records + i * nvapi::kConnectedDisplayRecordSize;
        Put32(r + 8, g.displays[i].displayId);
        Put32(r + 12, g.displays[i].mstRoot ? 0x2u | 0x1u : 0x1u);
    }
    *count = static_cast<uint32_t>(g.displays.size());
    return nvapi::NVAPI_OK;
}

nvapi::Status FakeNvApi::GetDisplayHandleFromId(uint32_t displayId,
                                                nvapi::DisplayHandle* handle) {
    const auto it = handles.find(displayId);
    if (it == handles.end()) {
        return nvapi::NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    *handle = it->second;
    return nvapi::NVAPI_OK;
}

nvapi::Status FakeNvApi::QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) {
    const auto it = topologies.find(displayId);
    if (it == topologies.end()) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const FakeTopology& t = it->second;
    if (nodes == nullptr) {
        *count = static_cast<uint32_t>(t.nodes.size());
        return t.countStatus;
    }
    nodeRecordVersions.push_back(Get32(nodes));
    if (t.nodesStatus != nvapi::NVAPI_OK) {
        return t.nodesStatus;
    }
    if (Get32(nodes) != nvapi::kTopologyNodeVersion) {
        return kIncompatibleVersion;
    }
    if (*count < t.nodes.size()) {
        return kInsufficientBuffer;
    }
    for (size_t k = 0; k < t.nodes.size(); ++k) {
        uint8_t* r = nodes + k * nvapi::kTopologyNodeRecordSize;
        Put32(r + 4, t.nodes[k].displayId);
        std::memcpy(r + 16, t.nodes[k].block.data(), 64);
        // Other flag bits set as a driver would, to show only bit 33 counts.
        Put32(r + 96, 0x5);
        Put32(r + 100, t.nodes[k].videoSink ? 0x2u | 0x4u : 0x4u);
        Put32(r + 104, t.nodes[k].nodeType);
    }
    *count = static_cast<uint32_t>(t.nodes.size());
    return nvapi::NVAPI_OK;
}

nvapi::Status FakeNvApi::DpAuxChannel(nvapi::DisplayHandle display, uint8_t* request,
                                      uint32_t size) {
    SeenRequest seen;
    seen.display = display;
    seen.size = size;
    std::memcpy(seen.bytes.data(), request, seen.bytes.size());
    requests.push_back(seen);
    if (log_ != nullptr) {
        char line[64];
        std::snprintf(line, sizeof line, "aux t=%u 0x%X len=%u", seen.Type(), seen.Address(),
                      seen.Length());
        log_->Add(line);
    }
    if (size != nvapi::kDpAuxRequestSize || seen.Version() != nvapi::kDpAuxRequestVersion ||
        seen.Length() > 16) {
        return kIncompatibleVersion;
    }

    AuxAnswer answer;
    if (!script.empty()) {
        answer = script.front();
        script.pop_front();
    }
    Put32(request + 36, answer.replyCode);
    const bool taken = answer.status == nvapi::NVAPI_OK && answer.replyCode != 1 &&
                       answer.replyCode != 2;
    if (!taken) {
        // A driver may leave anything in the data of a request it did not complete.
        std::memset(request + 16, 0xEE, 16);
        return answer.status;
    }
    const uint32_t type = seen.Type();
    if (IsRead(type)) {
        for (uint32_t i = 0; i < seen.Length(); ++i) {
            uint8_t byte = 0;
            if (type == 1) {
                const uint32_t address = seen.Address() + i;
                const auto it = dpcd.find(address);
                byte = it != dpcd.end() ? it->second : static_cast<uint8_t>(address);
            } else if (i2cReadPos_ < i2cReply_.size()) {
                byte = i2cReply_[i2cReadPos_++];
            }
            request[16 + i] = byte;
        }
    }
    return nvapi::NVAPI_OK;
}

void AddSimpleGpu(FakeNvApi& driver, uint32_t displayId, nvapi::DisplayHandle handle) {
    FakeGpu gpu;
    gpu.displays.push_back(FakeDisplay{displayId, false});
    driver.gpus.push_back(gpu);
    driver.handles[displayId] = handle;
}

}  // namespace zorvan::test
