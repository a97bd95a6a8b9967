#include "core/gfx/GfxLibIntelSkylake.h"

#include <array>
#include <memory>

#include "core/gfx/Probe.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/cui/DataBlock.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// The process-wide object of this backend, apart from the Intel backend's own.
std::unique_ptr<cui::Interface>& Object() {
    static std::unique_ptr<cui::Interface> object;
    return object;
}

cui::DataBlockLink Link(const GfxLib& gfx) {
    return cui::DataBlockLink(Object().get(), cui::kLspconBlock, gfx.mailboxAddress);
}

}  // namespace

GfxLibIntelSkylake::GfxLibIntelSkylake() : GfxLib(131, 0) {}

GfxLibIntelSkylake::~GfxLibIntelSkylake() {
    Object().reset();
}

int32_t GfxLibIntelSkylake::DoInit(std::wstring& text) {
    const cui::HResult hr = cui::CreateCuiObject(&Object());
    if (hr < 0) {
        text = Format(L"Graphics adapter initialization - Intel (LS-PCON): failed! (%d)\r\n", hr);
        return GFX_INIT_FAILED;
    }
    text = L"Graphics adapter initialization - Intel (LS-PCON): done!\r\n";
    return GFX_OK;
}

int32_t GfxLibIntelSkylake::ProbePort(uint32_t port, uint32_t ddcAddress) {
    const uint8_t address = static_cast<uint8_t>(ddcAddress);
    const std::array<uint8_t, kProbePacketLength> probe = ProbePacket(ddcAddress);
    const int32_t written = I2cWrite(port, address, probe.data(), kProbePacketLength);
    if (written != GFX_OK) {
        return written;
    }
    platform::SleepMs(40);
    uint8_t reply[9] = {};
    int32_t length = 0;
    const int32_t read = ReadProbeReply(*this, port, address, reply, 9, &length);
    return read == GFX_OK && ProbeReplyPasses(reply, length, ddcAddress, kProbeChecksAll)
               ? GFX_OK
               : GFX_BAD_REPLY;
}

int32_t GfxLibIntelSkylake::DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) {
    text.clear();
    for (uint32_t port = kLspconFirstPort; port <= kLspconLastPort; ++port) {
        deviceId = port;
        const int32_t r = ProbePort(port, ddcAddress);
        text += Format(L"  Device ID: 0x%02X = ", port);
        if (r == static_cast<int32_t>(cui::kStatusNotSupported)) {
            text = L"  Not Supported!\r\n";
            deviceId = 0;
            return GFX_LSPCON_NOT_SUPPORTED;
        }
        if (r == GFX_OK) {
            text += L"OK\r\n";
            return GFX_OK;
        }
        text += Format(L"N/A (0x%X)\r\n", static_cast<uint32_t>(r));
    }
    deviceId = 0;
    return GFX_LSPCON_NOT_FOUND;
}

int32_t GfxLibIntelSkylake::DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                       int32_t length) {
    return Link(*this).I2cWrite(deviceId, address, data, length);
}

int32_t GfxLibIntelSkylake::DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                      int32_t capacity, int32_t* length) {
    return Link(*this).I2cRead(deviceId, address, buffer, capacity, length);
}

int32_t GfxLibIntelSkylake::DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                                       int32_t length) {
    return Link(*this).AuxWrite(deviceId, address, data, length);
}

int32_t GfxLibIntelSkylake::DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                                      int32_t length) {
    return Link(*this).AuxRead(deviceId, address, buffer, length);
}

}  // namespace zorvan
