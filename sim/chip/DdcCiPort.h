#pragma once
// The chip's DDC/CI port: the I2C slave at 0x6E (0x37 on the AUX channel) behind
// I2C-over-AUX. It collects a packet over the requests of one write transaction (MOT set
// on all but the last), checks it when the transaction ends and hands a good vendor
// command to the firmware; whatever the firmware answers is ready only after its
// processing time. Reads stream the chip's outgoing message: the reply once it is ready,
// the null message before, each read going on where the previous one stopped, so a reply
// can be fetched in one transaction or several. A message read to its end is gone; bytes
// asked for past its end read as 0xFF (the bus is released). Any new packet, good or not,
// discards the answer not yet read. For a short while after a packet ends the port
// defers every request, as the firmware takes the packet over.
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/chip/DdcCiFrame.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {

// How long the port defers requests after a packet has ended.
inline constexpr uint64_t kDdcHandoffUs = 500;

// What the firmware does with a vendor command.
struct CommandOutcome {
    bool reply = false;             // false: the command is ignored, nothing is answered
    std::vector<uint8_t> message;   // the framed reply
    uint64_t processingUs = 0;      // time until the reply is ready
};

class DdcCiHandler {
public:
    virtual ~DdcCiHandler() = default;
    virtual CommandOutcome Handle(const VendorCommand& command) = 0;
};

// Faults on the wire or in the firmware that change what a reply read delivers.
class ReplyFaults {
public:
    virtual ~ReplyFaults() = default;
    // True: this read gets the null message although the reply is ready (it stays ready).
    virtual bool WithholdReply() = 0;
    // True: the reply goes out with byte `index` XORed with `mask` (non-zero).
    virtual bool CorruptReply(size_t size, size_t& index, uint8_t& mask) = 0;
};

class DdcCiPort {
public:
    explicit DdcCiPort(DdcCiHandler& handler) : handler_(handler) {}

    void SetFaults(ReplyFaults* faults) { faults_ = faults; }

    // An I2C-over-AUX request addressed to the port.
    AuxReply Transact(const AuxRequest& request);

    // Power-on: no transaction open, nothing to answer.
    void Reset();

    // Why the last packet was not taken (None when it was).
    PacketError LastPacketError() const { return lastError_; }
    uint32_t PacketsRejected() const { return rejected_; }

private:
    enum class Open { None, Write, Read };
    struct Pending {
        std::vector<uint8_t> message;
        uint64_t readyAtUs;
    };

    void EndWrite(uint64_t nowUs);
    void StartMessage(uint64_t nowUs);

    DdcCiHandler& handler_;
    ReplyFaults* faults_ = nullptr;
    Open open_ = Open::None;
    std::vector<uint8_t> packet_;
    bool overflow_ = false;
    std::optional<Pending> pending_;
    std::vector<uint8_t> out_;
    size_t outPos_ = 0;
    uint64_t busyUntilUs_ = 0;
    PacketError lastError_ = PacketError::None;
    uint32_t rejected_ = 0;
};

}  // namespace zorvan::sim
