#include "sim/SimulatorSession.h"

#include <cstdio>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {

std::wstring ResolveStatePath(const std::wstring& configPath, const std::wstring& stateFile) {
    if (platform::IsAbsolutePath(stateFile)) {
        return stateFile;
    }
    const size_t slash = configPath.find_last_of(L"/\\");
    if (slash == std::wstring::npos) {
        return stateFile;
    }
    return configPath.substr(0, slash + 1) + stateFile;
}

PcSpec PcForVendor(const std::wstring& vendor) {
    PcSpec pc = DefaultPc();
    pc.lspconSupported = EqualsNoCase(vendor, L"LSPCON");
    return pc;
}

LinuxPcSpec LinuxPcForVendor(const std::wstring& vendor, const LinuxPcSettings& settings) {
    return EqualsNoCase(vendor, L"Linux") ? DefaultLinuxPc(settings) : LinuxPcSpec{};
}

std::unique_ptr<SimulatorSession> SimulatorSession::Start(const SimulatorSettings& settings,
                                                          const std::wstring& statePath,
                                                          std::wstring& error) {
    ChipState state;
    if (platform::PathExists(statePath)) {
        std::optional<ChipState> loaded = LoadState(statePath, error);
        if (!loaded) {
            return nullptr;
        }
        state = std::move(*loaded);
    } else {
        state = NewChipState(ChipFamily::Kq1100, kNewChipSerial);
    }
    std::optional<PortChips> ports = LoadPortChips(settings.portSwitch, error);
    if (!ports) {
        return nullptr;
    }
    return std::unique_ptr<SimulatorSession>(
        new SimulatorSession(settings, std::move(state), statePath, std::move(*ports)));
}

SimulatorSession::SimulatorSession(const SimulatorSettings& settings, ChipState state,
                                   std::wstring statePath, PortChips ports)
    : statePath_(std::move(statePath)),
      chip_(std::move(state)),
      portSwitch_(chip_, std::move(ports)),
      faults_(portSwitch_, settings.faults, settings.faultSeed),
      pc_(PcForVendor(settings.vendor), &faults_),
      nvapi_(pc_),
      adl_(pc_, EqualsNoCase(settings.vendor, L"AMD")),
      cui_(pc_,
           EqualsNoCase(settings.vendor, L"Intel") || EqualsNoCase(settings.vendor, L"LSPCON")),
      kernel_(LinuxPcForVendor(settings.vendor, settings.linuxPc), &faults_) {
    chip_.SetReplyFaults(&faults_);
    chip_.SetPowerLossAfterBlocks(settings.powerLossAfterBlocks);
    chip_.SetStuckFlashAddress(settings.stuckFlashAddress);
    if (!EqualsNoCase(settings.vendor, L"NVIDIA")) {
        nvapi_.SetInitializeStatus(nvapi::NVAPI_LIBRARY_NOT_FOUND);
    }
    previousDriver_ = &nvapi::ActiveDriver();
    nvapi::InstallDriver(&nvapi_);
    previousAdl_ = &adl::ActiveDriver();
    adl::InstallDriver(&adl_);
    previousCui_ = &cui::ActiveDriver();
    cui::InstallDriver(&cui_);
    previousSystem_ = &linuxsys::ActiveSystem();
    linuxsys::InstallSystem(&kernel_);
    if (settings.virtualClock) {
        previousClock_ = &platform::ActiveClock();
        platform::SetActiveClock(&clock_);
    }
}

SimulatorSession::~SimulatorSession() {
    nvapi::InstallDriver(previousDriver_);
    adl::InstallDriver(previousAdl_);
    cui::InstallDriver(previousCui_);
    linuxsys::InstallSystem(previousSystem_);
    if (previousClock_ != nullptr) {
        platform::SetActiveClock(previousClock_);
    }
    std::wstring error;
    if (!SaveState(error)) {
        std::fprintf(stderr, "%s\n", ToUtf8(error).c_str());
    }
}

bool SimulatorSession::SaveState(std::wstring& error) {
    error.clear();
    return sim::SaveState(statePath_, chip_.StateForNextRun(), error) &&
           portSwitch_.SaveState(error);
}

}  // namespace zorvan::sim
