#pragma once
// DDC/CI framing of the chip's vendor commands and replies, without any I/O: the command
// channel sends and receives, these functions only build and check bytes.
//
// Host packet:  51, 80|(L+4), C2 00 00, n = L+2, vendor code and parameters (L bytes), checksum
//               (XOR of the chip's DDC/CI address and every byte before it).
// Chip reply:   address, 80|(count-3), C2 00 00, payload (n, echo, data), checksum
//               (XOR of 0x50 and every byte before it).
#include <cstddef>
#include <cstdint>
#include <span>

namespace zorvan::ddc {

inline constexpr uint8_t kHostSource = 0x51;
inline constexpr uint8_t kLengthFlag = 0x80;
inline constexpr uint8_t kVendorOpcode = 0xC2;
inline constexpr uint8_t kReplySeed = 0x50;
inline constexpr uint8_t kNullMessageBody = 0xBE;

// The n byte counts itself through the checksum and must fit in seven bits.
inline constexpr size_t kMaxCommandBytes = 0x7F - 2;
// Framing around the vendor command: five header bytes, n, checksum.
inline constexpr size_t kCommandOverhead = 7;
inline constexpr size_t kMaxCommandPacket = kMaxCommandBytes + kCommandOverhead;

// Reply framing: address, length, C2 00 00 before the payload, checksum after it.
inline constexpr size_t kReplyPayloadOffset = 5;
inline constexpr size_t kReplyOverhead = 6;
// The DDC/CI null message: address, 0x80, 0xBE.
inline constexpr size_t kNullMessageLength = 3;

// XOR of seed and the bytes.
uint8_t XorBytes(uint8_t seed, std::span<const uint8_t> bytes);

// Frames a vendor command (code first) into out. Returns the packet length, or 0 when the
// command is empty, longer than kMaxCommandBytes or out is too small; out is then untouched.
// announcedBytes, when larger than the command, is the command length the count byte n
// announces although only the command follows (at most kMaxCommandBytes); the length byte
// and the checksum always cover what is sent.
size_t BuildCommandPacket(uint8_t ddcAddress, std::span<const uint8_t> command,
                          std::span<uint8_t> out, size_t announcedBytes = 0);

// Rewrites the last byte of a complete host packet as its checksum.
void SealPacket(uint8_t ddcAddress, std::span<uint8_t> packet);

// Bytes 2..4 of a reply are C2 00 00.
bool HasVendorHeader(std::span<const uint8_t> reply);

// The checksum a reply of that length must end in, computed with the configured address and
// the length the byte count implies standing in for the received bytes 0 and 1.
uint8_t ExpectedReplyChecksum(uint8_t ddcAddress, std::span<const uint8_t> reply);

// The chip's acknowledgement: a correct reply checksum and bytes 2..6 C2 00 00 03 0C.
bool IsAcknowledgement(std::span<const uint8_t> reply);

}  // namespace zorvan::ddc
