#include "core/gfx/GfxLibAmd.h"

#include <cstring>

#include "core/gfx/Chunks.h"
#include "core/gfx/DdcReplyRead.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/amd/AdlLibrary.h"
#include "core/gfx/amd/Transactions.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

bool HasEntryPoints(adl::Driver& driver, int first, int last) {
    for (int i = first; i <= last; ++i) {
        if (!driver.HasEntryPoint(adl::kEntryPoints[i])) {
            return false;
        }
    }
    return true;
}

// The I2C read of one DDC/CI reply as DDC block reads: the header with its retries, then
// the rest as block reads of their own.
class AmdReplyTransport final : public DdcReplyTransport {
  public:
    AmdReplyTransport(adl::Driver& driver, amd::Target target, uint8_t readAddress,
                      uint16_t pauseUs)
        : driver_(driver), target_(target), readAddress_(readAddress), pauseUs_(pauseUs) {}

    int32_t ReadHeader(uint8_t header[2]) override {
        int32_t r = GFX_OK;
        for (int attempt = 0; attempt < kAmdHeaderAttempts; ++attempt) {
            r = amd::DdcBlockRead(driver_, target_, readAddress_, block_, 2);
            // The sink needs the pause after every attempt, the good one included.
            platform::BusyWaitUs(kAmdHeaderPauseUs);
            if (r == GFX_OK) {
                std::memcpy(header, block_, 2);
                return GFX_OK;
            }
        }
        return r;
    }

    int32_t ReadRest(uint8_t* rest, int32_t count) override {
        for (const Chunk& chunk : SplitIntoChunks(count, amd::kDdcBlockSize)) {
            platform::BusyWaitUs(pauseUs_);
            const int32_t r = amd::DdcBlockRead(driver_, target_, readAddress_, block_, chunk.size);
            if (r != GFX_OK) {
                return r;
            }
            std::memcpy(rest + chunk.offset, block_, static_cast<size_t>(chunk.size));
        }
        return GFX_OK;
    }

  private:
    adl::Driver& driver_;
    amd::Target target_;
    uint8_t readAddress_;
    uint16_t pauseUs_;
    uint8_t block_[amd::kDdcBlockSize] = {};
};

}  // namespace

GfxLibAmd::GfxLibAmd() : GfxLib(131, 700) {}

GfxLibAmd::~GfxLibAmd() {
    amd::ReleaseLibrary();
}

int32_t GfxLibAmd::DoInit(std::wstring& text) {
    // A repeated Init (the GUI's Refresh) releases the earlier load instead of stacking a
    // second library reference and ADL context on top of it.
    amd::ReleaseLibrary();
    adl::Driver& driver = adl::ActiveDriver();
    if (!driver.Load(adl::kLibraryName) && !driver.Load(adl::kLibraryNameFallback)) {
        text = L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
        return GFX_AMD_LOAD_FAILED;
    }
    amd::Library().library = &driver;
    if (!HasEntryPoints(driver, 0, adl::kEnumerationEntryPoints - 1)) {
        text = L"Graphics adapter initialization - AMD: Init handles failed!\r\n";
        return GFX_AMD_ENTRY_POINTS_MISSING;
    }
    if (!HasEntryPoints(driver, adl::kNativeAuxEntryPoint, adl::kNativeAuxEntryPoint)) {
        text = L"Graphics adapter initialization - AMD: Get Native AUX ch failed!\r\n";
        return GFX_AMD_NATIVE_AUX_MISSING;
    }
    if (!HasEntryPoints(driver, adl::kDdcBlockEntryPoint, adl::kDdcBlockEntryPoint)) {
        text = L"Graphics adapter initialization - AMD: Get DDC lock access ... failed!\r\n";
        return GFX_AMD_DDC_BLOCK_MISSING;
    }
    if (driver.MainControlCreate(amd::AllocateForAdl, 1) != adl::ADL_OK) {
        text = L"Graphics adapter initialization - AMD: Init ADL failed!\r\n";
        return GFX_AMD_CREATE_FAILED;
    }
    amd::Library().contextCreated = true;
    text = L"Graphics adapter initialization - AMD: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibAmd::DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                              int32_t length) {
    adl::Driver* driver = amd::ReadyDriver();
    if (driver == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, amd::kDdcBlockSize)) {
        const int32_t r =
            amd::DdcBlockWrite(*driver, amd::SplitDeviceId(deviceId), static_cast<uint8_t>(address),
                               data + chunk.offset, chunk.size);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t GfxLibAmd::DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                             int32_t* length) {
    adl::Driver* driver = amd::ReadyDriver();
    if (driver == nullptr) {
        return GFX_NO_DEVICE;
    }
    AmdReplyTransport transport(*driver, amd::SplitDeviceId(deviceId),
                                static_cast<uint8_t>(address | 1u),
                                static_cast<uint16_t>(chunkDelayUs));
    return ReadDdcReply(transport, address, buffer, capacity, length);
}

int32_t GfxLibAmd::DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                              int32_t length) {
    adl::Driver* driver = amd::ReadyDriver();
    if (driver == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        platform::BusyWaitUs(static_cast<uint16_t>(chunkDelayUs));
        const int32_t r =
            amd::NativeAux(*driver, amd::SplitDeviceId(deviceId), adl::kNativeAuxWrite,
                           address + static_cast<uint32_t>(chunk.offset), data + chunk.offset,
                           nullptr, chunk.size);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

int32_t GfxLibAmd::DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t length) {
    adl::Driver* driver = amd::ReadyDriver();
    if (driver == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        const int32_t r = amd::NativeAux(*driver, amd::SplitDeviceId(deviceId), adl::kNativeAuxRead,
                                         address + static_cast<uint32_t>(chunk.offset), nullptr,
                                         buffer + chunk.offset, chunk.size);
        if (r != GFX_OK) {
            return r;
        }
    }
    return GFX_OK;
}

}  // namespace zorvan
