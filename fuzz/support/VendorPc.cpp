#include "fuzz/support/VendorPc.h"

#include "core/gfx/GfxLib.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/nvapi/NvApi.h"
#include "sim/SimulatorSession.h"

namespace zorvan::fuzz {
namespace {

constexpr int32_t kSelections[kVendors] = {GFX_NVIDIA, GFX_AMD, GFX_INTEL_LSPCON, GFX_INTEL};
constexpr const wchar_t* kVendorNames[kVendors] = {L"NVIDIA", L"AMD", L"LSPCON", L"Intel"};

}  // namespace

VendorPc::VendorPc(int vendor, sim::AuxSink& sink)
    : gfxSelection_(kSelections[vendor % kVendors]),
      pc_(sim::PcForVendor(kVendorNames[vendor % kVendors]), &sink),
      nvapi_(pc_),
      adl_(pc_, gfxSelection_ == GFX_AMD),
      cui_(pc_, gfxSelection_ == GFX_INTEL || gfxSelection_ == GFX_INTEL_LSPCON) {
    if (gfxSelection_ != GFX_NVIDIA) {
        nvapi_.SetInitializeStatus(nvapi::NVAPI_LIBRARY_NOT_FOUND);
    }
    nvapi::InstallDriver(&nvapi_);
    adl::InstallDriver(&adl_);
    cui::InstallDriver(&cui_);
}

VendorPc::~VendorPc() {
    nvapi::InstallDriver(nullptr);
    adl::InstallDriver(nullptr);
    cui::InstallDriver(nullptr);
}

}  // namespace zorvan::fuzz
