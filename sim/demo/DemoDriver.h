#pragma once
// The ISP driver file of the demo folder (driver.bin): a 4-byte length header, a driver
// payload the virtual chip starts, and the payload's 256-byte signature.
#include <cstdint>
#include <vector>

namespace zorvan::sim {

// Payload bytes of the demo driver: a multiple of 256, well below the 0x4000 a driver may
// reach.
inline constexpr uint32_t kDemoDriverPayloadSize = 0x1000;

// The payload alone, as it lands in chip RAM.
std::vector<uint8_t> MakeDemoDriverPayload();

// The whole file. The signature is still a placeholder; the secure ISP side signs the
// payload here once the chip verifies signed drivers.
std::vector<uint8_t> MakeDemoDriverFile();

}  // namespace zorvan::sim
