#pragma once
// A run of a program on the virtual PC: the chip loaded from its state file, the fault
// layer in front of it, the PC with the chip behind its display output, and that PC's
// drivers installed for the backends (the configured vendor's present, the others absent),
// with the virtual clock when asked for. The state file is held for the whole session and
// takes each change of the chip as it happens (sim/state/StateStore.h). The end of the
// session puts the real driver interfaces and clock back and saves the chip.
#include <memory>
#include <string>

#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/linux/System.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/platform/Clock.h"
#include "sim/Activation.h"
#include "sim/SimulatorSettings.h"
#include "sim/chip/VirtualChip.h"
#include "sim/faults/FaultInjector.h"
#include "sim/pc/PortSwitch.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/SimAdl.h"
#include "sim/pc/cui/SimCui.h"
#include "sim/pc/linux/VirtualKernel.h"
#include "sim/pc/nvapi/SimNvApi.h"
#include "sim/state/StateStore.h"

namespace zorvan::sim {

class SimulatorSession final : public Session {
public:
    // statePath: the state file; a missing file gives a new chip (KQ1100, serial 1500,
    // blank flash); a file that is damaged, in use by another program or cannot be written
    // refuses the start. Null with `error` set on failure.
    static std::unique_ptr<SimulatorSession> Start(const SimulatorSettings& settings,
                                                   const std::wstring& statePath,
                                                   std::wstring& error);
    ~SimulatorSession() override;
    SimulatorSession(const SimulatorSession&) = delete;
    SimulatorSession& operator=(const SimulatorSession&) = delete;

    // Folds the changes into the state file; false with the message when a change of the
    // chip could not be written (the failure is told once: the end of the session does not
    // repeat it).
    bool SaveState(std::wstring& error) override;
    std::wstring LinkScope() const override;

    VirtualChip& Chip() { return chip_; }
    PortSwitch& Switch() { return portSwitch_; }
    FaultInjector& Faults() { return faults_; }
    const std::wstring& StatePath() const { return statePath_; }

    static constexpr uint32_t kNewChipSerial = 1500;

private:
    SimulatorSession(const SimulatorSettings& settings, ChipState state,
                     std::unique_ptr<StateStore> store, PortChips ports);

    std::wstring statePath_;
    std::unique_ptr<StateStore> store_;  // outlives the chip that tells it
    bool failureTold_ = false;
    VirtualChip chip_;
    PortSwitch portSwitch_;  // passes everything to chip_ unless PortSwitch=1
    FaultInjector faults_;
    VirtualPc pc_;
    SimNvApi nvapi_;
    SimAdl adl_;
    SimCui cui_;
    VirtualKernel kernel_;  // a PC of another vendor has no DRM device
    platform::VirtualClock clock_;
    nvapi::Driver* previousDriver_ = nullptr;
    adl::Driver* previousAdl_ = nullptr;
    cui::Driver* previousCui_ = nullptr;
    linuxsys::System* previousSystem_ = nullptr;
    platform::Clock* previousClock_ = nullptr;
};

// The virtual PC of a vendor: the default machine, whose Intel driver supports LS-PCON only
// when the vendor is LSPCON.
PcSpec PcForVendor(const std::wstring& vendor);
// Its Linux side: the default Linux PC for Vendor=Linux, no DRM device for the others.
LinuxPcSpec LinuxPcForVendor(const std::wstring& vendor, const LinuxPcSettings& settings);

// The link scope of the virtual PC whose chip keeps its state in that file: one chip however
// its state file is reached (another folder's relative path, a symbolic link).
std::wstring VirtualChipLinkScope(const std::wstring& statePath);

// The state file a [Simulator] StateFile value names: relative to the folder of Config.ini.
std::wstring ResolveStatePath(const std::wstring& configPath, const std::wstring& stateFile);

}  // namespace zorvan::sim
