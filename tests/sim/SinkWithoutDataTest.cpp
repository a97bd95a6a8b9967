// The simulated vendor drivers behind a sink that acknowledges reads without data: each
// hands its backend zeros for the bytes it did not get, whatever the vendor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/platform/Clock.h"
#include "sim/SimulatorSession.h"
#include "sim/chip/VirtualChip.h"
#include "sim/demo/DemoImages.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/SimAdl.h"
#include "sim/pc/cui/SimCui.h"
#include "sim/pc/nvapi/SimNvApi.h"

namespace zorvan::sim {
namespace {

// The chip until the adapter selection has found it; then every read is acknowledged with
// no data at all.
class EmptyReads final : public AuxSink {
  public:
    explicit EmptyReads(AuxSink& chip) : chip_(chip) {}
    bool empty = false;
    AuxReply Transact(const AuxRequest& request) override {
        const bool read =
            request.command == AuxCommand::NativeRead || request.command == AuxCommand::I2cRead;
        return empty && read ? AuxAck() : chip_.Transact(request);
    }

  private:
    AuxSink& chip_;
};

TEST(SinkWithoutData, EveryDriverFillsWhatIsMissingWithZeros) {
    platform::VirtualClock clock;
    const platform::ScopedClock guard(clock);
    ChipState state = NewChipState(ChipFamily::Kq1100, 1500);
    state.flash = MakeFirmwareImage(ChipFamily::Kq1100, {1, 5, 0});
    PowerCycle(state);
    const struct {
        const wchar_t* vendor;
        int32_t selection;
    } vendors[] = {{L"NVIDIA", GFX_NVIDIA},
                   {L"AMD", GFX_AMD},
                   {L"LSPCON", GFX_INTEL_LSPCON},
                   {L"Intel", GFX_INTEL}};
    for (const auto& v : vendors) {
        SCOPED_TRACE(v.selection);
        VirtualChip chip(state);
        EmptyReads sink(chip);
        VirtualPc pc(PcForVendor(v.vendor), &sink);
        SimNvApi nvapi(pc);
        SimAdl adl(pc, v.selection == GFX_AMD);
        SimCui cui(pc, v.selection == GFX_INTEL || v.selection == GFX_INTEL_LSPCON);
        if (v.selection != GFX_NVIDIA) {
            nvapi.SetInitializeStatus(nvapi::NVAPI_LIBRARY_NOT_FOUND);
        }
        nvapi::InstallDriver(&nvapi);
        adl::InstallDriver(&adl);
        cui::InstallDriver(&cui);
        {
            ZorvanControl control;
            control.gfxSelection = v.selection;
            std::wstring text;
            ASSERT_EQ(control.InitGraphicsAdapter(text), 0);
            sink.empty = true;
            std::vector<uint8_t> bytes(8, 0xAA);
            EXPECT_EQ(control.gfx->AuxRead(control.deviceId, 0x10000, bytes.data(), 8), GFX_OK);
            EXPECT_EQ(bytes, std::vector<uint8_t>(8, 0));
            // The DDC/CI reads get nothing either: no reply, never one made of old bytes.
            EXPECT_EQ(control.GetChipType(), CHIP_NONE);
        }
        nvapi::InstallDriver(nullptr);
        adl::InstallDriver(nullptr);
        cui::InstallDriver(nullptr);
    }
}

}  // namespace
}  // namespace zorvan::sim
