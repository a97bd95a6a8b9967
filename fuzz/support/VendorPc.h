#pragma once
// The virtual PC of one graphics vendor, as the simulator lays it out, with a sink of the
// caller's behind its DisplayPort output; its simulated driver is installed for the
// object's lifetime.
#include <cstdint>

#include "sim/link/AuxSink.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/SimAdl.h"
#include "sim/pc/cui/SimCui.h"
#include "sim/pc/nvapi/SimNvApi.h"

namespace zorvan::fuzz {

inline constexpr int kVendors = 4;

class VendorPc {
  public:
    // vendor: 0 NVIDIA, 1 AMD, 2 Intel LS-PCON, 3 Intel.
    VendorPc(int vendor, sim::AuxSink& sink);
    ~VendorPc();
    VendorPc(const VendorPc&) = delete;
    VendorPc& operator=(const VendorPc&) = delete;

    // The adapter selection that finds this vendor's backend.
    int32_t GfxSelection() const { return gfxSelection_; }

  private:
    int32_t gfxSelection_;
    sim::VirtualPc pc_;
    sim::SimNvApi nvapi_;
    sim::SimAdl adl_;
    sim::SimCui cui_;
};

}  // namespace zorvan::fuzz
