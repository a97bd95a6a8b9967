#pragma once
// The ESM, the chip's security firmware, as its boot ROM accepts it. The host writes the
// payload into the ESM area (from chip address 0x320000) and starts it with its length;
// the boot ROM starts it only when the area holds a complete payload of this form, so a
// truncated or corrupted download never runs:
//
//   payload offset  size  content (little-endian)
//   0x00            4     magic "ZVES"
//   0x04            4     payload length L (the whole payload, this header included)
//   0x08            4     CRC-32 of payload bytes 0x0C .. L-1
//   0x0C            ...   ESM code
//
// The ESM file adds a 4-byte little-endian length header in front.
#include <cstdint>
#include <span>
#include <vector>

namespace zorvan::sim {

inline constexpr uint32_t kEsmHeaderSize = 0x0C;

// A payload of `length` bytes (at least the header) with deterministic code bytes.
std::vector<uint8_t> BuildEsmPayload(uint32_t length);

// True when the first `length` bytes of `area` are an intact payload announcing exactly
// `length` bytes.
bool IsIntactEsm(std::span<const uint8_t> area, uint32_t length);

// The ESM file: 4-byte little-endian payload length, then the payload.
std::vector<uint8_t> BuildEsmFile(const std::vector<uint8_t>& payload);

}  // namespace zorvan::sim
