#pragma once
// The chip's side of a fuzzed link: the fuzzer's bytes, read front to back, give every
// answer the chip makes (DDC/CI replies, DPCD bytes, results) and the choices of the run
// (which operation comes next, its parameters). Once the bytes are used up the chip answers
// nothing, so every run ends. AnswerWriter writes the same encoding, so that a run against
// the virtual chip can be kept as a seed that replays it answer for answer.
//
// A DDC/CI reply message starts with one byte c:
//   00-7F  a well-formed reply of c payload bytes (address, length, C2 00 00, the payload
//          from the stream, correct checksum)
//   80-9F  the same with (c & 1F) payload bytes and the checksum byte from the stream
//   A0-BF  (c & 1F) payload bytes after three header bytes from the stream, correct checksum
//   C0-CF  the null message 6E 80 BE
//   D0-DF  raw: a count, then that many bytes as they are
//   E0-EF  raw with a reported length of its own: a count, the bytes, the length (-128..127)
//   F0-FF  no message: failure number (c & 0F)
// A DPCD read starts with one byte c: below F0 the read succeeds and the bytes follow,
// F0-FF fails with failure number (c & 0F).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zorvan::fuzz {

class AnswerStream {
  public:
    AnswerStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    // 0 once the bytes are used up.
    uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
    // n bytes; zeros stand in for those past the end.
    std::vector<uint8_t> Take(size_t n);

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class AnswerWriter {
  public:
    void Byte(uint8_t b) { bytes_.push_back(b); }
    void Bytes(std::span<const uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    // A place for one byte filled in later, when what it encodes is known.
    size_t Reserve() {
        bytes_.push_back(0);
        return bytes_.size() - 1;
    }
    size_t Size() const { return bytes_.size(); }
    void Insert(size_t at, std::span<const uint8_t> bytes) {
        bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
    }
    void Set(size_t at, uint8_t b) { bytes_[at] = b; }
    const std::vector<uint8_t>& Written() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

inline constexpr uint8_t kChipAddress = 0x6E;
inline constexpr size_t kFailureKinds = 16;

// One DDC/CI read as the stream gives it: the bytes of the message, or a failure.
struct ReplyMessage {
    std::optional<uint8_t> failure;  // failure number 0..15 instead of a message
    std::vector<uint8_t> bytes;
    std::optional<int32_t> reportedLength;  // when the stream lies about the length
};

ReplyMessage ReadReplyMessage(AnswerStream& stream);
// The encoding of a message as the chip sent it (a well-formed reply, the null message, or
// anything else raw).
void WriteReplyMessage(AnswerWriter& writer, std::span<const uint8_t> message);
void WriteReplyFailure(AnswerWriter& writer, uint8_t failure);

// One DPCD read of `length` bytes: nullopt for a failure (its number in `failure`).
std::optional<std::vector<uint8_t>> ReadDpcdAnswer(AnswerStream& stream, size_t length,
                                                   uint8_t& failure);
void WriteDpcdAnswer(AnswerWriter& writer, std::span<const uint8_t> bytes);
void WriteDpcdFailure(AnswerWriter& writer, uint8_t failure);

// The reply framing of the chip: address, 80|(payload + 3), C2 00 00, payload, checksum.
std::vector<uint8_t> FrameReply(std::span<const uint8_t> header, std::span<const uint8_t> payload);

}  // namespace zorvan::fuzz
