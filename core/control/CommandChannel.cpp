// The command channel: vendor commands to the chip, its replies and acknowledgements, and
// the two memory reads. Framing lives in DdcPackets; this file holds the I/O and the retry
// rules with their exact counts and pauses.
#include <algorithm>
#include <cstring>

#include "core/control/DdcPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

// ReceiveReply: a 40 ms settle, then up to 50 reads, 10 ms apart while busy or empty.
constexpr uint32_t kReplySettleMs = 40;
constexpr int kReplyReads = 50;
constexpr uint16_t kReplyRetryMs = 10;
// The status the Intel interfaces answer for a request they do not support.
constexpr int32_t kNotSupported = 5;

// WaitAck: the same settle, up to 20 reads; 10 ms after busy, 30 ms after a short reply.
constexpr int kAckReads = 20;
constexpr uint16_t kAckBusyMs = 10;
constexpr uint32_t kAckShortMs = 30;
// WaitAckFast: 10 ms first on NVIDIA/AMD, up to 50 reads, 5 ms after busy or a short reply.
constexpr uint16_t kFastAckStartMs = 10;
constexpr int kFastAckReads = 50;
constexpr uint16_t kFastAckRetryMs = 5;
// A reply of fewer bytes than this is no acknowledgement yet.
constexpr int32_t kLongReply = 6;

// ReadMemory pieces: at most 96 bytes, never across a 64 KiB boundary.
constexpr uint32_t kMemoryPiece = 96;

void PutBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

uint32_t GetBigEndian32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | static_cast<uint32_t>(in[3]);
}

void SetMarker(std::span<uint8_t> out, uint8_t first, uint8_t second) {
    if (out.size() >= 2) {
        out[0] = first;
        out[1] = second;
    }
}

}  // namespace

bool ZorvanControl::SendCommand(const uint8_t* command, int32_t count) {
    if (gfx == nullptr || command == nullptr || count <= 0) {
        return false;
    }
    uint8_t packet[ddc::kMaxCommandPacket];
    const size_t length = ddc::BuildCommandPacket(
        static_cast<uint8_t>(ddcAddress), std::span(command, static_cast<size_t>(count)), packet);
    if (length == 0) {
        return false;
    }
    return gfx->I2cWrite(deviceId, ddcAddress, packet, static_cast<int32_t>(length)) == GFX_OK;
}

bool ZorvanControl::SendFixedPacket(const FixedPacket& packet,
                                    std::span<const uint8_t> variableBytes) {
    if (gfx == nullptr) {
        return false;
    }
    std::array<uint8_t, 12> bytes{};
    if (!PreparePacket(packet, variableBytes, static_cast<uint8_t>(ddcAddress), bytes)) {
        return false;
    }
    return gfx->I2cWrite(deviceId, ddcAddress, bytes.data(), packet.count) == GFX_OK;
}

int32_t ZorvanControl::ReplyCapacity() const {
    // Never more than rxBuffer holds, whatever a backend announces.
    return std::clamp<int32_t>(gfx->replyBufferSize, 0, static_cast<int32_t>(sizeof rxBuffer));
}

int32_t ZorvanControl::ReadReplyOnce(int32_t& count) {
    const int32_t capacity = ReplyCapacity();
    int32_t length = 0;
    const int32_t r = gfx->I2cRead(deviceId, ddcAddress, rxBuffer, capacity, &length);
    // The reported length is the chip's word; only the bytes the buffer took are real.
    count = std::clamp(length, 0, capacity);
    return r;
}

bool ZorvanControl::ReceiveReply(std::span<uint8_t> out, size_t* payloadLength) {
    if (payloadLength != nullptr) {
        *payloadLength = 0;
    }
    if (gfx == nullptr) {
        return false;
    }
    std::memset(rxBuffer, 0, static_cast<size_t>(ReplyCapacity()));
    platform::SleepMs(kReplySettleMs);

    int32_t count = 0;
    bool received = false;
    for (int read = 0; read < kReplyReads && !received; ++read) {
        const int32_t r = ReadReplyOnce(count);
        if (r == kNotSupported) {
            return false;
        }
        if (r == GFX_BUSY) {
            platform::DelayMs(kReplyRetryMs);
        } else if (count == static_cast<int32_t>(ddc::kNullMessageLength)) {
            SetMarker(out, 0x01, ddc::kNullMessageBody);
            platform::DelayMs(kReplyRetryMs);
        } else if (r == GFX_OK) {
            received = true;
        }
    }
    if (!received) {
        SetMarker(out, 0x01, ddc::kNullMessageBody);
        return false;
    }

    // Too short to carry the header and a checksum: nothing in it can be trusted.
    if (count < static_cast<int32_t>(ddc::kReplyOverhead)) {
        return false;
    }
    const std::span<const uint8_t> reply(rxBuffer, static_cast<size_t>(count));
    if (!ddc::HasVendorHeader(reply)) {
        return false;
    }
    const uint8_t expected = ddc::ExpectedReplyChecksum(static_cast<uint8_t>(ddcAddress), reply);
    const size_t length = reply.size() - ddc::kReplyOverhead;
    const size_t copied = std::min(length, out.size());
    // Forward copy: out may be rxBuffer, which lies before the payload. An empty out (a
    // caller after the length only) may have no storage at all.
    if (copied > 0) {
        std::memmove(out.data(), reply.data() + ddc::kReplyPayloadOffset, copied);
    }
    if (payloadLength != nullptr) {
        *payloadLength = length;
    }
    if (expected != reply.back()) {
        SetMarker(out, 0x00, 0xFF);
        return false;
    }
    return true;
}

