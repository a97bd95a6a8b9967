#include "sim/pc/nvapi/SimNvApi.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "sim/chip/LittleEndian.h"

namespace zorvan::sim {
namespace {

using nvapi::Status;

static_assert(std::tuple_size_v<decltype(TopologyNodeSpec::block)> == kNvRoutingBlockSize);

void Put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

Status SimNvApi::Initialize() {
    initialized_ = initializeStatus_ == kNvOk;
    return initializeStatus_;
}

Status SimNvApi::EnumPhysicalGpus(nvapi::GpuHandle handles[kNvMaxPhysicalGpus],
                                  uint32_t* count) {
    if (!initialized_) {
        return kNvApiNotInitialized;
    }
    if (handles == nullptr || count == nullptr) {
        return kNvInvalidArgument;
    }
    const size_t n = pc_.Setup().gpus.size();
    if (n == 0) {
        return kNvDeviceNotFound;
    }
    const uint32_t shown = n < kNvMaxPhysicalGpus ? static_cast<uint32_t>(n)
                                                       : kNvMaxPhysicalGpus;
    for (uint32_t i = 0; i < shown; ++i) {
        handles[i] = kGpuHandleBase + i;
    }
    *count = shown;
    return kNvOk;
}

Status SimNvApi::GetConnectedDisplayIds(nvapi::GpuHandle gpu, uint8_t* records, uint32_t* count,
                                        uint32_t /*flags*/) {
    if (!initialized_) {
        return kNvApiNotInitialized;
    }
    const auto& gpus = pc_.Setup().gpus;
    if (count == nullptr || gpu < kGpuHandleBase || gpu - kGpuHandleBase >= gpus.size()) {
        return kNvInvalidArgument;
    }
    const auto& displays = gpus[gpu - kGpuHandleBase].displays;
    const uint32_t n = static_cast<uint32_t>(displays.size());
    if (records == nullptr) {
        *count = n;
        return kNvOk;
    }
    if (Get32(records + kNvDisplayOffsetVersion) != kNvDisplayRecordVersion || *count < n) {
        return kNvInvalidArgument;
    }
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* r = records + static_cast<size_t>(i) * kNvDisplayRecordSize;
        std::memset(r, 0, kNvDisplayRecordSize);
        Put32(r + kNvDisplayOffsetVersion, kNvDisplayRecordVersion);
        Put32(r + kNvDisplayOffsetConnector, kNvConnectorDisplayPort);
        Put32(r + kNvDisplayOffsetId, displays[i].displayId);
        Put32(r + kNvDisplayOffsetFlags,
              kNvDisplayActive | (displays[i].mstRoot ? kNvDisplayMstRoot : 0));
    }
    *count = n;
    return kNvOk;
}

Status SimNvApi::GetDisplayHandleFromId(uint32_t displayId, nvapi::DisplayHandle* handle) {
    if (!initialized_) {
        return kNvApiNotInitialized;
    }
    Where where;
    if (handle == nullptr) {
        return kNvInvalidArgument;
    }
    if (!FindDisplayId(displayId, where)) {
        return kNvDeviceNotFound;
    }
    *handle = HandleOf(where);
    return kNvOk;
}

Status SimNvApi::QueryDpTopology(uint32_t displayId, uint8_t* nodes, uint32_t* count) {
    if (!initialized_) {
        return kNvApiNotInitialized;
    }
    Where where;
    if (count == nullptr) {
        return kNvInvalidArgument;
    }
    if (!FindDisplayId(displayId, where)) {
        return kNvDeviceNotFound;
    }
    const DisplaySpec& display = Display(where);
    const uint32_t n = display.mstRoot ? static_cast<uint32_t>(display.topology.size()) : 0;
    if (nodes == nullptr) {
        *count = n;
        return kNvOk;
    }
    if (Get32(nodes + kNvNodeOffsetVersion) != kNvNodeRecordVersion || *count < n) {
        return kNvInvalidArgument;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const TopologyNodeSpec& node = display.topology[i];
        uint8_t* r = nodes + static_cast<size_t>(i) * kNvNodeRecordSize;
        std::memset(r, 0, kNvNodeRecordSize);
        Put32(r + kNvNodeOffsetVersion, kNvNodeRecordVersion);
        Put32(r + kNvNodeOffsetDisplayId, node.displayId);
        std::memcpy(r + kNvNodeOffsetBlock, node.block.data(), kNvRoutingBlockSize);
        Put64(r + kNvNodeOffsetFlags, node.videoSink ? kNvNodeVideoSink : 0);
        Put32(r + kNvNodeOffsetType, node.nodeType);
    }
    *count = n;
    return kNvOk;
}

Status SimNvApi::DpAuxChannel(nvapi::DisplayHandle display, uint8_t* request, uint32_t size) {
    if (!initialized_) {
        return kNvApiNotInitialized;
    }
    if (request == nullptr || size != kNvAuxRequestSize ||
        Get32(request + kNvAuxOffsetVersion) != kNvAuxRequestVersion) {
        return kNvInvalidArgument;
    }
    Where where;
    if (!FindDisplayHandle(display, where)) {
        return kNvInvalidArgument;
    }
    const DisplaySpec& setup = Display(where);
    if (Get32(request + kNvAuxOffsetDisplayId) != setup.displayId) {
        return kNvInvalidArgument;
    }
    // The routing block: all zero addresses the output itself, otherwise it must be the
    // block of one of the output's topology nodes.
    const uint8_t* route = request + kNvAuxOffsetRoute;
    bool routeKnown = true;
    for (size_t i = 0; i < kNvRoutingBlockSize && routeKnown; ++i) {
        routeKnown = route[i] == 0;
    }
    for (const TopologyNodeSpec& node : setup.topology) {
        routeKnown = routeKnown || std::memcmp(route, node.block.data(), kNvRoutingBlockSize) == 0;
    }
    if (!routeKnown) {
        return kNvInvalidArgument;
    }
    const uint32_t type = Get32(request + kNvAuxOffsetType);
    const uint32_t lengthField = Get32(request + kNvAuxOffsetLengthMinusOne);
    const uint32_t address = Get32(request + kNvAuxOffsetAddress);
    if (lengthField > kNvAuxMaxData - 1) {
        return kNvInvalidArgument;
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
            return kNvInvalidArgument;
    }
    const bool isI2c = aux.command == AuxCommand::I2cWrite || aux.command == AuxCommand::I2cRead;
    if (isI2c) {
        // The record carries the device's 8-bit address in its write form, whatever the
        // direction (the type gives it): an odd value names no device and is refused, so
        // the wire sees only the 7-bit address of an even one.
        if (address > 0xFF || (address & 1u) != 0) {
            return kNvInvalidArgument;
        }
        aux.address = address >> 1;
    } else {
        aux.address = address;
    }
    const bool isWrite = aux.command == AuxCommand::NativeWrite || aux.command == AuxCommand::I2cWrite;
    if (isWrite) {
        aux.data.assign(request + kNvAuxOffsetData, request + kNvAuxOffsetData + length);
    } else {
        aux.length = length;
    }

    const AuxReply reply = pc_.Channel(where.gpu, where.display).Transact(aux);
    switch (reply.status) {
        case AuxStatus::Ack:
            if (!isWrite) {
                std::memset(request + kNvAuxOffsetData, 0, kNvAuxMaxData);
                const size_t got = reply.data.size() < length ? reply.data.size() : length;
                std::copy_n(reply.data.begin(), got, request + kNvAuxOffsetData);
            }
            Put32(request + kNvAuxOffsetReply, kNvReplyAck);
            return kNvOk;
        case AuxStatus::Nack:
            Put32(request + kNvAuxOffsetReply, kNvReplyNack);
            return kNvOk;
        case AuxStatus::Defer:
            Put32(request + kNvAuxOffsetReply, kNvReplyDefer);
            return kNvOk;
        case AuxStatus::Timeout:
            break;
    }
    Put32(request + kNvAuxOffsetReply, kNvReplyFailed);
    return kNvError;
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
