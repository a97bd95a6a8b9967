// GfxLibAmd::Connect: the active adapters' DisplayPort displays, each probed with the
// DDC/CI test packet until the chip answers.
#include <array>
#include <cstdlib>
#include <vector>

#include "core/gfx/GfxLibAmd.h"
#include "core/gfx/LittleEndian.h"
#include "core/gfx/Probe.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/amd/AdlLibrary.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// More adapters than any PC has: a count beyond it is the driver's error, and the listing
// stops there rather than asking for an unbounded array.
constexpr int kMaxAdapters = 1024;
constexpr int kMaxDisplays = 1024;

// The display array ADL allocated through our callback; returned to the C heap.
class DisplayArray {
  public:
    DisplayArray() = default;
    ~DisplayArray() { Reset(); }
    DisplayArray(const DisplayArray&) = delete;
    DisplayArray& operator=(const DisplayArray&) = delete;

    void Reset() {
        std::free(records_);
        records_ = nullptr;
        count_ = 0;
    }
    int Fetch(adl::Driver& driver, int adapterIndex) {
        Reset();
        int count = 0;
        uint8_t* records = nullptr;
        const int r = driver.DisplayInfoGet(adapterIndex, &count, &records, 1);
        records_ = records;
        count_ = r == adl::ADL_OK && records != nullptr && count > 0
                     ? (count < kMaxDisplays ? count : kMaxDisplays)
                     : 0;
        return r;
    }
    int Count() const { return count_; }
    const uint8_t* Record(int j) const {
        return records_ + static_cast<size_t>(j) * adl::kDisplayInfoSize;
    }

  private:
    uint8_t* records_ = nullptr;
    int count_ = 0;
};

struct DisplayInfo {
    uint32_t logicalIndex;
    int32_t logicalAdapter;
    uint32_t connector;
    uint32_t linkBits;  // connected (1) and mapped (2)
};

DisplayInfo ReadDisplay(const uint8_t* record) {
    return DisplayInfo{
        le::Get32(record + adl::kDisplayInfoOffsetLogicalIndex),
        static_cast<int32_t>(le::Get32(record + adl::kDisplayInfoOffsetLogicalAdapter)),
        le::Get32(record + adl::kDisplayInfoOffsetConnector),
        le::Get32(record + adl::kDisplayInfoOffsetValue) & 3u};
}

bool IsCandidate(const DisplayInfo& display, int adapterIndex) {
    return display.linkBits == (adl::kDisplayConnected | adl::kDisplayMapped) &&
           display.logicalAdapter == adapterIndex &&
           (display.connector == adl::kConnectorDisplayPort ||
            display.connector == adl::kConnectorEmbeddedDisplayPort);
}

}  // namespace

int32_t GfxLibAmd::DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) {
    text.clear();
    adl::Driver* driver = amd::ReadyDriver();
    if (driver == nullptr) {
        return GFX_NO_DEVICE;
    }
    int count = 0;
    const int r = driver->NumberOfAdaptersGet(&count);
    if (r != adl::ADL_OK) {
        return static_cast<int32_t>(3000u + static_cast<uint32_t>(r));
    }
    text += Format(L"AMD Adapter num#= %d\r\n", count);
    const int adapters = count <= 0 ? 0 : (count < kMaxAdapters ? count : kMaxAdapters);
    std::vector<uint8_t> info(static_cast<size_t>(adapters) * adl::kAdapterInfoSize, 0);
    if (adapters > 0) {
        driver->AdapterInfoGet(info.data(), static_cast<int>(info.size()));
    }
    const uint8_t address = static_cast<uint8_t>(ddcAddress);
    const std::array<uint8_t, kProbePacketLength> probe = ProbePacket(ddcAddress);
    DisplayArray displays;
    for (int i = 0; i < adapters; ++i) {
        const int adapterIndex = static_cast<int>(
            le::Get32(info.data() + static_cast<size_t>(i) * adl::kAdapterInfoSize +
                      adl::kAdapterInfoOffsetIndex));
        int active = 0;
        if (driver->AdapterActiveGet(adapterIndex, &active) != adl::ADL_OK || active == 0) {
            continue;
        }
        text += Format(L" Active Adapter# %d:\r\n", i);
        if (displays.Fetch(*driver, adapterIndex) != adl::ADL_OK) {
            continue;
        }
        text += Format(L"   Num of Disp = %d\r\n", displays.Count());
        for (int j = 0; j < displays.Count(); ++j) {
            const DisplayInfo display = ReadDisplay(displays.Record(j));
            text += Format(L"     Disp# %d: LogicId=0x%04X , Type(%02d) , Conn(%d)\r\n", j,
                           display.logicalIndex, display.connector, display.linkBits);
            if (!IsCandidate(display, adapterIndex)) {
                continue;
            }
            deviceId = (static_cast<uint32_t>(adapterIndex) << 16) + display.logicalIndex;
            I2cWrite(deviceId, address, probe.data(), kProbePacketLength);
            platform::SleepMs(40);
            uint8_t reply[131] = {};
            int32_t length = 0;
            const int32_t read = ReadProbeReply(*this, deviceId, address, reply, 131, &length);
            const bool passed =
                read == GFX_OK && ProbeReplyPasses(reply, length, ddcAddress, kProbeChecksAll);
            text += Format(L"          Test Read = 0x%X\r\n", passed ? 1 : 0);
            if (passed) {
                return GFX_OK;
            }
        }
    }
    return GFX_OK;
}

}  // namespace zorvan
