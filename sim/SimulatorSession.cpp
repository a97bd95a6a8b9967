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
    return std::unique_ptr<SimulatorSession>(
        new SimulatorSession(settings, std::move(state), statePath));
}

SimulatorSession::SimulatorSession(const SimulatorSettings& settings, ChipState state,
                                   std::wstring statePath)
    : statePath_(std::move(statePath)),
      chip_(std::move(state)),
      faults_(chip_, settings.faults, settings.faultSeed),
      pc_(DefaultPc(), &faults_),
      nvapi_(pc_) {
    chip_.SetReplyFaults(&faults_);
    chip_.SetPowerLossAfterBlocks(settings.powerLossAfterBlocks);
    previousDriver_ = &nvapi::ActiveDriver();
    nvapi::InstallDriver(&nvapi_);
    if (settings.virtualClock) {
        previousClock_ = &platform::ActiveClock();
        platform::SetActiveClock(&clock_);
    }
}

SimulatorSession::~SimulatorSession() {
    nvapi::InstallDriver(previousDriver_);
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
    return sim::SaveState(statePath_, chip_.State(), error);
}

}  // namespace zorvan::sim
