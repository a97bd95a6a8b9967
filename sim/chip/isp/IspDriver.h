#pragma once
// The ISP driver running in chip RAM. It publishes its mailbox in the DPCD space: the
// three bytes at 0x40C point (little-endian) at a 12-byte descriptor, which names the
// command buffer and the status area. The host writes a request into the command buffer,
// its length byte last: a write that sets the first byte to a non-zero value while the
// driver is idle hands the request over. While it works the status area reads 0; the
// response it leaves there ends the request.
//
// A programmed block streams through the two halves of the command buffer, whose last
// bytes are flags: after the program request the host writes the 8-byte block header at
// the start (00, 24-bit address, 32-bit length) and 08 into the first half's flag; then
// the first floor(n/2) bytes of the block stream (data, 00 00, CRC-16 high, low) into the
// second half and their count into its flag, and the rest into the first half and its
// count into that flag. The driver takes a half when its flag is set and frees it by
// clearing the flag a moment later. With the whole stream it checks the CRC, programs the
// block and answers 03 0C F1 (or 03 0C F2 for a CRC mismatch).
//
// Program codes: a plain driver programs with 0x10 only and refuses the secure codes; a
// signed driver also takes 0x76 and 0x78 (programmed as 0x10 is) and 0x77, the code of the
// last KiB (0x7FC00-0x7FFFF; a 0x77 block elsewhere is refused at its header). The driver
// keeps 0x77 blocks back, answering each 03 0C F1, until the whole last KiB has come; then
// it checks the image's signature over the firmware regions as the flash holds them and the
// incoming last KiB (sim/chip/FirmwareImage.h). A valid image: the last KiB is programmed
// and the block is answered 03 0C F1. Otherwise nothing of the last KiB is programmed (so a
// bad image never becomes runnable) and the block is answered 03 0C F2.
//
// A system reset is answered 03 0C F1; when the host clears that status (or a second
// later) the chip restarts from its flash and the mailbox is gone.
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/chip/ChipState.h"
#include "sim/chip/Dpcd.h"
#include "sim/chip/isp/DriverImage.h"
#include "sim/chip/isp/FlashOps.h"
#include "sim/chip/isp/MailboxRequest.h"

namespace zorvan::sim {

inline constexpr uint32_t kMailboxPointerDpcd = 0x40C;

// Driver time on the chip.
inline constexpr uint64_t kRequestTurnaroundUs = 800;  // flash ID, refusals, reset answer
inline constexpr uint64_t kReadBaseUs = 600;
inline constexpr uint64_t kReadPerByteUs = 8;
inline constexpr uint64_t kHalfTakeUs = 150;  // taking a half of the command buffer over
inline constexpr uint64_t kCrcCheckUs = 300;
inline constexpr uint64_t kRestartFallbackUs = 1'000'000;

// What the driver was started as. A signed driver is one the chip verified before it
// started it (secure ISP).
struct DriverOptions {
    bool signedDriver = false;
};

inline constexpr uint8_t kProgramCodePlain = 0x10;
inline constexpr uint8_t kProgramCodeLastKib = 0x77;

// Whether the driver programs blocks announced with this program code: 0x10 always, the
// secure codes 0x76, 0x77 and 0x78 only in a signed driver.
bool ProgramCodeAccepted(uint8_t code, const DriverOptions& options);

// The chip around the driver.
class IspDriverHost {
  public:
    virtual ~IspDriverHost() = default;
    // A block has gone into flash. False: the supply fails at this moment.
    virtual bool BlockProgrammed() = 0;
    // The flash byte whose worn cell no longer programs, if any.
    virtual std::optional<uint32_t> StuckFlashAddress() const { return std::nullopt; }
    // The flash bytes [offset, offset + count) have been erased or programmed.
    virtual void FlashChanged(uint32_t offset, uint32_t count) = 0;
};

class IspDriver {
  public:
    // Publishes the mailbox in `dpcd` (the layout must be servable).
    IspDriver(ChipState& state, Dpcd& dpcd, const MailboxLayout& layout, DriverOptions options,
              IspDriverHost& host);
    ~IspDriver();
    IspDriver(const IspDriver&) = delete;
    IspDriver& operator=(const IspDriver&) = delete;

