#pragma once
// A scripted display link for tests of the chip-control core: it records every transfer the
// core makes and answers reads from queued replies, so a test states the chip's side as a
// script and checks the bytes and pauses of the host's side. Use with RecordingClock.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/gfx/GfxLib.h"

namespace zorvan::testing {

// One shared, readable transcript of transfers and waits, in the order they happened:
//   "I2cWrite 51 85 C2 00 00 03 09 72 -> 0", "I2cRead -> 0 6E 85 ...", "I2cRead -> 1003",
//   "AuxWrite 0x20001 1C FF -> 0", "AuxRead 0x503 10 -> 0 4B 51 ...", "sleep 40ms", "busy 10ms".
using Journal = std::vector<std::string>;

enum class LinkOp { kI2cWrite, kI2cRead, kAuxWrite, kAuxRead };

struct LinkEvent {
    LinkOp op;
    uint32_t deviceId;
    uint32_t address;
    int32_t length;  // bytes handed in; for I2cRead the capacity
    int32_t result;
    std::vector<uint8_t> data;  // bytes written, or bytes a successful read delivered
};

struct ScriptedRead {
    ScriptedRead() = default;
    ScriptedRead(int32_t result_, std::vector<uint8_t> bytes_ = {},
                 std::optional<int32_t> reportedLength_ = std::nullopt)
        : result(result_), bytes(std::move(bytes_)), reportedLength(reportedLength_) {}

    int32_t result = GFX_OK;
    std::vector<uint8_t> bytes;             // delivered into the buffer (cut at its size)
    std::optional<int32_t> reportedLength;  // I2cRead's length out; bytes.size() if unset
};

class ScriptedLink final : public GfxLib {
public:
    explicit ScriptedLink(int32_t replyBufferSize = 131, int32_t chunkDelayUs = 0);
    ~ScriptedLink() = default;
    ScriptedLink(const ScriptedLink&) = delete;
    ScriptedLink& operator=(const ScriptedLink&) = delete;

    // Answers of the next reads, in order.
    void QueueI2cRead(ScriptedRead read) { i2cReads_.push_back(std::move(read)); }
    void QueueI2cReply(std::vector<uint8_t> bytes) { QueueI2cRead({GFX_OK, std::move(bytes)}); }
    void QueueI2cResult(int32_t result) { QueueI2cRead({result, {}}); }
    void QueueAuxRead(ScriptedRead read) { auxReads_.push_back(std::move(read)); }
    // Results of the next writes, in order (then 0).
    void QueueI2cWriteResult(int32_t result) { i2cWriteResults_.push_back(result); }
    void QueueAuxWriteResult(int32_t result) { auxWriteResults_.push_back(result); }

    // What a read answers once its queue is empty.
    ScriptedRead unscriptedI2cRead{GFX_BAD_REPLY, {}};
    ScriptedRead unscriptedAuxRead{GFX_BAD_REPLY, {}};
    // Runs after every recorded write, e.g. to queue the chip's answer to it.
    std::function<void(ScriptedLink&, const LinkEvent&)> onWrite;
    // Receives a line per transfer when set.
    Journal* journal = nullptr;

    const std::vector<LinkEvent>& events() const { return events_; }
    std::vector<LinkEvent> EventsOf(LinkOp op) const;
    // The bytes of every I2cWrite, in order.
    std::vector<std::vector<uint8_t>> I2cWrites() const;
    size_t CountOf(LinkOp op) const { return EventsOf(op).size(); }
    size_t PendingI2cReads() const { return i2cReads_.size(); }
    size_t PendingAuxReads() const { return auxReads_.size(); }

protected:
    int32_t DoInit(std::wstring& text) override;
    int32_t DoConnect(uint32_t& deviceId, uint32_t ddcAddress, std::wstring& text) override;
    int32_t DoI2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoI2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                      int32_t* length) override;
    int32_t DoAuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data,
                       int32_t length) override;
    int32_t DoAuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer,
                      int32_t length) override;

private:
    int32_t RecordWrite(LinkOp op, uint32_t deviceId, uint32_t address, const uint8_t* data,
                        int32_t length, std::deque<int32_t>& results);
    ScriptedRead NextRead(std::deque<ScriptedRead>& queue, const ScriptedRead& fallback);
    void Note(const std::string& line);

    std::deque<ScriptedRead> i2cReads_;
    std::deque<ScriptedRead> auxReads_;
    std::deque<int32_t> i2cWriteResults_;
    std::deque<int32_t> auxWriteResults_;
    std::vector<LinkEvent> events_;
};

// "AA BB CC".
std::string HexBytes(const std::vector<uint8_t>& bytes);

// Replies as the chip frames them, with the address 0x6E unless told otherwise:
// address, 80|(count-3), C2 00 00, payload, checksum (XOR of 0x50 and all bytes before it).
std::vector<uint8_t> ChipReply(const std::vector<uint8_t>& payload, uint8_t address = 0x6E);
// A reply whose payload is n (data + 3), the echoed vendor code and the data.
std::vector<uint8_t> DataReply(uint8_t echo, const std::vector<uint8_t>& data);

inline const std::vector<uint8_t> kAckReply = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};
inline const std::vector<uint8_t> kNullMessage = {0x6E, 0x80, 0xBE};

}  // namespace zorvan::testing
