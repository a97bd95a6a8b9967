#pragma once
// The Intel graphics driver's automation object on the virtual PC. One display adapter
// per GPU ("\\.\DISPLAY1", ...), each listing the devices behind its outputs with their
// UID, type and status. The two AUX data blocks are parsed and filled byte by byte: the
// 32-byte block addresses a device by UID, the 160-byte LS-PCON block a port id. The
// call succeeds (HRESULT 0) whenever the block is well formed, and its status word tells
// how the transaction went: 0 done, 70 the sink deferred it, 1 refused, 2 no reply (or no
// device on that LS-PCON port), 3 no device with that UID, 5 LS-PCON not supported. A
// malformed block fails the call with E_INVALIDARG and status 0; so does an I2C request
// whose address is odd (the chip is 0x6E whatever the direction), which never reaches the
// chip at 0x37. The object's interface is the host's driver layer (cui::Driver and
// cui::Interface); every code and layout it decodes is its own (CuiRecords.h).
#include <cstdint>
#include <memory>
#include <string>

#include "core/gfx/cui/Cui.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/cui/CuiRecords.h"

namespace zorvan::sim {

// "\\.\DISPLAY<n+1>": the device name of adapter n.
std::wstring CuiAdapterName(uint32_t index);

class SimCui final : public cui::Driver {
  public:
    // installed: false for a PC without the Intel driver (the ProgID names no class).
    SimCui(VirtualPc& pc, bool installed) : pc_(pc), installed_(installed) {}

    void CoInitialize() override {}
    cui::HResult CreateInstance(const wchar_t* progId,
                                std::unique_ptr<cui::Interface>* object) override;
    bool EnumDisplayAdapter(uint32_t index, std::wstring* deviceName) override;

  private:
    VirtualPc& pc_;
    bool installed_;
};

}  // namespace zorvan::sim
