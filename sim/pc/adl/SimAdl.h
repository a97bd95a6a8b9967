#pragma once
// The AMD Display Library of the virtual PC. It loads only under its 64-bit file name,
// checks every argument and record the way the library does before it touches the link,
// and fills the records byte by byte. DDC block access runs one I2C transaction over the
// display's AUX channel, repeating requests the sink defers as a driver does; native AUX
// access runs one request and reports the sink's answer in the record's status: 1 done,
// 9 deferred, 2 refused, 3 no reply.
#include <cstddef>
#include <cstdint>

#include "core/gfx/adl/Adl.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/AdlRecords.h"

namespace zorvan::sim {

// Requests of one I2C transaction the driver repeats while the sink defers them, and the
// time it lets pass in between.
inline constexpr int kAdlDeferRetries = 8;
inline constexpr uint64_t kAdlDeferBackoffUs = 200;

// The library's interface is the host's driver layer (adl::Driver); every code and layout
// it decodes is its own (AdlRecords.h).

class SimAdl final : public adl::Driver {
  public:
    // installed: false for a PC without the AMD driver (the library never loads).
    SimAdl(VirtualPc& pc, bool installed) : pc_(pc), installed_(installed) {}

    bool Load(const wchar_t* fileName) override;
    void Unload() override;
    bool HasEntryPoint(const char* name) override;
    int MainControlCreate(adl::AllocCallback callback, int connectedAdaptersOnly) override;
    int MainControlDestroy() override;
    int NumberOfAdaptersGet(int* count) override;
    int AdapterInfoGet(uint8_t* info, int size) override;
    int AdapterActiveGet(int adapterIndex, int* status) override;
    int DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays, int forceDetect) override;
    int DdcBlockAccessGet(int adapterIndex, int displayIndex, int option, int commandIndex,
                          int sendLength, const uint8_t* send, int* receiveLength,
                          uint8_t* receive) override;
    int NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) override;

  private:
    struct Where {
        size_t gpu = 0;
        size_t display = 0;
    };
    int AdapterIndexOf(size_t gpu) const;
    int LogicalIndexOf(size_t gpu, size_t display) const;
    bool FindAdapter(int adapterIndex, size_t& gpu) const;
    bool FindDisplay(int adapterIndex, int displayIndex, Where& where) const;
    // One I2C request, repeated while deferred; false when it is not acknowledged.
    bool I2cRequest(const Where& where, AuxRequest& request, AuxReply& reply);

    VirtualPc& pc_;
    bool installed_;
    bool loaded_ = false;
    adl::AllocCallback alloc_ = nullptr;
};

}  // namespace zorvan::sim
