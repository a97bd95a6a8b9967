#include "core/gfx/GfxLibIntel.h"

#include <array>
#include <memory>

#include "core/gfx/Probe.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/cui/DataBlock.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// Transport modes: none chosen yet, or the AUX data block.
constexpr int kTransportNone = 0;
constexpr int kTransportAuxBlock = 1;

// The process-wide state of this backend.
struct IntelState {
    std::unique_ptr<cui::Interface> object;
    int transport = kTransportNone;
};

IntelState& State() {
    static IntelState state;
    return state;
}

cui::DataBlockLink Link(const GfxLib& gfx) {
    return cui::DataBlockLink(State().object.get(), cui::kAuxBlock, gfx.mailboxAddress);
}

bool Examined(uint32_t type) {
    return type == kIntelDeviceAux || type == kIntelDeviceType5 || type == kIntelDeviceType3;
}

}  // namespace

GfxLibIntel::GfxLibIntel() : GfxLib(132, 0) {}

GfxLibIntel::~GfxLibIntel() {
    State() = IntelState{};
}

void GfxLibIntel::UseConfiguredDevice(uint32_t deviceId) {
    if (deviceId != 0) {
        State().transport = kTransportAuxBlock;
    }
}

int32_t GfxLibIntel::DoInit(std::wstring& text) {
    const cui::HResult hr = cui::CreateCuiObject(&State().object);
    if (hr < 0) {
        text = Format(L"Graphics adapter initialization - Intel: failed! (%d)\r\n", hr);
        return GFX_INIT_FAILED;
    }
    text = L"Graphics adapter initialization - Intel: done!\r\n";
    return GFX_OK;
}

int32_t GfxLibIntel::DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) {
    text.clear();
    IntelState& state = State();
    const uint8_t address = static_cast<uint8_t>(ddcAddress);
    const std::array<uint8_t, kProbePacketLength> probe = ProbePacket(ddcAddress);
    cui::Driver& driver = cui::ActiveDriver();
    // The device index runs on across adapters, as the driver numbers them.
    uint32_t k = 0;
    std::wstring adapterName;
    for (uint32_t n = 0; state.object != nullptr && driver.EnumDisplayAdapter(n, &adapterName);
         ++n) {
        uint32_t uid = 0;
        uint32_t type = 0;
        uint32_t status = 0;
        while (state.object != nullptr && state.object->EnumAttachableDevices(
                                              adapterName, k, &uid, &type, &status) == cui::kHrOk) {
            ++k;
            if ((status & kIntelDeviceUsable) == 0 || !Examined(type)) {
                continue;
            }
            if (type == kIntelDeviceAux) {
                state.transport = kTransportAuxBlock;
                text += Format(L"  Device GUID: 0x%X [AUX] = ", uid);
            }
            int32_t r = I2cWrite(uid, address, probe.data(), kProbePacketLength);
            if (r == GFX_OK) {
                platform::SleepMs(40);
                uint8_t reply[9] = {};
                int32_t length = 0;
                r = I2cRead(uid, address, reply, 9, &length);
            }
            if (r == GFX_OK) {
                text += L"OK\r\n";
                deviceId = uid;
                return GFX_OK;
            }
            text += Format(L"N/A (0x%X)\r\n", static_cast<uint32_t>(r));
        }
        ++k;
    }
    state.transport = kTransportNone;
    deviceId = 0;
    return GFX_INTEL_NOT_FOUND;
}

int32_t GfxLibIntel::DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                int32_t length) {
    if (State().transport == kTransportNone) {
        return GFX_BAD_ARGUMENT;
    }
    return Link(*this).I2cWrite(deviceId, address, data, length);
}

int32_t GfxLibIntel::DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                               int32_t capacity, int32_t* length) {
    if (State().transport == kTransportNone) {
        return GFX_BAD_ARGUMENT;
    }
    return Link(*this).I2cRead(deviceId, address, buffer, capacity, length);
}

int32_t GfxLibIntel::DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                int32_t length) {
    return Link(*this).AuxWrite(deviceId, address, data, length);
}

int32_t GfxLibIntel::DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                               int32_t length) {
    return Link(*this).AuxRead(deviceId, address, buffer, length);
}

}  // namespace zorvan
