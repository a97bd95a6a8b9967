#pragma once
// The ISP driver as the chip's boot ROM knows it. The host downloads the driver's payload
// into chip RAM and starts it at an address; the boot ROM jumps there only when RAM holds
// a complete payload of this form, so a truncated or corrupted download never runs:
//
//   payload offset  size  content (little-endian)
//   0x00            4     magic "ZVDR"
//   0x04            4     payload length L (the whole payload, this header included)
//   0x08            4     CRC-32 of payload bytes 0x0C .. L-1
//   0x0C            4     DPCD address at which the driver publishes its mailbox descriptor
//   0x10            12    the mailbox descriptor: command buffer address (4) and size (2),
//                         status area address (4) and size (2)
//   0x1C            4     zero
//   0x20            ...   driver code
//
// The driver file adds a 4-byte length header in front and the 256-byte signature of the
// payload behind it.
#include <cstdint>
#include <optional>
#include <vector>

namespace zorvan::sim {

inline constexpr uint32_t kDriverHeaderSize = 0x20;
inline constexpr uint32_t kDriverSignatureSize = 256;

// Where the running driver's mailbox lives in the DPCD space.
struct MailboxLayout {
    uint32_t descriptorAddress = 0x10200;
    uint32_t commandAddress = 0x20000;
    uint16_t commandSize = 512;
    uint32_t statusAddress = 0x10000;
    uint16_t statusSize = 128;
};

// True when the driver can serve this mailbox: every area inside the DPCD space above the
// standard registers, none overlapping another, a command buffer of two halves large
// enough for a block header and small enough for the driver's RAM, and a status area that
// holds the four response rows of a flash read.
bool IsServableLayout(const MailboxLayout& layout);

// A payload of `length` bytes (at least the header, a multiple of 256 for the file's
// length header) with the layout and deterministic code bytes.
std::vector<uint8_t> BuildDriverPayload(const MailboxLayout& layout, uint32_t length);

// The mailbox layout of the driver whose payload starts at `ram[address]`, or nothing when
// no complete, intact driver with a servable layout is there.
std::optional<MailboxLayout> FindDriver(const std::vector<uint8_t>& ram, uint32_t address);

// Writes the CRC field again after a change to the payload (at least the header).
void StampDriverCrc(std::vector<uint8_t>& payload);

// The driver file: 4-byte little-endian payload length, payload, signature (the 256-byte
// RSA-2048/SHA-256 signature of the payload that the chip checks before it starts a signed
// driver, sim/chip/secure/SecureEngine.h).
std::vector<uint8_t> BuildDriverFile(const std::vector<uint8_t>& payload,
                                     const std::vector<uint8_t>& signature);

}  // namespace zorvan::sim
