#pragma once
// A run of a program on the virtual PC: the chip loaded from its state file, the fault
// layer in front of it, the PC with the chip behind its display output, and that PC's
// NVIDIA driver installed for the backends, with the virtual clock when asked for. The
// end of the session puts the real driver interface and clock back and saves the chip.
#include <memory>
#include <string>

#include "core/gfx/nvapi/NvApi.h"
#include "core/platform/Clock.h"
#include "sim/Activation.h"
#include "sim/SimulatorSettings.h"
#include "sim/chip/VirtualChip.h"
#include "sim/faults/FaultInjector.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/nvapi/SimNvApi.h"

namespace zorvan::sim {

class SimulatorSession final : public Session {
public:
    // statePath: the state file; a missing file gives a new chip (KQ1100, serial 1500,
    // blank flash), a damaged one refuses the start. Null with `error` set on failure.
    static std::unique_ptr<SimulatorSession> Start(const SimulatorSettings& settings,
                                                   const std::wstring& statePath,
                                                   std::wstring& error);
    ~SimulatorSession() override;
    SimulatorSession(const SimulatorSession&) = delete;
    SimulatorSession& operator=(const SimulatorSession&) = delete;

    bool SaveState(std::wstring& error) override;

    VirtualChip& Chip() { return chip_; }
    FaultInjector& Faults() { return faults_; }
    const std::wstring& StatePath() const { return statePath_; }

    static constexpr uint32_t kNewChipSerial = 1500;

private:
    SimulatorSession(const SimulatorSettings& settings, ChipState state, std::wstring statePath);

    std::wstring statePath_;
    VirtualChip chip_;
    FaultInjector faults_;
    VirtualPc pc_;
    SimNvApi nvapi_;
    platform::VirtualClock clock_;
    nvapi::Driver* previousDriver_ = nullptr;
    platform::Clock* previousClock_ = nullptr;
};

// The state file a [Simulator] StateFile value names: relative to the folder of Config.ini.
std::wstring ResolveStatePath(const std::wstring& configPath, const std::wstring& stateFile);

}  // namespace zorvan::sim
