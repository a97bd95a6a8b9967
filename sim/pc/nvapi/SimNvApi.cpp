#include "sim/pc/nvapi/SimNvApi.h"

#include <algorithm>
#include <cstring>

#include "sim/chip/LittleEndian.h"

namespace zorvan::sim {
namespace {

using nvapi::Status;

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Connector type word of a connected-display record: DisplayPort.
constexpr uint32_t kConnectorDisplayPort = 6;
constexpr uint64_t kNodeVideoSinkFlag = uint64_t{1} << 33;

// Record offsets.
constexpr size_t kAuxVersion = 0;
constexpr size_t kAuxDisplayId = 4;
constexpr size_t kAuxType = 8;
constexpr size_t kAuxAddress = 12;
constexpr size_t kAuxData = 16;
constexpr size_t kAuxLength = 32;
constexpr size_t kAuxReply = 36;
constexpr size_t kAuxTopology = 40;

}  // namespace

Status SimNvApi::Initialize() {
    initialized_ = initializeStatus_ == nvapi::NVAPI_OK;
    return initializeStatus_;
}

Status SimNvApi::EnumPhysicalGpus(nvapi::GpuHandle handles[nvapi::kMaxPhysicalGpus],
                                  uint32_t* count) {
    if (!initialized_) {
        return nvapi::NVAPI_API_NOT_INITIALIZED;
    }
    if (handles == nullptr || count == nullptr) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const size_t n = pc_.Setup().gpus.size();
    if (n == 0) {
        return nvapi::NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    const uint32_t shown = n < nvapi::kMaxPhysicalGpus ? static_cast<uint32_t>(n)
                                                       : nvapi::kMaxPhysicalGpus;
    for (uint32_t i = 0; i < shown; ++i) {
        handles[i] = kGpuHandleBase + i;
    }
    *count = shown;
    return nvapi::NVAPI_OK;
}

Status SimNvApi::GetConnectedDisplayIds(nvapi::GpuHandle gpu, uint8_t* records, uint32_t* count,
                                        uint32_t /*flags*/) {
    if (!initialized_) {
        return nvapi::NVAPI_API_NOT_INITIALIZED;
    }
    const auto& gpus = pc_.Setup().gpus;
    if (count == nullptr || gpu < kGpuHandleBase || gpu - kGpuHandleBase >= gpus.size()) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const auto& displays = gpus[gpu - kGpuHandleBase].displays;
    const uint32_t n = static_cast<uint32_t>(displays.size());
    if (records == nullptr) {
        *count = n;
        return nvapi::NVAPI_OK;
    }
    if (Get32(records) != nvapi::kConnectedDisplayVersion || *count < n) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* r = records + static_cast<size_t>(i) * nvapi::kConnectedDisplayRecordSize;
        std::memset(r, 0, nvapi::kConnectedDisplayRecordSize);
        Put32(r, nvapi::kConnectedDisplayVersion);
        Put32(r + 4, kConnectorDisplayPort);
        Put32(r + 8, displays[i].displayId);
        Put32(r + 12, kNvDisplayActive | (displays[i].mstRoot ? kNvDisplayMstRoot : 0));
    }
    *count = n;
    return nvapi::NVAPI_OK;
}

Status SimNvApi::GetDisplayHandleFromId(uint32_t displayId, nvapi::DisplayHandle* handle) {
    if (!initialized_) {
        return nvapi::NVAPI_API_NOT_INITIALIZED;
    }
    Where where;
    if (handle == nullptr) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    if (!FindDisplayId(displayId, where)) {
        return nvapi::NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    *handle = HandleOf(where);
    return nvapi::NVAPI_OK;
}

Status SimNvApi::QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) {
    if (!initialized_) {
        return nvapi::NVAPI_API_NOT_INITIALIZED;
    }
    Where where;
    if (count == nullptr) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    if (!FindDisplayId(displayId, where)) {
        return nvapi::NVAPI_NVIDIA_DEVICE_NOT_FOUND;
    }
    const DisplaySpec& display = Display(where);
    const uint32_t n = display.mstRoot ? static_cast<uint32_t>(display.topology.size()) : 0;
    if (nodes == nullptr) {
        *count = n;
        return nvapi::NVAPI_OK;
    }
    if (Get32(nodes) != nvapi::kTopologyNodeVersion || *count < n) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const TopologyNodeSpec& node = display.topology[i];
        uint8_t* r = nodes + static_cast<size_t>(i) * nvapi::kTopologyNodeRecordSize;
        std::memset(r, 0, nvapi::kTopologyNodeRecordSize);
        Put32(r, nvapi::kTopologyNodeVersion);
        Put32(r + 4, node.displayId);
        std::memcpy(r + 16, node.block.data(), node.block.size());
        Put64(r + 96, node.videoSink ? kNodeVideoSinkFlag : 0);
        Put32(r + 104, node.nodeType);
    }
    *count = n;
    return nvapi::NVAPI_OK;
}

