#include "sim/SimulatorSession.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/Text.h"

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
    std::unique_ptr<StateStore> store = StateStore::OpenForRun(
        statePath, NewChipState(ChipFamily::Kq1100, kNewChipSerial), state, error);
    if (store == nullptr) {
        return nullptr;
    }
    std::optional<PortChips> ports = LoadPortChips(settings.portSwitch, error);
    if (!ports) {
        return nullptr;
    }
    return std::unique_ptr<SimulatorSession>(
        new SimulatorSession(settings, std::move(state), std::move(store), std::move(*ports)));
}

SimulatorSession::SimulatorSession(const SimulatorSettings& settings, ChipState state,
                                   std::unique_ptr<StateStore> store, PortChips ports)
    : statePath_(store->Path()),
      store_(std::move(store)),
      chip_(std::move(state)),
      portSwitch_(chip_, std::move(ports)),
      faults_(portSwitch_, settings.faults, settings.faultSeed),
      pc_(PcForVendor(settings.vendor), &faults_),
      nvapi_(pc_),
      adl_(pc_, EqualsNoCase(settings.vendor, L"AMD")),
      cui_(pc_,
           EqualsNoCase(settings.vendor, L"Intel") || EqualsNoCase(settings.vendor, L"LSPCON")),
      kernel_(LinuxPcForVendor(settings.vendor, settings.linuxPc), &faults_) {
    chip_.SetStateChanges(store_.get());
    chip_.SetReplyFaults(&faults_);
    chip_.SetPowerLossAfterBlocks(settings.powerLossAfterBlocks);
    chip_.SetStuckFlashAddress(settings.stuckFlashAddress);
    if (!EqualsNoCase(settings.vendor, L"NVIDIA")) {
        nvapi_.SetInitializeStatus(kNvLibraryNotFound);
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
    const bool told = failureTold_;
    std::wstring error;
    if (!SaveState(error) && !told) {
        std::fprintf(stderr, "%s\n", ToUtf8(error).c_str());
    }
}

bool SimulatorSession::SaveState(std::wstring& error) {
    error.clear();
    std::wstring portError;
    const bool hostKept = store_->Finish(chip_.StateForNextRun(), error);
    const bool portsKept = portSwitch_.SaveState(portError);
    if (hostKept && !portsKept) {
        error = portError;
    }
    if (!hostKept || !portsKept) {
        failureTold_ = true;
        return false;
    }
    return true;
}

std::wstring VirtualChipLinkScope(const std::wstring& statePath) {
    std::error_code failed;
    const std::filesystem::path canonical =
        std::filesystem::weakly_canonical(platform::NativePath(statePath), failed);
    return L"virtual chip " + (failed ? statePath : FromUtf8(canonical.string()));
}

std::wstring SimulatorSession::LinkScope() const { return VirtualChipLinkScope(statePath_); }

}  // namespace zorvan::sim