bool ZorvanControl::CheckAcknowledgement(int32_t count) const {
    return ddc::IsAcknowledgement(std::span<const uint8_t>(rxBuffer, static_cast<size_t>(count)));
}

bool ZorvanControl::WaitAck() {
    if (gfx == nullptr) {
        return false;
    }
    std::memset(rxBuffer, 0, static_cast<size_t>(ReplyCapacity()));
    platform::SleepMs(kReplySettleMs);
    int32_t count = 0;
    for (int read = 0; read < kAckReads; ++read) {
        const int32_t r = ReadReplyOnce(count);
        if (r == GFX_BUSY) {
            platform::DelayMs(kAckBusyMs);
        } else if (r == GFX_OK && count < kLongReply) {
            platform::SleepMs(kAckShortMs);
        } else if (r == GFX_OK) {
            break;
        }
    }
    return CheckAcknowledgement(count);
}

bool ZorvanControl::WaitAckFast() {
    if (gfx == nullptr) {
        return false;
    }
    std::memset(rxBuffer, 0, static_cast<size_t>(ReplyCapacity()));
    if (GfxIsNvidiaOrAmd()) {
        platform::DelayMs(kFastAckStartMs);
    }
    int32_t count = 0;
    for (int read = 0; read < kFastAckReads; ++read) {
        const int32_t r = ReadReplyOnce(count);
        if (r == GFX_BUSY || (r == GFX_OK && count < kLongReply)) {
            platform::DelayMs(kFastAckRetryMs);
        } else if (r == GFX_OK) {
            break;
        }
    }
    return CheckAcknowledgement(count);
}

bool ZorvanControl::SendAwaitingFastAck(std::span<const uint8_t> command, int attempts,
                                        size_t announcedBytes) {
    if (gfx == nullptr) {
        return false;
    }
    const size_t length = ddc::BuildCommandPacket(static_cast<uint8_t>(ddcAddress), command,
                                                  txBuffer, announcedBytes);
    if (length == 0) {
        return false;
    }
    gfx->I2cWrite(deviceId, ddcAddress, txBuffer, static_cast<int32_t>(length));
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (WaitAckFast()) {
            return true;
        }
    }
    return false;
}

bool ZorvanControl::ReadMemory(uint32_t address, uint8_t* out, int32_t length) {
    if (length == 0) {
        return true;
    }
    if (out == nullptr || length < 0) {
        return false;
    }
    // A range past the end of the 32-bit address space would wrap and read nothing.
    const uint64_t end = static_cast<uint64_t>(address) + static_cast<uint64_t>(length);
    if (end > 0x100000000ull) {
        return false;
    }
    uint64_t at = address;
    uint32_t piece = kMemoryPiece;
    uint8_t* next = out;
    while (at < end) {
        if (end - at <= kMemoryPiece) {
            piece = static_cast<uint32_t>(end - at);
        }
        const uint64_t last = at + piece - 1;
        if ((last >> 16) != (at >> 16)) {
            piece = static_cast<uint32_t>(((at >> 16) + 1) * 0x10000 - at);
        }
        uint8_t command[9] = {kReadMemoryCode};
        PutBigEndian32(command + 1, static_cast<uint32_t>(at));
        PutBigEndian32(command + 5, piece);
        uint8_t payload[sizeof rxBuffer] = {};
        size_t payloadLength = 0;
        if (!SendCommand(command, sizeof command) || !ReceiveReply(payload, &payloadLength) ||
            payloadLength < 2 || payload[1] != kReadMemoryCode) {
            return false;
        }
        // The chip says n - 3 data bytes follow; only those the reply really holds count, and
        // a piece that falls short must not pass old buffer bytes off as chip data.
        const size_t announced = payload[0] >= 3 ? payload[0] - 3u : 0;
        const size_t carried = std::min(announced, payloadLength - 2);
        if (carried < piece) {
            return false;
        }
        std::memcpy(next, payload + 2, piece);
        next += piece;
        at += piece;
    }
    return true;
}

uint32_t ZorvanControl::ReadRegister(uint32_t address) {
    constexpr uint32_t kNoReply = 0xFFFFFFFF;
    uint8_t command[5] = {kReadRegisterCode};
    PutBigEndian32(command + 1, address);
    uint8_t payload[sizeof rxBuffer] = {};
    size_t payloadLength = 0;
    if (!SendCommand(command, sizeof command) || !ReceiveReply(payload, &payloadLength)) {
        return kNoReply;
    }
    // n, echo, address (4), value (4): a shorter reply carries no value.
    if (payloadLength < 10 || payload[1] != kReadRegisterCode) {
        return kNoReply;
    }
    if (GetBigEndian32(payload + 2) != address) {
        return 0;
    }
    return GetBigEndian32(payload + 6);
}

}  // namespace zorvan
