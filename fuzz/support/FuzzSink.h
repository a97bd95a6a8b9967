#pragma once
// The AUX sinks of the backends' fuzz target. FuzzSink lets the virtual chip answer until it
// goes live (so that the adapter selection finds the chip as it would), then answers every
// request from the fuzzer's bytes: DDC/CI messages streamed over I2C-over-AUX as the chip's
// port streams them (a message lasts until it is read to its end or a packet is written;
// bytes past its end read as FF), DPCD reads with their bytes, deferrals, refusals and
// silence. RecordingSink passes every request to the virtual chip and writes its answers in
// the same encoding, for seeds.
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/support/ChipAnswers.h"
#include "sim/link/AuxSink.h"

namespace zorvan::fuzz {

class FuzzSink final : public sim::AuxSink {
  public:
    FuzzSink(sim::AuxSink& chip, AnswerStream& answers) : chip_(chip), answers_(answers) {}

    void GoLive() { live_ = true; }
    sim::AuxReply Transact(const sim::AuxRequest& request) override;

  private:
    sim::AuxReply I2cRead(const sim::AuxRequest& request);
    sim::AuxReply NativeRead(const sim::AuxRequest& request);

    sim::AuxSink& chip_;
    AnswerStream& answers_;
    bool live_ = false;
    bool readOpen_ = false;
    std::vector<uint8_t> message_;
    size_t position_ = 0;
};

class RecordingSink final : public sim::AuxSink {
  public:
    RecordingSink(sim::AuxSink& chip, AnswerWriter& writer) : chip_(chip), writer_(writer) {}
    ~RecordingSink() override { Finish(); }

    void GoLive() { live_ = true; }
    sim::AuxReply Transact(const sim::AuxRequest& request) override;
    // Writes the message read last; call before the writer's bytes are taken.
    void Finish();

  private:
    struct Message {
        size_t at;                  // where its encoding goes in the writer
        std::vector<uint8_t> seen;  // the bytes read so far
        std::optional<size_t> total;
    };
    void Record(const sim::AuxRequest& request, const sim::AuxReply& reply);
    bool Exhausted() const;

    sim::AuxSink& chip_;
    AnswerWriter& writer_;
    bool live_ = false;
    bool readOpen_ = false;
    std::optional<Message> message_;
};

}  // namespace zorvan::fuzz
