#include "sim/chip/isp/IspEngine.h"

#include <algorithm>
#include <utility>

#include "core/platform/Clock.h"
#include "sim/chip/DdcCiFrame.h"

namespace zorvan::sim {

IspEngine::IspEngine(ChipState& state, Dpcd& dpcd, StateChanges& changes,
                     std::function<bool()> blockProgrammed)
    : state_(state),
      dpcd_(dpcd),
      changes_(changes),
      ram_(kChipRamSize, 0),
      blockProgrammed_(std::move(blockProgrammed)) {}

IspEngine::~IspEngine() = default;

std::optional<CommandOutcome> IspEngine::Preempt(const VendorCommand& command) {
    if (stage_ == Stage::DriverStarting || stage_ == Stage::DriverRunning ||
        stage_ == Stage::Lost) {
        return CommandOutcome{};  // the ROM's command handler no longer runs
    }
    switch (command.code) {
        case 0x09:
            if (!command.params.empty()) {
                return CommandOutcome{};
            }
            if (stage_ == Stage::Firmware) {
                stage_ = Stage::Prepared;
            }
            return Acknowledge();
        case 0x20:
            if (command.params.size() != 1 || command.params[0] != 0x00 ||
                stage_ == Stage::Firmware) {
                return CommandOutcome{};
            }
            stage_ = Stage::IspMode;
            ++session_;
            SetMode(ChipMode::BootRom);
            return Acknowledge();
        case 0x13:
            return Download(command);
        case 0x1D:
            return Run(command);
        default:
            return std::nullopt;
    }
}

CommandOutcome IspEngine::Acknowledge() const {
    return {true, BuildAck(), kIspAckUs};
}

CommandOutcome IspEngine::Download(const VendorCommand& command) {
    if (stage_ != Stage::IspMode || command.params.size() < 2 ||
        command.params.size() - 2 > kMaxDownloadBytes) {
        return {};
    }
    const uint32_t address = static_cast<uint32_t>((command.params[0] << 8) | command.params[1]);
    if (!WriteRam(address, command.params.data() + 2, command.params.size() - 2)) {
        return {};
    }
    return Acknowledge();
}

CommandOutcome IspEngine::Run(const VendorCommand& command) {
    if (stage_ != Stage::IspMode || command.params.size() != 2) {
        return {};
    }
    StartDriver(static_cast<uint32_t>((command.params[0] << 8) | command.params[1]), {});
    return Acknowledge();
}

bool IspEngine::WriteRam(uint32_t address, const uint8_t* data, size_t count) {
    if (address < kDownloadWindowBegin || address > kDownloadWindowEnd ||
        count > kDownloadWindowEnd - address) {
        return false;
    }
    std::copy_n(data, count, ram_.begin() + address);
    return true;
}

void IspEngine::StartDriver(uint32_t address, DriverOptions options) {
    const std::optional<MailboxLayout> layout = FindDriver(ram_, address);
    if (!layout) {
        stage_ = Stage::Lost;
        return;
    }
    startingLayout_ = *layout;
    startingOptions_ = options;
    driverUpAtUs_ = platform::ActiveClock().NowUs() + kDriverStartUs;
    stage_ = Stage::DriverStarting;
}

void IspEngine::Service() {
    const uint64_t now = platform::ActiveClock().NowUs();
    if (stage_ == Stage::DriverStarting && now >= driverUpAtUs_) {
        IspDriverHost& host = *this;
        driver_ =
            std::make_unique<IspDriver>(state_, dpcd_, startingLayout_, startingOptions_, host);
        stage_ = Stage::DriverRunning;
    }
    if (driver_ == nullptr) {
        return;
    }
    driver_->Service(now);
    if (driver_->RestartDue()) {
        Restart();
    }
}

void IspEngine::Restart() {
    driver_.reset();
    stage_ = Stage::Firmware;
    SetMode(ModeAtPowerOn(state_));
}

void IspEngine::SetMode(ChipMode mode) {
    if (state_.mode != mode) {
        state_.mode = mode;
        changes_.ChipChanged(state_);
    }
}

void IspEngine::PowerCycle() {
    driver_.reset();
    std::fill(ram_.begin(), ram_.end(), 0);
    stage_ = Stage::Firmware;
    ++session_;
}

bool IspEngine::BlockProgrammed() {
    return !blockProgrammed_ || blockProgrammed_();
}

}  // namespace zorvan::sim
