#include "sim/pc/adl/SimAdl.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/platform/Clock.h"
#include "sim/chip/LittleEndian.h"

namespace zorvan::sim {

bool SimAdl::Load(const wchar_t* fileName) {
    loaded_ = installed_ && fileName != nullptr && std::wstring(fileName) == kAdlLibraryFile;
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
    for (const char* known : kAdlExports) {
        if (std::strcmp(known, name) == 0) {
            return true;
        }
    }
    return false;
}

int SimAdl::MainControlCreate(adl::AllocCallback callback, int) {
    if (!loaded_) {
        return kAdlErrNotInit;
    }
    if (callback == nullptr) {
        return kAdlErrNullPointer;
    }
    alloc_ = callback;
    return kAdlOk;
}

int SimAdl::MainControlDestroy() {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    alloc_ = nullptr;
    return kAdlOk;
}

int SimAdl::NumberOfAdaptersGet(int* count) {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    if (count == nullptr) {
        return kAdlErrNullPointer;
    }
    *count = static_cast<int>(pc_.Setup().gpus.size());
    return kAdlOk;
}

int SimAdl::AdapterInfoGet(uint8_t* info, int size) {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    const size_t n = pc_.Setup().gpus.size();
    if (info == nullptr) {
        return kAdlErrNullPointer;
    }
    if (size < 0 || static_cast<size_t>(size) < n * kAdlAdapterInfoSize) {
        return kAdlErrInvalidParam;
    }
    for (size_t g = 0; g < n; ++g) {
        uint8_t* record = info + g * kAdlAdapterInfoSize;
        std::memset(record, 0, kAdlAdapterInfoSize);
        Put32(record + kAdlAdapterOffsetSize, static_cast<uint32_t>(kAdlAdapterInfoSize));
        Put32(record + kAdlAdapterOffsetIndex, static_cast<uint32_t>(AdapterIndexOf(g)));
    }
    return kAdlOk;
}

int SimAdl::AdapterActiveGet(int adapterIndex, int* status) {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    if (status == nullptr) {
        return kAdlErrNullPointer;
    }
    size_t gpu = 0;
    if (!FindAdapter(adapterIndex, gpu)) {
        return kAdlErrInvalidAdlIdx;
    }
    *status = pc_.Setup().gpus[gpu].adlActive ? 1 : 0;
    return kAdlOk;
}

int SimAdl::DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays, int) {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    if (count == nullptr || displays == nullptr) {
        return kAdlErrNullPointer;
    }
    size_t gpu = 0;
    if (!FindAdapter(adapterIndex, gpu)) {
        return kAdlErrInvalidAdlIdx;
    }
    const auto& list = pc_.Setup().gpus[gpu].displays;
    *count = 0;
    *displays = nullptr;
    if (list.empty()) {
        return kAdlOk;
    }
    auto* records =
        static_cast<uint8_t*>(alloc_(static_cast<int>(list.size() * kAdlDisplayInfoSize)));
    if (records == nullptr) {
        return kAdlErr;
    }
    for (size_t d = 0; d < list.size(); ++d) {
        const AdlDisplaySpec& setup = list[d].adl;
        uint8_t* r = records + d * kAdlDisplayInfoSize;
        std::memset(r, 0, kAdlDisplayInfoSize);
        const auto logical = static_cast<uint32_t>(LogicalIndexOf(gpu, d));
        Put32(r + kAdlDisplayOffsetLogicalIndex, logical);
        Put32(r + kAdlDisplayOffsetPhysicalIndex, logical);
        const int logicalAdapter = setup.logicalAdapter >= 0 ? setup.logicalAdapter : adapterIndex;
        Put32(r + kAdlDisplayOffsetLogicalAdapter, static_cast<uint32_t>(logicalAdapter));
        Put32(r + kAdlDisplayOffsetPhysicalAdapter, static_cast<uint32_t>(adapterIndex));
        Put32(r + kAdlDisplayOffsetConnector, setup.connectorType);
        Put32(r + kAdlDisplayOffsetValue, (setup.connected ? kAdlDisplayConnected : 0u) |
                                                        (setup.mapped ? kAdlDisplayMapped : 0u));
    }
    *count = static_cast<int>(list.size());
    *displays = records;
    return kAdlOk;
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
        return kAdlErrNotInit;
    }
    if (send == nullptr || receiveLength == nullptr) {
        return kAdlErrNullPointer;
    }
    if (sendLength < 1 || sendLength > kAdlMaxDdcBlock + 1) {
        return kAdlErrInvalidParam;
    }
    Where where;
    if (!FindDisplay(adapterIndex, displayIndex, where)) {
        return kAdlErrInvalidAdlIdx;
    }
    // The address byte: the 7-bit address on the wire and the direction in bit 0.
    const uint32_t address = send[0] >> 1;
    AuxReply reply;
    if ((send[0] & kAdlI2cReadBit) == 0) {
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
                return kAdlErr;
            }
            done += size;
        } while (done < total);
        return kAdlOk;
    }
    const int wanted = *receiveLength;
    if (wanted < 1 || wanted > kAdlMaxDdcBlock) {
        return kAdlErrInvalidParam;
    }
    if (receive == nullptr) {
        return kAdlErrNullPointer;
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
            return kAdlErr;
        }
        const size_t got = reply.data.size() < size ? reply.data.size() : size;
        std::memset(receive + done, 0, size);
        std::copy_n(reply.data.begin(), got, receive + done);
        done += size;
    }
    return kAdlOk;
}

int SimAdl::NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) {
    if (alloc_ == nullptr) {
        return kAdlErrNotInit;
    }
    if (request == nullptr) {
        return kAdlErrNullPointer;
    }
    const uint32_t size = Get32(request + kAdlNativeAuxOffsetSize);
    const uint32_t command = Get32(request + kAdlNativeAuxOffsetCommand);
    const uint32_t address = Get32(request + kAdlNativeAuxOffsetAddress);
    const uint32_t length = Get32(request + kAdlNativeAuxOffsetLength);
    if (size != kAdlNativeAuxSize ||
        (command != kAdlNativeAuxRead && command != kAdlNativeAuxWrite) || length < 1 ||
        length > kAdlNativeAuxMaxData || address >= kDpcdAddressLimit) {
        return kAdlErrInvalidParam;
    }
    Where where;
    if (!FindDisplay(adapterIndex, displayIndex, where)) {
        return kAdlErrInvalidAdlIdx;
    }
    uint8_t* data = request + kAdlNativeAuxOffsetData;
    AuxRequest aux;
    aux.address = address;
    if (command == kAdlNativeAuxWrite) {
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
            status = kAdlAuxStatusDone;
            if (command == kAdlNativeAuxRead) {
                std::memset(data, 0, kAdlNativeAuxMaxData);
                const size_t got = reply.data.size() < length ? reply.data.size() : length;
                std::copy_n(reply.data.begin(), got, data);
            }
            break;
        case AuxStatus::Defer:
            status = kAdlAuxStatusDeferred;
            break;
        case AuxStatus::Nack:
            status = kAdlAuxStatusRefused;
            break;
        case AuxStatus::Timeout:
            break;
    }
    Put32(request + kAdlNativeAuxOffsetStatus, status);
    return kAdlOk;
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
