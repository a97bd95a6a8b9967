#include "sim/pc/adl/SimAdl.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/gfx/LittleEndian.h"
#include "core/platform/Clock.h"

namespace zorvan::sim {
namespace {

constexpr uint32_t kDisplayInfoOffsetPhysicalIndex = 4;
constexpr uint32_t kDisplayInfoOffsetPhysicalAdapter = 12;

}  // namespace

bool SimAdl::Load(const wchar_t* fileName) {
    loaded_ = installed_ && fileName != nullptr && std::wstring(fileName) == adl::kLibraryName;
    return loaded_;
}

void SimAdl::Unload() {
    loaded_ = false;
    alloc_ = nullptr;
}

bool SimAdl::HasEntryPoint(const char* name) {
    if (!loaded_ || name == nullptr) {
        return false;
    }
    for (const char* known : adl::kEntryPoints) {
        if (std::strcmp(known, name) == 0) {
            return true;
        }
    }
    return false;
}

int SimAdl::MainControlCreate(adl::AllocCallback callback, int) {
    if (!loaded_) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (callback == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    alloc_ = callback;
    return adl::ADL_OK;
}

int SimAdl::MainControlDestroy() {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    alloc_ = nullptr;
    return adl::ADL_OK;
}

int SimAdl::NumberOfAdaptersGet(int* count) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (count == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    *count = static_cast<int>(pc_.Setup().gpus.size());
    return adl::ADL_OK;
}

int SimAdl::AdapterInfoGet(uint8_t* info, int size) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    const size_t n = pc_.Setup().gpus.size();
    if (info == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    if (size < 0 || static_cast<size_t>(size) < n * adl::kAdapterInfoSize) {
        return adl::ADL_ERR_INVALID_PARAM;
    }
    for (size_t g = 0; g < n; ++g) {
        uint8_t* record = info + g * adl::kAdapterInfoSize;
        std::memset(record, 0, adl::kAdapterInfoSize);
        le::Put32(record, adl::kAdapterInfoSize);
        le::Put32(record + adl::kAdapterInfoOffsetIndex, static_cast<uint32_t>(AdapterIndexOf(g)));
    }
    return adl::ADL_OK;
}

int SimAdl::AdapterActiveGet(int adapterIndex, int* status) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (status == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    size_t gpu = 0;
    if (!FindAdapter(adapterIndex, gpu)) {
        return adl::ADL_ERR_INVALID_ADL_IDX;
    }
    *status = pc_.Setup().gpus[gpu].adlActive ? 1 : 0;
    return adl::ADL_OK;
}

int SimAdl::DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays, int) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (count == nullptr || displays == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    size_t gpu = 0;
    if (!FindAdapter(adapterIndex, gpu)) {
        return adl::ADL_ERR_INVALID_ADL_IDX;
    }
    const auto& list = pc_.Setup().gpus[gpu].displays;
    *count = 0;
    *displays = nullptr;
    if (list.empty()) {
        return adl::ADL_OK;
    }
    auto* records =
        static_cast<uint8_t*>(alloc_(static_cast<int>(list.size()) * adl::kDisplayInfoSize));
    if (records == nullptr) {
        return adl::ADL_ERR;
    }
    for (size_t d = 0; d < list.size(); ++d) {
        const AdlDisplaySpec& setup = list[d].adl;
        uint8_t* r = records + d * adl::kDisplayInfoSize;
        std::memset(r, 0, adl::kDisplayInfoSize);
        const auto logical = static_cast<uint32_t>(LogicalIndexOf(gpu, d));
        le::Put32(r + adl::kDisplayInfoOffsetLogicalIndex, logical);
        le::Put32(r + kDisplayInfoOffsetPhysicalIndex, logical);
        const int logicalAdapter = setup.logicalAdapter >= 0 ? setup.logicalAdapter : adapterIndex;
        le::Put32(r + adl::kDisplayInfoOffsetLogicalAdapter, static_cast<uint32_t>(logicalAdapter));
        le::Put32(r + kDisplayInfoOffsetPhysicalAdapter, static_cast<uint32_t>(adapterIndex));
        le::Put32(r + adl::kDisplayInfoOffsetConnector, setup.connectorType);
        le::Put32(r + adl::kDisplayInfoOffsetValue, (setup.connected ? adl::kDisplayConnected : 0u) |
                                                        (setup.mapped ? adl::kDisplayMapped : 0u));
    }
    *count = static_cast<int>(list.size());
    *displays = records;
    return adl::ADL_OK;
}

bool SimAdl::I2cRequest(const Where& where, AuxRequest& request, AuxReply& reply) {
    for (int attempt = 0; attempt < kAdlDeferRetries; ++attempt) {
        reply = pc_.Channel(where.gpu, where.display).Transact(request);
        if (reply.status != AuxStatus::Defer) {
            return reply.status == AuxStatus::Ack;
        }
        platform::ActiveClock().Elapse(kAdlDeferBackoffUs);
    }
    return false;
}

int SimAdl::DdcBlockAccessGet(int adapterIndex, int displayIndex, int, int, int sendLength,
                              const uint8_t* send, int* receiveLength, uint8_t* receive) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (send == nullptr || receiveLength == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    if (sendLength < 1 || sendLength > kAdlMaxDdcBlock + 1) {
        return adl::ADL_ERR_INVALID_PARAM;
    }
    Where where;
    if (!FindDisplay(adapterIndex, displayIndex, where)) {
        return adl::ADL_ERR_INVALID_ADL_IDX;
    }
    const uint32_t address = send[0] >> 1;
    AuxReply reply;
    if ((send[0] & 1u) == 0) {
        // A write: the bytes after the address, in requests of up to 16 bytes.
        const uint32_t total = static_cast<uint32_t>(sendLength - 1);
        uint32_t done = 0;
        do {
            const uint32_t size = total - done < kAuxMaxPayload ? total - done : kAuxMaxPayload;
            AuxRequest request;
            request.command = AuxCommand::I2cWrite;
            request.address = address;
            request.mot = done + size < total;
            request.data.assign(send + 1 + done, send + 1 + done + size);
            if (!I2cRequest(where, request, reply)) {
                return adl::ADL_ERR;
            }
            done += size;
        } while (done < total);
        return adl::ADL_OK;
    }
    const int wanted = *receiveLength;
    if (wanted < 1 || wanted > kAdlMaxDdcBlock) {
        return adl::ADL_ERR_INVALID_PARAM;
    }
    if (receive == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    const auto total = static_cast<uint32_t>(wanted);
    for (uint32_t done = 0; done < total;) {
        const uint32_t size = total - done < kAuxMaxPayload ? total - done : kAuxMaxPayload;
        AuxRequest request;
        request.command = AuxCommand::I2cRead;
        request.address = address;
        request.mot = done + size < total;
        request.length = size;
        if (!I2cRequest(where, request, reply)) {
            return adl::ADL_ERR;
        }
        const size_t got = reply.data.size() < size ? reply.data.size() : size;
        std::memset(receive + done, 0, size);
        std::copy_n(reply.data.begin(), got, receive + done);
        done += size;
    }
    return adl::ADL_OK;
}

int SimAdl::NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) {
    if (alloc_ == nullptr) {
        return adl::ADL_ERR_NOT_INIT;
    }
    if (request == nullptr) {
        return adl::ADL_ERR_NULL_POINTER;
    }
    const uint32_t size = le::Get32(request + adl::kNativeAuxOffsetSize);
    const uint32_t command = le::Get32(request + adl::kNativeAuxOffsetCommand);
    const uint32_t address = le::Get32(request + adl::kNativeAuxOffsetAddress);
    const uint32_t length = le::Get32(request + adl::kNativeAuxOffsetLength);
    if (size != adl::kNativeAuxSize ||
        (command != adl::kNativeAuxRead && command != adl::kNativeAuxWrite) || length < 1 ||
        length > adl::kNativeAuxMaxData || address >= kDpcdAddressLimit) {
        return adl::ADL_ERR_INVALID_PARAM;
    }
    Where where;
    if (!FindDisplay(adapterIndex, displayIndex, where)) {
        return adl::ADL_ERR_INVALID_ADL_IDX;
    }
    uint8_t* data = request + adl::kNativeAuxOffsetData;
    AuxRequest aux;
    aux.address = address;
    if (command == adl::kNativeAuxWrite) {
        aux.command = AuxCommand::NativeWrite;
        aux.data.assign(data, data + length);
    } else {
        aux.command = AuxCommand::NativeRead;
        aux.length = length;
    }
    const AuxReply reply = pc_.Channel(where.gpu, where.display).Transact(aux);
    uint32_t status = kAdlAuxStatusNoReply;
    switch (reply.status) {
        case AuxStatus::Ack:
            status = adl::kNativeAuxStatusDone;
            if (command == adl::kNativeAuxRead) {
                std::memset(data, 0, adl::kNativeAuxMaxData);
                const size_t got = reply.data.size() < length ? reply.data.size() : length;
                std::copy_n(reply.data.begin(), got, data);
            }
            break;
        case AuxStatus::Defer:
            status = adl::kNativeAuxStatusDeferred;
            break;
        case AuxStatus::Nack:
            status = kAdlAuxStatusRefused;
            break;
        case AuxStatus::Timeout:
            break;
    }
    le::Put32(request + adl::kNativeAuxOffsetStatus, status);
    return adl::ADL_OK;
}

int SimAdl::AdapterIndexOf(size_t gpu) const {
    const int configured = pc_.Setup().gpus[gpu].adlIndex;
    return configured >= 0 ? configured : static_cast<int>(gpu);
}

int SimAdl::LogicalIndexOf(size_t gpu, size_t display) const {
    const int configured = pc_.Setup().gpus[gpu].displays[display].adl.logicalIndex;
    return configured >= 0 ? configured : static_cast<int>(display);
}

bool SimAdl::FindAdapter(int adapterIndex, size_t& gpu) const {
    for (size_t g = 0; g < pc_.Setup().gpus.size(); ++g) {
        if (AdapterIndexOf(g) == adapterIndex) {
            gpu = g;
            return true;
        }
    }
    return false;
}

bool SimAdl::FindDisplay(int adapterIndex, int displayIndex, Where& where) const {
    size_t gpu = 0;
    if (!FindAdapter(adapterIndex, gpu)) {
        return false;
    }
    for (size_t d = 0; d < pc_.Setup().gpus[gpu].displays.size(); ++d) {
        if (LogicalIndexOf(gpu, d) == displayIndex) {
            where = {gpu, d};
            return true;
        }
    }
    return false;
}

}  // namespace zorvan::sim
