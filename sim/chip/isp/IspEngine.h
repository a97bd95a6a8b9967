#pragma once
// The chip's in-system programming: its boot ROM's ISP mode over DDC/CI and the ISP
// driver the host downloads and starts.
//
//   0x09                 prepare for ISP: acknowledged
//   0x20 0x00            enter ISP mode (only after 0x09): acknowledged; the application
//                        stops and the boot ROM takes over
//   0x13 AH AL data      in ISP mode, up to 117 bytes into chip RAM at AH AL; acknowledged
//                        when the whole range lies in the download window
//   0x1D AH AL           in ISP mode, start the driver at AH AL: acknowledged; the driver
//                        comes up shortly after when RAM there holds a complete driver,
//                        otherwise the chip runs into the weeds and answers nothing more
//                        (no mailbox ever appears) until it is powered off
// The secure counterparts (0x73 download, 0x75 verified start and the ESM commands) are
// SecureEngine's (sim/chip/secure), which loads RAM and starts a driver through WriteRam and
// StartDriver.
// A malformed command, or one out of order, is ignored: the host reads null messages.
// While the driver runs it alone owns the chip: DDC/CI goes unanswered until the driver
// resets the chip, which then starts from its flash (its application, or the boot ROM for
// a blank or broken image).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "sim/chip/ChipState.h"
#include "sim/chip/DdcCiPort.h"
#include "sim/chip/Dpcd.h"
#include "sim/chip/StateChanges.h"
#include "sim/chip/isp/IspDriver.h"
#include "sim/chip/isp/VendorHook.h"

namespace zorvan::sim {

inline constexpr uint32_t kChipRamSize = 0x10000;
inline constexpr uint32_t kDownloadWindowBegin = 0x1000;
inline constexpr uint32_t kDownloadWindowEnd = 0xA000;
inline constexpr size_t kMaxDownloadBytes = 117;
inline constexpr uint64_t kIspAckUs = 1500;
inline constexpr uint64_t kDriverStartUs = 15'000;

class IspEngine final : public VendorHook, private IspDriverHost {
  public:
    enum class Stage { Firmware, Prepared, IspMode, DriverStarting, DriverRunning, Lost };

    // changes: told of every change to the flash and the mode. blockProgrammed: told of
    // every block that has gone into flash; false when the supply fails at that moment.
    IspEngine(ChipState& state, Dpcd& dpcd, StateChanges& changes,
              std::function<bool()> blockProgrammed);
    ~IspEngine() override;
    IspEngine(const IspEngine&) = delete;
    IspEngine& operator=(const IspEngine&) = delete;

    std::optional<CommandOutcome> Preempt(const VendorCommand& command) override;

    // Lets the chip's work go on up to the active clock's present; called before every
    // transaction reaches the chip.
    void Service();

    // Power-on: RAM is gone, the chip runs from its flash again.
    void PowerCycle();

    Stage CurrentStage() const { return stage_; }
    // Counts the ISP sessions: a new one begins with each entry into ISP mode and at power-on.
    uint32_t Session() const { return session_; }
    const std::vector<uint8_t>& Ram() const { return ram_; }
    // The running driver, if any.
    const IspDriver* Driver() const { return driver_.get(); }

    // For the secure commands, which load RAM and start a verified driver their own way.
    bool WriteRam(uint32_t address, const uint8_t* data, size_t count);
    void StartDriver(uint32_t address, DriverOptions options);

    // A flash byte whose cell no longer programs (none: every cell works).
    void SetStuckFlashAddress(std::optional<uint32_t> address) { stuckFlashAddress_ = address; }

  private:
    bool BlockProgrammed() override;
    std::optional<uint32_t> StuckFlashAddress() const override { return stuckFlashAddress_; }
    void FlashChanged(uint32_t offset, uint32_t count) override {
        changes_.FlashChanged(state_, offset, count);
    }
    void SetMode(ChipMode mode);
    CommandOutcome Acknowledge() const;
    CommandOutcome Download(const VendorCommand& command);
    CommandOutcome Run(const VendorCommand& command);
    void Restart();

    ChipState& state_;
    Dpcd& dpcd_;
    StateChanges& changes_;
    std::vector<uint8_t> ram_;
    Stage stage_ = Stage::Firmware;
    uint32_t session_ = 0;
    std::unique_ptr<IspDriver> driver_;
    MailboxLayout startingLayout_;
    DriverOptions startingOptions_;
    uint64_t driverUpAtUs_ = 0;
    std::function<bool()> blockProgrammed_;
    std::optional<uint32_t> stuckFlashAddress_;
};

}  // namespace zorvan::sim
