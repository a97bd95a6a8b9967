#include "core/gfx/amd/Transactions.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/gfx/GfxLib.h"
#include "core/gfx/LittleEndian.h"
#include "core/platform/Clock.h"
#include "core/platform/Trace.h"

namespace zorvan::amd {
namespace {

void TraceRequest(const char* kind, uint32_t address, int32_t length, int32_t outcome) {
    if (!trace::Enabled()) {
        return;
    }
    char line[96];
    std::snprintf(line, sizeof line, "  adl %s addr=0x%X len=%d -> %d", kind, address, length,
                  outcome);
    trace::Line(line);
}

}  // namespace

Target SplitDeviceId(uint32_t deviceId) {
    return Target{static_cast<int>(deviceId >> 16), static_cast<int>(deviceId & 0xFFFFu)};
}

int32_t DdcBlockWrite(adl::Driver& driver, Target target, uint8_t address, const uint8_t* data,
                      int32_t length) {
    uint8_t send[kDdcBlockSize + 1] = {};
    const int32_t size = length < kDdcBlockSize ? length : kDdcBlockSize;
    send[0] = address;
    std::memcpy(send + 1, data, static_cast<size_t>(size));
    int receiveLength = 0;
    const int r = driver.DdcBlockAccessGet(target.adapter, target.display, adl::kDdcBlockOption,
                                           adl::kDdcBlockCommandIndex, size + 1, send,
                                           &receiveLength, nullptr);
    TraceRequest("ddc-write", address, size, r);
    return r;
}

int32_t DdcBlockRead(adl::Driver& driver, Target target, uint8_t address, uint8_t* buffer,
                     int32_t length) {
    std::memset(buffer, 0, kDdcBlockSize);
    const int32_t size = length < kDdcBlockSize ? length : kDdcBlockSize;
    const uint8_t send[1] = {address};
    int receiveLength = size;
    const int r =
        driver.DdcBlockAccessGet(target.adapter, target.display, adl::kDdcBlockOption,
                                 adl::kDdcBlockCommandIndex, 1, send, &receiveLength, buffer);
    TraceRequest("ddc-read", address, size, r);
    return r;
}

int32_t NativeAux(adl::Driver& driver, Target target, uint32_t command, uint32_t address,
                  const uint8_t* writeData, uint8_t* readInto, int32_t size) {
    const char* kind = command == adl::kNativeAuxWrite ? "native-write" : "native-read";
    for (int deferrals = 0;;) {
        // Built afresh for every attempt, so nothing the driver left behind goes out again.
        uint8_t record[adl::kNativeAuxSize] = {};
        le::Put32(record + adl::kNativeAuxOffsetSize, adl::kNativeAuxSize);
        le::Put32(record + adl::kNativeAuxOffsetCommand, command);
        le::Put32(record + adl::kNativeAuxOffsetAddress, address);
        le::Put32(record + adl::kNativeAuxOffsetLength, static_cast<uint32_t>(size));
        if (writeData != nullptr) {
            std::memcpy(record + adl::kNativeAuxOffsetData, writeData, static_cast<size_t>(size));
        }
        const int r = driver.NativeAuxChannelAccess(target.adapter, target.display, record);
        const uint32_t status = le::Get32(record + adl::kNativeAuxOffsetStatus);
        TraceRequest(kind, address, size, r != adl::ADL_OK ? r : static_cast<int32_t>(status));
        if (r != adl::ADL_OK) {
            return static_cast<int32_t>(3000u + static_cast<uint32_t>(r));
        }
        if (status == adl::kNativeAuxStatusDone) {
            if (readInto != nullptr) {
                std::memcpy(readInto, record + adl::kNativeAuxOffsetData,
                            static_cast<size_t>(size));
            }
            return GFX_OK;
        }
        if (status != adl::kNativeAuxStatusDeferred) {
            return static_cast<int32_t>(4000u + status);
        }
        platform::BusyWaitUs(kDeferPauseUs);
        if (++deferrals == kNativeAuxAttempts) {
            return GFX_BUSY;
        }
    }
}

}  // namespace zorvan::amd