    // Carries out whatever has come due by `nowUs`.
    void Service(uint64_t nowUs);

    // The reset has been answered and taken note of: the chip must restart now.
    bool RestartDue() const { return restartDue_; }

    const MailboxLayout& Layout() const { return layout_; }
    const DriverOptions& Options() const { return options_; }

  private:
    enum class AreaKind { Pointer, Descriptor, Command, Status };
    class Area final : public DpcdRegion {
      public:
        Area(IspDriver& driver, AreaKind kind) : driver_(driver), kind_(kind) {}
        bool Read(uint32_t offset, uint8_t* out, uint32_t count) override;
        bool Write(uint32_t offset, const uint8_t* data, uint32_t count) override;

      private:
        IspDriver& driver_;
        AreaKind kind_;
    };

    enum class Phase { Idle, Working, AwaitHeader, ReceiveBlock, Resetting, Stopped };
    enum class JobKind { Respond, Erase, Program, Read };
    struct Job {
        JobKind kind = JobKind::Respond;
        uint64_t dueUs = 0;
        std::vector<uint8_t> response;
        std::vector<FlashRange> ranges;
        uint32_t offset = 0;
        std::vector<uint8_t> data;
        uint32_t count = 0;
        bool isReset = false;
        bool lastKib = false;  // a 0x77 block: kept back until the last KiB is whole
    };
    struct Block {
        uint8_t programCode = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
        std::optional<std::vector<uint8_t>> secondHalf;
        std::optional<std::vector<uint8_t>> firstHalf;
    };

    bool ReadArea(AreaKind kind, uint32_t offset, uint8_t* out, uint32_t count) const;
    bool WriteArea(AreaKind kind, uint32_t offset, const uint8_t* data, uint32_t count);
    void WriteCommand(uint32_t offset, const uint8_t* data, uint32_t count);
    void WriteStatus(uint32_t offset, const uint8_t* data, uint32_t count);

    void TakeRequest(uint64_t now);
    void OnFlag(bool firstHalf, uint8_t value, uint64_t now);
    bool TakeHeader(uint8_t size);
    bool TakeHalf(bool firstHalf, uint8_t count);
    void FinishBlock(uint64_t now);
    void FreeHalf(bool firstHalf, uint64_t now);

    void Schedule(Job job);
    void Answer(uint8_t code, uint64_t now, uint64_t afterUs);
    void Complete(Job& job, uint64_t now);
    void TakeLastKibBlock(const Job& job);
    void Post(const std::vector<uint8_t>& response);
    void PostReadRows(const std::vector<uint8_t>& response);

    uint32_t HalfSize() const { return layout_.commandSize / 2u; }
    uint32_t FlagOffset(bool firstHalf) const {
        return firstHalf ? HalfSize() - 1 : layout_.commandSize - 1u;
    }

    ChipState& state_;
    Dpcd& dpcd_;
    MailboxLayout layout_;
    DriverOptions options_;
    IspDriverHost& host_;
    Area pointer_;
    Area descriptor_;
    Area command_;
    Area status_;
    std::vector<uint8_t> commandBytes_;
    std::vector<uint8_t> statusBytes_;
    Phase phase_ = Phase::Idle;
    std::optional<Job> job_;
    Block block_;
    std::optional<uint64_t> flagFreeAt_[2];  // [0] first half, [1] second half
    std::optional<uint64_t> restartAt_;
    bool resetAnswered_ = false;
    bool restartDue_ = false;
    // The 0x77 blocks received so far, by offset in the last KiB.
    std::vector<uint8_t> lastKib_;
    std::vector<bool> lastKibReceived_;
};

}  // namespace zorvan::sim
