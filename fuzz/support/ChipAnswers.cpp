#include "fuzz/support/ChipAnswers.h"

#include <algorithm>

namespace zorvan::fuzz {
namespace {

constexpr uint8_t kReplySeed = 0x50;
constexpr uint8_t kLengthFlag = 0x80;
constexpr size_t kMaxPayload = 0x7F - 3;  // the length byte counts C2 00 00 and the payload
constexpr uint8_t kVendorHeader[3] = {0xC2, 0x00, 0x00};
constexpr uint8_t kNullMessage[3] = {kChipAddress, 0x80, 0xBE};

constexpr uint8_t kFramed = 0x00;
constexpr uint8_t kOwnChecksum = 0x80;
constexpr uint8_t kOwnHeader = 0xA0;
constexpr uint8_t kNull = 0xC0;
constexpr uint8_t kRaw = 0xD0;
constexpr uint8_t kRawLength = 0xE0;
constexpr uint8_t kFailure = 0xF0;

uint8_t Checksum(std::span<const uint8_t> bytes) {
    uint8_t sum = kReplySeed;
    for (const uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum ^ b);
    }
    return sum;
}

}  // namespace

std::vector<uint8_t> AnswerStream::Take(size_t n) {
    std::vector<uint8_t> bytes(n, 0);
    const size_t available = std::min(n, Empty() ? 0 : size_ - at_);
    std::copy_n(data_ + at_, available, bytes.begin());
    at_ += available;
    return bytes;
}

std::vector<uint8_t> FrameReply(std::span<const uint8_t> header, std::span<const uint8_t> payload) {
    std::vector<uint8_t> reply = {kChipAddress,
                                  static_cast<uint8_t>(kLengthFlag | (payload.size() + 3))};
    reply.insert(reply.end(), header.begin(), header.end());
    reply.insert(reply.end(), payload.begin(), payload.end());
    reply.push_back(Checksum(reply));
    return reply;
}

ReplyMessage ReadReplyMessage(AnswerStream& stream) {
    ReplyMessage message;
    if (stream.Empty()) {
        message.failure = 0;
        return message;
    }
    const uint8_t c = stream.Byte();
    if (c < kOwnChecksum) {
        message.bytes = FrameReply(kVendorHeader, stream.Take(std::min<size_t>(c, kMaxPayload)));
    } else if (c < kOwnHeader) {
        message.bytes = FrameReply(kVendorHeader, stream.Take(c & 0x1F));
        message.bytes.back() = stream.Byte();
    } else if (c < kNull) {
        const std::vector<uint8_t> header = stream.Take(3);
        message.bytes = FrameReply(header, stream.Take(c & 0x1F));
    } else if (c < kRaw) {
        message.bytes.assign(std::begin(kNullMessage), std::end(kNullMessage));
    } else if (c < kFailure) {
        message.bytes = stream.Take(stream.Byte());
        if (c >= kRawLength) {
            message.reportedLength = static_cast<int8_t>(stream.Byte());
        }
    } else {
        message.failure = static_cast<uint8_t>(c & 0x0F);
    }
    return message;
}

void WriteReplyMessage(AnswerWriter& writer, std::span<const uint8_t> message) {
    if (std::equal(message.begin(), message.end(), std::begin(kNullMessage),
                   std::end(kNullMessage))) {
        writer.Byte(kNull);
        return;
    }
    if (message.size() >= 6 && message.size() - 6 <= kMaxPayload) {
        const std::span<const uint8_t> payload = message.subspan(5, message.size() - 6);
        if (std::ranges::equal(FrameReply(kVendorHeader, payload), message)) {
            writer.Byte(static_cast<uint8_t>(kFramed + payload.size()));
            writer.Bytes(payload);
            return;
        }
    }
    const size_t count = std::min<size_t>(message.size(), 0xFF);
    writer.Byte(kRaw);
    writer.Byte(static_cast<uint8_t>(count));
    writer.Bytes(message.first(count));
}

void WriteReplyFailure(AnswerWriter& writer, uint8_t failure) {
    writer.Byte(static_cast<uint8_t>(kFailure | (failure & 0x0F)));
}

std::optional<std::vector<uint8_t>> ReadDpcdAnswer(AnswerStream& stream, size_t length,
                                                   uint8_t& failure) {
    failure = 0;
    if (stream.Empty()) {
        return std::nullopt;
    }
    const uint8_t c = stream.Byte();
    if (c >= kFailure) {
        failure = static_cast<uint8_t>(c & 0x0F);
        return std::nullopt;
    }
    return stream.Take(length);
}

void WriteDpcdAnswer(AnswerWriter& writer, std::span<const uint8_t> bytes) {
    writer.Byte(0);
    writer.Bytes(bytes);
}

void WriteDpcdFailure(AnswerWriter& writer, uint8_t failure) {
    writer.Byte(static_cast<uint8_t>(kFailure | (failure & 0x0F)));
}

}  // namespace zorvan::fuzz
