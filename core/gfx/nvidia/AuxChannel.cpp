#include "core/gfx/nvidia/AuxChannel.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/gfx/GfxLib.h"
#include "core/gfx/LittleEndian.h"
#include "core/platform/Clock.h"
#include "core/platform/Trace.h"

namespace zorvan::nvidia {
namespace {

const char* KindName(uint32_t type) {
    switch (type) {
        case nvapi::kAuxNativeWrite:
            return "native-write";
        case nvapi::kAuxNativeRead:
            return "native-read";
        case nvapi::kAuxI2cWrite:
            return "i2c-write";
        case nvapi::kAuxI2cRead:
            return "i2c-read";
        case nvapi::kAuxI2cWriteMot:
            return "i2c-write-mot";
        case nvapi::kAuxI2cReadMot:
            return "i2c-read-mot";
        default:
            return "unknown";
    }
}

void TraceRequest(const nvapi::DpAuxRequest& request, const std::string& outcome) {
    char head[96];
    std::snprintf(head, sizeof head, "  nvapi %s addr=0x%X len=%u -> ", KindName(request.type),
                  request.address, request.size);
    trace::Line(head + outcome);
}

}  // namespace

nvapi::DpAuxRequest MakeAuxRequest(const Device& device, uint32_t type, uint32_t address,
                                   uint32_t size) {
    nvapi::DpAuxRequest request;
    request.displayId = device.displayId;
    request.type = type;
    request.address = address;
    request.size = size;
    std::memcpy(request.topology, device.topology, sizeof request.topology);
    return request;
}

int32_t RunAuxRequest(const Device& device, nvapi::DpAuxRequest& request) {
    nvapi::Driver& driver = nvapi::ActiveDriver();
    for (int attempt = 1;; ++attempt) {
        // Built afresh for every attempt: whatever the driver left in the record of a
        // deferred attempt is not sent again.
        uint8_t record[nvapi::kDpAuxRequestSize];
        nvapi::EncodeDpAuxRequest(request, record);
        const nvapi::Status status =
            driver.DpAuxChannel(device.displayHandle, record, nvapi::kDpAuxRequestSize);
        const uint32_t reply = le::Get32(record + nvapi::kAuxOffsetReply);
        if (trace::Enabled()) {
            TraceRequest(request, status != nvapi::NVAPI_OK ? std::to_string(status)
                                                            : std::to_string(reply));
        }
        if (status != nvapi::NVAPI_OK) {
            return reply == nvapi::kAuxReplyCallFailed ? 1 : status;
        }
        if (reply == nvapi::kAuxReplyNack) {
            return GFX_AUX_NACK;
        }
        if (reply == nvapi::kAuxReplyDefer) {
            platform::BusyWaitUs(kDeferPauseUs);
            if (attempt == kAuxAttempts) {
                return GFX_BUSY;
            }
            continue;
        }
        // Acknowledged; the driver's other reply codes count as acknowledged too.
        const uint32_t count = request.size < nvapi::kAuxMaxData ? request.size : nvapi::kAuxMaxData;
        std::memcpy(request.data, record + nvapi::kAuxOffsetData, count);
        return GFX_OK;
    }
}

}  // namespace zorvan::nvidia
