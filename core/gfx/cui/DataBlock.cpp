#include "core/gfx/cui/DataBlock.h"

#include <cstdio>
#include <cstring>

#include "core/gfx/Chunks.h"
#include "core/gfx/DdcReplyRead.h"
#include "core/gfx/GfxLib.h"
#include "core/gfx/LittleEndian.h"
#include "core/platform/Clock.h"
#include "core/platform/Trace.h"

namespace zorvan::cui {

const BlockLayout kAuxBlock{&kAuxDataBlock, 32, 0, 4, 8, 12, 16, "cui"};
const BlockLayout kLspconBlock{&kLspconAuxDataBlock, 160, 0, 16, 20, 24, 28, "cui-lspcon"};

namespace {

bool IsWrite(uint32_t command) {
    return command % 2 == 0;
}

const char* KindName(uint32_t command) {
    switch (command) {
        case kCmdI2cWrite:
            return "i2c-write";
        case kCmdI2cRead:
            return "i2c-read";
        case kCmdI2cWriteMot:
            return "i2c-write-mot";
        case kCmdI2cReadMot:
            return "i2c-read-mot";
        case kCmdNativeWrite:
            return "native-write";
        default:
            return "native-read";
    }
}

// The call's outcome as the trace shows it: a failed call's HRESULT, else the status.
void TraceCall(const BlockLayout& layout, uint32_t command, uint32_t address, int32_t size,
               HResult hr, uint32_t status) {
    if (!trace::Enabled()) {
        return;
    }
    char line[112];
    if (hr < 0) {
        std::snprintf(line, sizeof line, "  %s %s addr=0x%X len=%d -> 0x%08X", layout.traceVendor,
                      KindName(command), address, size, static_cast<uint32_t>(hr));
    } else {
        std::snprintf(line, sizeof line, "  %s %s addr=0x%X len=%d -> %u", layout.traceVendor,
                      KindName(command), address, size, status);
    }
    trace::Line(line);
}

// The I2C read of one DDC/CI reply as data-block reads.
class BlockReplyTransport final : public DdcReplyTransport {
  public:
    BlockReplyTransport(DataBlockLink& link, uint32_t deviceId, uint32_t address)
        : link_(link), deviceId_(deviceId), address_(address) {}

    int32_t ReadHeader(uint8_t header[2]) override {
        return link_.Transact(deviceId_, kCmdI2cReadMot, address_, header, 2);
    }

    // The results of these requests are not looked at: a failed one leaves its cleared
    // bytes in the reply, which the caller's checksum then rejects.
    int32_t ReadRest(uint8_t* rest, int32_t count) override {
        for (const Chunk& chunk : SplitIntoChunks(count, kAuxChunkSize)) {
            uint8_t data[kAuxChunkSize] = {};
            if (link_.Transact(deviceId_, chunk.last ? kCmdI2cRead : kCmdI2cReadMot, address_, data,
                               chunk.size) != GFX_OK) {
                std::memset(data, 0, sizeof data);
            }
            std::memcpy(rest + chunk.offset, data, static_cast<size_t>(chunk.size));
        }
        return GFX_OK;
    }

  private:
    DataBlockLink& link_;
    uint32_t deviceId_;
    uint32_t address_;
};

}  // namespace

int32_t DataBlockLink::Transact(uint32_t deviceId, uint32_t command, uint32_t address,
                                uint8_t* data, int32_t size) {
    if (object_ == nullptr) {
        return -1;
    }
    for (int call = 1;; ++call) {
        // A fresh, cleared block for every call: nothing the driver left in the block of a
        // busy call goes out again.
        uint8_t block[kMaxBlockSize] = {};
        le::Put32(block + layout_.offsetDevice, deviceId);
        le::Put32(block + layout_.offsetCommand, command);
        le::Put32(block + layout_.offsetLength, static_cast<uint32_t>(size));
        le::Put32(block + layout_.offsetAddress, address);
        if (IsWrite(command)) {
            std::memcpy(block + layout_.offsetData, data, static_cast<size_t>(size));
        }
        uint32_t status = 0;
        const HResult hr =
            IsWrite(command) ? object_->SetDeviceData(*layout_.guid, layout_.size, block, &status)
                             : object_->GetDeviceData(*layout_.guid, layout_.size, block, &status);
        TraceCall(layout_, command, address, size, hr, status);
        if (hr >= 0 && status == kStatusSuccess) {
            if (!IsWrite(command)) {
                std::memcpy(data, block + layout_.offsetData, static_cast<size_t>(size));
            }
            return GFX_OK;
        }
        if (status == kStatusBusy) {
            platform::BusyWaitUs(kBusyPauseUs);
            // A busy mailbox write goes back to the core at once: its own retry repeats
            // the whole request.
            if ((IsWrite(command) && address == mailboxAddress_) || call == kDataBlockCalls) {
                return GFX_BUSY;
            }
            continue;
        }
        // A failed call without a status word still fails: its HRESULT, never 0, says why.
        return status != kStatusSuccess ? static_cast<int32_t>(status) : hr;
    }
}

int32_t DataBlockLink::I2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                int32_t length) {
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        uint8_t bytes[kAuxChunkSize] = {};
        std::memcpy(bytes, data + chunk.offset, static_cast<size_t>(chunk.size));
        const int32_t r = Transact(deviceId, chunk.last ? kCmdI2cWrite : kCmdI2cWriteMot, address,
                                   bytes, chunk.size);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t DataBlockLink::I2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                               int32_t capacity, int32_t* length) {
    BlockReplyTransport transport(*this, deviceId, address);
    return ReadDdcReply(transport, address, buffer, capacity, length);
}

int32_t DataBlockLink::AuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                int32_t length) {
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        uint8_t bytes[kAuxChunkSize] = {};
        std::memcpy(bytes, data + chunk.offset, static_cast<size_t>(chunk.size));
        const int32_t r =
            Transact(deviceId, kCmdNativeWrite, address + static_cast<uint32_t>(chunk.offset),
                     bytes, chunk.size);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t DataBlockLink::AuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                               int32_t length) {
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        uint8_t bytes[kAuxChunkSize] = {};
        const int32_t r =
            Transact(deviceId, kCmdNativeRead, address + static_cast<uint32_t>(chunk.offset), bytes,
                     chunk.size);
        if (r != GFX_OK) {
            return r;
        }
        std::memcpy(buffer + chunk.offset, bytes, static_cast<size_t>(chunk.size));
    }
    return GFX_OK;
}

}  // namespace zorvan::cui
