#pragma once
// The security firmware file of the demo folder (esm.bin): a 4-byte little-endian length
// header and an ESM payload the virtual chip starts (sim/chip/secure/EsmImage.h).
#include <cstdint>
#include <vector>

namespace zorvan::sim {

// Payload bytes of the demo ESM: not a multiple of 256, so a download ends in a rest of
// 224 bytes (115 and 109) after 46 groups of 256.
inline constexpr uint32_t kDemoEsmPayloadSize = 12000;

// The payload alone, as it lands in the chip's ESM area.
std::vector<uint8_t> MakeDemoEsmPayload();

// The whole file.
std::vector<uint8_t> MakeDemoEsmFile();

// The same file with one code byte changed: it downloads like the good one, but the chip
// refuses to start it.
std::vector<uint8_t> MakeBrokenEsmFile();

}  // namespace zorvan::sim
