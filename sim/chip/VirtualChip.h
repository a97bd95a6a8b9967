#pragma once
// The virtual Zorvan chip as a DisplayPort sink: native AUX reaches its DPCD space,
// I2C-over-AUX at 0x37 (DDC/CI 0x6E) its DDC/CI port; any other I2C address is not
// acknowledged. Without power it answers nothing.
#include <cstdint>
#include <optional>

#include "sim/chip/ChipMemory.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/DdcCiPort.h"
#include "sim/chip/Dpcd.h"
#include "sim/chip/StateChanges.h"
#include "sim/chip/VendorCommands.h"
#include "sim/chip/isp/IspEngine.h"
#include "sim/chip/secure/SecureEngine.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {

class VirtualChip final : public AuxSink {
public:
    // Resumes the chip as the state left it (its mode included).
    explicit VirtualChip(ChipState state);
    VirtualChip(const VirtualChip&) = delete;
    VirtualChip& operator=(const VirtualChip&) = delete;

    AuxReply Transact(const AuxRequest& request) override;

    const ChipState& State() const { return state_; }

    // Off and on: RAM and the security firmware are lost, the chip boots from flash.
    void PowerCycle();
    // The supply fails: from now on the chip answers nothing.
    void LosePower();
    bool Powered() const { return powered_; }

    void SetReplyFaults(ReplyFaults* faults) { ddc_.SetFaults(faults); }
    // Programmed flash blocks after which the supply fails (0: never).
    void SetPowerLossAfterBlocks(uint32_t blocks) { powerLossAfterBlocks_ = blocks; }
    uint32_t PowerLossAfterBlocks() const { return powerLossAfterBlocks_; }
    // Called by the flash programming after each block it has written to the flash; when
    // the count reaches PowerLossAfterBlocks the supply fails. True while the chip still
    // has power (the caller stops at false: the rest of the run gets no answer).
    bool CountProgrammedBlock();
    uint32_t ProgrammedBlocks() const { return programmedBlocks_; }
    // A worn flash cell: the byte at `address` no longer programs (it stays 0xFF once
    // erased) while the driver still reports every block done.
    void SetStuckFlashAddress(std::optional<uint32_t> address) {
        isp_.SetStuckFlashAddress(address);
    }
    // What the next run starts from: the state as it stands or, after a power loss, the
    // chip as it comes up again (booted from the flash as far as it was written).
    ChipState StateForNextRun() const;
    // Who is told of each change to what the chip keeps, as it happens (a power loss
    // counts as the change to what the chip comes up with). Null: nobody.
    void SetStateChanges(StateChanges* listener) { changes_.Listen(listener); }

    const DdcCiPort& DdcPort() const { return ddc_; }
    Dpcd& DpcdSpace() { return dpcd_; }
    // ISP mode, the downloaded driver and its mailbox.
    const IspEngine& Isp() const { return isp_; }
    // The security firmware and the signed driver's verification.
    const SecureEngine& Secure() const { return secure_; }

private:
    ChipState state_;
    StateChangeRelay changes_;
    Dpcd dpcd_;
    ChipMemory memory_;
    VendorCommands commands_;
    DdcCiPort ddc_;
    IspEngine isp_;
    SecureEngine secure_;
    bool powered_ = true;
    uint32_t powerLossAfterBlocks_ = 0;
    uint32_t programmedBlocks_ = 0;
};

}  // namespace zorvan::sim
