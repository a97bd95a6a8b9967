#pragma once
// The chip's side of secure ISP: its boot ROM's commands for the security firmware (ESM)
// and for the signed ISP driver. Answered only in ISP mode (after 0x09 and 0x20 00); in any
// other state they are ignored like every unknown command.
//
//   0x07 09 C0 00 00   release the host's ESM handle: acknowledged; a secure process
//                      started before must be started again before a driver is verified
//   0x71               announce the secure process: acknowledged
//   0x77               status query: n 77 S3 S2 S1 S0, the status word below
//   0x53 A3..A0 data   memory write of 1 to 115 bytes: acknowledged when the whole range
//                      lies in the ESM area or in the driver-signature area. Its count
//                      byte may announce more (up to 115 bytes) than the packet carries:
//                      the bytes carried are written. Without data it writes nothing and
//                      is acknowledged when its address lies in an area or at its end.
//   0x72 L3..L0        start the ESM of length L: acknowledged, and the ESM runs, only when
//                      the ESM area holds an intact ESM payload of exactly L bytes, every
//                      byte of it written in this ISP session (sim/chip/secure/EsmImage.h)
//   0x78 00 02 00 D0   restart the secure process of a running ESM: acknowledged only while
//                      the ESM runs
//   0x76               n 76 R: R = 01 when the secure process of this session is ready for
//                      a signed driver (ESM running and started), 00 otherwise
//   0x73 AH AL data    the secure driver download, as 0x13: up to 117 bytes into chip RAM
//                      inside the download window; acknowledged
//   0x75 AH AL         verify and start the signed driver at AH AL: acknowledged, and the
//                      driver starts as a signed driver, only when the ESM runs, the secure
//                      process was started in this session, all 256 signature bytes were
//                      written in this session, RAM at AH AL holds an intact driver and the
//                      signature verifies over its payload (as long as the payload's length
//                      field says) against the chip's public key. Otherwise ignored; the
//                      chip stays in ISP mode.
// A command with other parameters is ignored, as is a memory write outside the windows or
// across a window's edge. The ISP
// session begins when the chip enters ISP mode and ends with the next entry or a power
// cycle; the ESM itself keeps running until the power cycle (ChipState).
#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/chip/ChipState.h"
#include "sim/chip/DdcCiPort.h"
#include "sim/chip/StateChanges.h"
#include "sim/chip/isp/IspEngine.h"
#include "sim/chip/isp/VendorHook.h"

namespace zorvan::sim {

inline constexpr uint32_t kEsmAreaBase = 0x320000;
inline constexpr uint32_t kEsmAreaSize = 0x20000;
inline constexpr uint32_t kDriverSignatureBase = 0x31D2BC;
inline constexpr size_t kMaxMemoryWriteBytes = 115;

// Bits of the status word of 0x77.
inline constexpr uint32_t kEsmStatusAnnounced = 0x01;        // 0x71 in this ISP session
inline constexpr uint32_t kEsmStatusProcessStarted = 0x02;   // 0x72 or 0x78 accepted since
                                                             // the session began (and no 0x07
                                                             // after it)
inline constexpr uint32_t kEsmStatusSignatureLoaded = 0x04;  // all 256 signature bytes written
                                                             // in this session
inline constexpr uint32_t kEsmStatusRunning = 0x40;          // the ESM runs
inline constexpr uint32_t kEsmStatusVerifyFailed = 0x80;     // the last 0x75 of this session
                                                             // was refused

// Chip time for the secure commands.
inline constexpr uint64_t kEsmStartUs = 8'000;
inline constexpr uint64_t kSignatureCheckUs = 12'000;

class SecureEngine final : public VendorHook {
  public:
    // changes: told when the security firmware starts.
    SecureEngine(ChipState& state, IspEngine& isp, StateChanges& changes);
    SecureEngine(const SecureEngine&) = delete;
    SecureEngine& operator=(const SecureEngine&) = delete;

    std::optional<CommandOutcome> Preempt(const VendorCommand& command) override;

    // Power-on: the ESM area, the signature and the session are gone.
    void PowerCycle();

    // The status word 0x77 reports now.
    uint32_t Status() const;

  private:
    bool SessionCurrent() const { return session_ == isp_.Session(); }
    void FollowSession();
    void ResetSession();
    CommandOutcome MemoryWrite(const VendorCommand& command);
    CommandOutcome StartEsm(const VendorCommand& command);
    CommandOutcome StartSignedDriver(const VendorCommand& command);
    bool DriverVerifies(uint32_t address) const;

    ChipState& state_;
    IspEngine& isp_;
    StateChanges& changes_;
    uint32_t session_ = 0;
    std::vector<uint8_t> esm_;
    std::vector<bool> esmWritten_;
    std::array<uint8_t, kDriverSignatureSize> signature_{};
    std::bitset<kDriverSignatureSize> signatureWritten_;
    bool announced_ = false;
    bool processStarted_ = false;
    bool verifyFailed_ = false;
};

}  // namespace zorvan::sim
