#pragma once
// The DisplayPort AUX channel as a sink sees it: one request at a time, native (DPCD) or
// I2C-over-AUX, each answered with an acknowledgement, a refusal, a deferral or nothing
// at all. Every simulated vendor driver turns its own records into these requests, so
// the chip behind the display is the same whichever driver talks to it.
#include <cstdint>
#include <utility>
#include <vector>

namespace zorvan::sim {

enum class AuxCommand : uint8_t {
    NativeWrite,
    NativeRead,
    I2cWrite,
    I2cRead,
};

struct AuxRequest {
    AuxCommand command = AuxCommand::NativeRead;
    // Middle of transaction: the I2C transaction stays open after this request.
    bool mot = false;
    // DPCD address (20 bits) for native requests, 7-bit I2C address for I2C requests.
    uint32_t address = 0;
    // Bytes to write (writes only).
    std::vector<uint8_t> data;
    // Bytes asked for (reads only).
    uint32_t length = 0;
};

enum class AuxStatus : uint8_t {
    Ack,      // done; a read's bytes are in `data`
    Nack,     // refused (AUX_NACK, or I2C_NACK for an I2C request)
    Defer,    // not taken now; the request must be repeated
    Timeout,  // no reply on the wire (nothing connected, or the sink has no power)
};

struct AuxReply {
    AuxStatus status = AuxStatus::Timeout;
    std::vector<uint8_t> data;
};

// Largest payload of one AUX transaction.
inline constexpr uint32_t kAuxMaxPayload = 16;
// Native AUX addresses are 20 bits wide.
inline constexpr uint32_t kDpcdAddressLimit = 0x100000;

class AuxSink {
public:
    virtual ~AuxSink() = default;
    virtual AuxReply Transact(const AuxRequest& request) = 0;
};

inline AuxReply AuxAck(std::vector<uint8_t> data = {}) { return {AuxStatus::Ack, std::move(data)}; }
inline AuxReply AuxNack() { return {AuxStatus::Nack, {}}; }
inline AuxReply AuxDefer() { return {AuxStatus::Defer, {}}; }
inline AuxReply AuxTimeout() { return {AuxStatus::Timeout, {}}; }

}  // namespace zorvan::sim
