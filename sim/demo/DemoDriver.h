#pragma once
// The ISP driver file of the demo folder (driver.bin): a 4-byte length header, a driver
// payload the virtual chip starts, and the payload's 256-byte signature under the demo key,
// so the one file serves plain ISP (0x13, 0x1D) and secure ISP (0x73, signature, 0x75).
#include <cstdint>
#include <vector>

namespace zorvan::sim {

// Payload bytes of the demo driver: a multiple of 256, well below the 0x4000 a driver may
// reach.
inline constexpr uint32_t kDemoDriverPayloadSize = 0x1000;

// The payload alone, as it lands in chip RAM.
std::vector<uint8_t> MakeDemoDriverPayload();

// The payload's signature under the demo key.
std::vector<uint8_t> SignDriverPayload(const std::vector<uint8_t>& payload);

// The whole file, signed.
std::vector<uint8_t> MakeDemoDriverFile();

// What is wrong with a damaged driver file.
enum class DriverFileDamage {
    PayloadByte,    // one code byte changed, the payload's CRC made to match: the payload
                    // still starts as a plain driver, only the signature check catches it
    SignatureByte,  // one byte of the signature changed
};

// The demo driver file with one byte changed as `damage` says.
std::vector<uint8_t> MakeDamagedDriverFile(DriverFileDamage damage);

}  // namespace zorvan::sim
