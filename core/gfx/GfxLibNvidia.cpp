#include "core/gfx/GfxLibNvidia.h"

#include <cstring>

#include "core/gfx/Chunks.h"
#include "core/gfx/DdcReplyRead.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/gfx/nvidia/AuxChannel.h"
#include "core/gfx/nvidia/DeviceList.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

uint32_t ChunkSize(const Chunk& chunk) { return static_cast<uint32_t>(chunk.size); }

// The I2C read of one DDC/CI reply as NVIDIA AUX requests: the header as a request that
// keeps the transaction open, the rest in chunks of 16, each after the chunk pause.
class NvidiaReplyTransport final : public DdcReplyTransport {
public:
    NvidiaReplyTransport(const nvidia::Device& device, uint32_t address, uint16_t pauseUs)
        : device_(device), address_(address), pauseUs_(pauseUs) {}

    int32_t ReadHeader(uint8_t header[2]) override {
        nvapi::DpAuxRequest request =
            nvidia::MakeAuxRequest(device_, nvapi::kAuxI2cReadMot, address_, 2);
        const int32_t r = nvidia::RunAuxRequest(device_, request);
        if (r == GFX_OK) {
            std::memcpy(header, request.data, 2);
        }
        return r;
    }

    // The codes of these requests are not looked at: a failed chunk leaves its cleared
    // bytes in the reply, which the caller's checksum then rejects.
    int32_t ReadRest(uint8_t* rest, int32_t count) override {
        for (const Chunk& chunk : SplitIntoChunks(count, kAuxChunkSize)) {
            platform::BusyWaitUs(pauseUs_);
            nvapi::DpAuxRequest request = nvidia::MakeAuxRequest(
                device_, chunk.last ? nvapi::kAuxI2cRead : nvapi::kAuxI2cReadMot, address_,
                ChunkSize(chunk));
            nvidia::RunAuxRequest(device_, request);
            std::memcpy(rest + chunk.offset, request.data, ChunkSize(chunk));
        }
        return GFX_OK;
    }

private:
    const nvidia::Device& device_;
    uint32_t address_;
    uint16_t pauseUs_;
};

}  // namespace

GfxLibNvidia::GfxLibNvidia() : GfxLib(131, 700) {}

GfxLibNvidia::~GfxLibNvidia() { nvidia::Devices().clear(); }

int32_t GfxLibNvidia::DoInit(std::wstring& text) {
    const nvapi::Status status = nvapi::ActiveDriver().Initialize();
    if (status != nvapi::NVAPI_OK) {
        text = Format(L"Graphics adapter initialization - NVIDIA: failed! (%d)\r\n", status);
        return GFX_INIT_FAILED;
    }
    text = L"Graphics adapter initialization - NVIDIA: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibNvidia::DoI2cWrite(uint32_t, uint32_t address, const uint8_t* data,
                                 int32_t length) {
    const std::shared_ptr<const nvidia::Device> device = nvidia::FirstDevice();
    if (device == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        nvapi::DpAuxRequest request = nvidia::MakeAuxRequest(
            *device, chunk.last ? nvapi::kAuxI2cWrite : nvapi::kAuxI2cWriteMot, address,
            ChunkSize(chunk));
        std::memcpy(request.data, data + chunk.offset, ChunkSize(chunk));
        const int32_t r = nvidia::RunAuxRequest(*device, request);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t GfxLibNvidia::DoI2cRead(uint32_t, uint32_t address, uint8_t* buffer, int32_t capacity,
                                int32_t* length) {
    const std::shared_ptr<const nvidia::Device> device = nvidia::FirstDevice();
    if (device == nullptr) {
        return GFX_NO_DEVICE;
    }
    NvidiaReplyTransport transport(*device, address, static_cast<uint16_t>(chunkDelayUs));
    return ReadDdcReply(transport, address, buffer, capacity, length);
}

int32_t GfxLibNvidia::DoAuxWrite(uint32_t, uint32_t address, const uint8_t* data,
                                 int32_t length) {
    const std::shared_ptr<const nvidia::Device> device = nvidia::FirstDevice();
    if (device == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        platform::BusyWaitUs(static_cast<uint16_t>(chunkDelayUs));
        nvapi::DpAuxRequest request =
            nvidia::MakeAuxRequest(*device, nvapi::kAuxNativeWrite,
                                   address + static_cast<uint32_t>(chunk.offset), ChunkSize(chunk));
        std::memcpy(request.data, data + chunk.offset, ChunkSize(chunk));
        const int32_t r = nvidia::RunAuxRequest(*device, request);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t GfxLibNvidia::DoAuxRead(uint32_t, uint32_t address, uint8_t* buffer, int32_t length) {
    const std::shared_ptr<const nvidia::Device> device = nvidia::FirstDevice();
    if (device == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        nvapi::DpAuxRequest request =
            nvidia::MakeAuxRequest(*device, nvapi::kAuxNativeRead,
                                   address + static_cast<uint32_t>(chunk.offset), ChunkSize(chunk));
        const int32_t r = nvidia::RunAuxRequest(*device, request);
        if (r != GFX_OK) {
            return r;
        }
        std::memcpy(buffer + chunk.offset, request.data, ChunkSize(chunk));
    }
    return GFX_OK;
}

}  // namespace zorvan
