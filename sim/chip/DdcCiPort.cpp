#include "sim/chip/DdcCiPort.h"

#include "core/platform/Clock.h"

namespace zorvan::sim {

void DdcCiPort::Reset() {
    open_ = Open::None;
    packet_.clear();
    overflow_ = false;
    pending_.reset();
    out_.clear();
    outPos_ = 0;
    busyUntilUs_ = 0;
}

AuxReply DdcCiPort::Transact(const AuxRequest& request) {
    const uint64_t now = platform::ActiveClock().NowUs();
    if (now < busyUntilUs_) {
        return AuxDefer();
    }
    if (request.command == AuxCommand::I2cWrite) {
        if (open_ == Open::Read) {
            open_ = Open::None;  // a new start ends the read
        }
        if (open_ == Open::None) {
            if (request.data.empty() && !request.mot) {
                return AuxAck();  // a bare start and stop carries no packet
            }
            packet_.clear();
            overflow_ = false;
            open_ = Open::Write;
        }
        for (uint8_t b : request.data) {
            if (packet_.size() < kDdcMaxPacket) {
                packet_.push_back(b);
            } else {
                overflow_ = true;
            }
        }
        if (!request.mot) {
            EndWrite(now);
        }
        return AuxAck();
    }

    // A read.
    if (open_ == Open::Write) {
        EndWrite(now);  // a repeated start ends the packet like a stop
    }
    if (open_ == Open::None) {
        open_ = Open::Read;
        if (outPos_ >= out_.size()) {
            StartMessage(now);
        }
    }
    std::vector<uint8_t> data(request.length, 0xFF);
    for (uint32_t i = 0; i < request.length && outPos_ < out_.size(); ++i) {
        data[i] = out_[outPos_++];
    }
    if (!request.mot) {
        open_ = Open::None;
    }
    return AuxAck(std::move(data));
}

void DdcCiPort::EndWrite(uint64_t nowUs) {
    open_ = Open::None;
    busyUntilUs_ = nowUs + kDdcHandoffUs;
    // The receive buffer is the transmit buffer: a new packet clobbers any unread answer.
    pending_.reset();
    out_.clear();
    outPos_ = 0;

    VendorCommand command;
    lastError_ = overflow_ ? PacketError::WrongLength
                           : ParseHostPacket(packet_.data(), packet_.size(), command);
    packet_.clear();
    if (lastError_ != PacketError::None) {
        ++rejected_;
        return;
    }
    CommandOutcome outcome = handler_.Handle(command);
    if (outcome.reply) {
        pending_ = Pending{std::move(outcome.message), busyUntilUs_ + outcome.processingUs};
    }
}

void DdcCiPort::StartMessage(uint64_t nowUs) {
    outPos_ = 0;
    if (!pending_ || nowUs < pending_->readyAtUs) {
        out_ = NullMessage();
        return;
    }
    if (faults_ != nullptr && faults_->WithholdReply()) {
        out_ = NullMessage();
        return;
    }
    out_ = std::move(pending_->message);
    pending_.reset();
    size_t index = 0;
    uint8_t mask = 0;
    if (faults_ != nullptr && !out_.empty() && faults_->CorruptReply(out_.size(), index, mask) &&
        index < out_.size()) {
        out_[index] = static_cast<uint8_t>(out_[index] ^ mask);
    }
}

}  // namespace zorvan::sim