Status SimNvApi::DpAuxChannel(nvapi::DisplayHandle display, uint8_t* request, uint32_t size) {
    if (!initialized_) {
        return nvapi::NVAPI_API_NOT_INITIALIZED;
    }
    if (request == nullptr || size != nvapi::kDpAuxRequestSize ||
        Get32(request + kAuxVersion) != nvapi::kDpAuxRequestVersion) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    Where where;
    if (!FindDisplayHandle(display, where)) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const DisplaySpec& setup = Display(where);
    if (Get32(request + kAuxDisplayId) != setup.displayId) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    // The routing block: all zero addresses the output itself, otherwise it must be the
    // block of one of the output's topology nodes.
    const uint8_t* route = request + kAuxTopology;
    bool routeKnown = true;
    for (size_t i = 0; i < 64 && routeKnown; ++i) {
        routeKnown = route[i] == 0;
    }
    for (const TopologyNodeSpec& node : setup.topology) {
        routeKnown = routeKnown || std::memcmp(route, node.block.data(), node.block.size()) == 0;
    }
    if (!routeKnown) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const uint32_t type = Get32(request + kAuxType);
    const uint32_t lengthField = Get32(request + kAuxLength);
    const uint32_t address = Get32(request + kAuxAddress);
    if (lengthField > 15) {
        return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const uint32_t length = lengthField + 1;

    AuxRequest aux;
    switch (type) {
        case kNvAuxNativeWrite:
            aux.command = AuxCommand::NativeWrite;
            break;
        case kNvAuxNativeRead:
            aux.command = AuxCommand::NativeRead;
            break;
        case kNvAuxI2cWrite:
        case kNvAuxI2cWriteMot:
            aux.command = AuxCommand::I2cWrite;
            aux.mot = type == kNvAuxI2cWriteMot;
            break;
        case kNvAuxI2cRead:
        case kNvAuxI2cReadMot:
            aux.command = AuxCommand::I2cRead;
            aux.mot = type == kNvAuxI2cReadMot;
            break;
        default:
            return nvapi::NVAPI_INVALID_ARGUMENT;
    }
    const bool isI2c = aux.command == AuxCommand::I2cWrite || aux.command == AuxCommand::I2cRead;
    if (isI2c) {
        // The record carries the 8-bit DDC address; the direction comes from the type.
        if (address > 0xFF) {
            return nvapi::NVAPI_INVALID_ARGUMENT;
        }
        aux.address = address >> 1;
    } else {
        aux.address = address;
    }
    const bool isWrite = aux.command == AuxCommand::NativeWrite || aux.command == AuxCommand::I2cWrite;
    if (isWrite) {
        aux.data.assign(request + kAuxData, request + kAuxData + length);
    } else {
        aux.length = length;
    }

    const AuxReply reply = pc_.Channel(where.gpu, where.display).Transact(aux);
    switch (reply.status) {
        case AuxStatus::Ack:
            if (!isWrite) {
                std::memset(request + kAuxData, 0, 16);
                const size_t got = reply.data.size() < length ? reply.data.size() : length;
                std::copy_n(reply.data.begin(), got, request + kAuxData);
            }
            Put32(request + kAuxReply, kNvReplyAck);
            return nvapi::NVAPI_OK;
        case AuxStatus::Nack:
            Put32(request + kAuxReply, kNvReplyNack);
            return nvapi::NVAPI_OK;
        case AuxStatus::Defer:
            Put32(request + kAuxReply, kNvReplyDefer);
            return nvapi::NVAPI_OK;
        case AuxStatus::Timeout:
            break;
    }
    Put32(request + kAuxReply, kNvReplyFailed);
    return nvapi::NVAPI_ERROR;
}

bool SimNvApi::FindDisplayId(uint32_t displayId, Where& where) const {
    const auto& gpus = pc_.Setup().gpus;
    for (size_t g = 0; g < gpus.size(); ++g) {
        for (size_t d = 0; d < gpus[g].displays.size(); ++d) {
            if (gpus[g].displays[d].displayId == displayId) {
                where = {g, d};
                return true;
            }
        }
    }
    return false;
}

nvapi::DisplayHandle SimNvApi::HandleOf(const Where& where) const {
    uint32_t flat = 0;
    const auto& gpus = pc_.Setup().gpus;
    for (size_t g = 0; g < where.gpu; ++g) {
        flat += static_cast<uint32_t>(gpus[g].displays.size());
    }
    return kDisplayHandleBase + flat + static_cast<uint32_t>(where.display);
}

bool SimNvApi::FindDisplayHandle(nvapi::DisplayHandle handle, Where& where) const {
    const auto& gpus = pc_.Setup().gpus;
    for (size_t g = 0; g < gpus.size(); ++g) {
        for (size_t d = 0; d < gpus[g].displays.size(); ++d) {
            const Where candidate{g, d};
            if (HandleOf(candidate) == handle) {
                where = candidate;
                return true;
            }
        }
    }
    return false;
}

const DisplaySpec& SimNvApi::Display(const Where& where) const {
    return pc_.Setup().gpus[where.gpu].displays[where.display];
}

}  // namespace zorvan::sim
