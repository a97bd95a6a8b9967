#include "fuzz/support/FuzzSink.h"

#include <algorithm>

namespace zorvan::fuzz {
namespace {

// Failure numbers of the sink: what the wire can answer besides an acknowledgement.
sim::AuxReply FailedReply(uint8_t failure) {
    switch (failure % 3) {
        case 0:
            return sim::AuxNack();
        case 1:
            return sim::AuxDefer();
        default:
            return sim::AuxTimeout();
    }
}

uint8_t FailureOf(sim::AuxStatus status) {
    switch (status) {
        case sim::AuxStatus::Nack:
            return 0;
        case sim::AuxStatus::Defer:
            return 1;
        default:
            return 2;
    }
}

// A short acknowledgement of a DPCD read: failure number 3 (mod 4).
constexpr uint8_t kShortRead = 3;

}  // namespace

sim::AuxReply FuzzSink::Transact(const sim::AuxRequest& request) {
    if (!live_) {
        return chip_.Transact(request);
    }
    if (answers_.Empty()) {
        return sim::AuxTimeout();
    }
    switch (request.command) {
        case sim::AuxCommand::I2cWrite:
            // A packet discards the answer not read yet.
            readOpen_ = false;
            message_.clear();
            position_ = 0;
            return sim::AuxAck();
        case sim::AuxCommand::I2cRead:
            return I2cRead(request);
        case sim::AuxCommand::NativeRead:
            return NativeRead(request);
        case sim::AuxCommand::NativeWrite:
            break;
    }
    return sim::AuxAck();
}

sim::AuxReply FuzzSink::I2cRead(const sim::AuxRequest& request) {
    if (!readOpen_ && position_ >= message_.size()) {
        ReplyMessage next = ReadReplyMessage(answers_);
        message_.clear();
        position_ = 0;
        if (next.failure) {
            return FailedReply(*next.failure);
        }
        message_ = std::move(next.bytes);
    }
    readOpen_ = request.mot;
    std::vector<uint8_t> data(request.length, 0xFF);
    for (uint32_t i = 0; i < request.length && position_ < message_.size(); ++i) {
        data[i] = message_[position_++];
    }
    return sim::AuxAck(std::move(data));
}

sim::AuxReply FuzzSink::NativeRead(const sim::AuxRequest& request) {
    uint8_t failure = 0;
    std::optional<std::vector<uint8_t>> bytes = ReadDpcdAnswer(answers_, request.length, failure);
    if (bytes) {
        return sim::AuxAck(std::move(*bytes));
    }
    if (failure % 4 == kShortRead) {
        return sim::AuxAck(answers_.Take(request.length / 2));
    }
    return FailedReply(failure % 4);
}

sim::AuxReply RecordingSink::Transact(const sim::AuxRequest& request) {
    const sim::AuxReply reply = chip_.Transact(request);
    if (live_) {
        Record(request, reply);
    }
    return reply;
}

bool RecordingSink::Exhausted() const {
    return !message_ || (message_->total && message_->seen.size() >= *message_->total);
}

void RecordingSink::Record(const sim::AuxRequest& request, const sim::AuxReply& reply) {
    switch (request.command) {
        case sim::AuxCommand::I2cWrite:
            readOpen_ = false;
            Finish();
            return;
        case sim::AuxCommand::NativeWrite:
            return;
        case sim::AuxCommand::NativeRead:
            if (reply.status != sim::AuxStatus::Ack) {
                WriteDpcdFailure(writer_, FailureOf(reply.status));
            } else {
                std::vector<uint8_t> bytes = reply.data;
                bytes.resize(request.length, 0);
                WriteDpcdAnswer(writer_, bytes);
            }
            return;
        case sim::AuxCommand::I2cRead:
            break;
    }
    if (!readOpen_ && Exhausted()) {
        Finish();
        if (reply.status != sim::AuxStatus::Ack) {
            WriteReplyFailure(writer_, FailureOf(reply.status));
            return;
        }
        message_ = Message{writer_.Size(), {}, std::nullopt};
    }
    readOpen_ = request.mot;
    if (!message_ || reply.status != sim::AuxStatus::Ack) {
        return;
    }
    // Only the message's own bytes count; the rest of a longer read is the released bus.
    for (const uint8_t b : reply.data) {
        if (message_->total && message_->seen.size() >= *message_->total) {
            break;
        }
        message_->seen.push_back(b);
        if (message_->seen.size() == 2 && (message_->seen[1] & 0x80) != 0) {
            message_->total = static_cast<size_t>(message_->seen[1] & 0x7F) + 3;
        }
    }
}

void RecordingSink::Finish() {
    if (!message_) {
        return;
    }
    std::vector<uint8_t> bytes = message_->seen;
    if (message_->total) {
        bytes.resize(*message_->total, 0);  // a part never read: any bytes will do
    }
    AnswerWriter encoding;
    WriteReplyMessage(encoding, bytes);
    writer_.Insert(message_->at, encoding.Written());
    message_.reset();
}

}  // namespace zorvan::fuzz
