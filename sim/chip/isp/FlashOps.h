#pragma once
// The SPI flash as the ISP driver works it: erase by the driver's erase codes, NOR
// programming (a bit can only go from 1 to 0; erasing sets it again), and the time each
// takes on the chip.
//
// Erase codes:
//   0xFFFF  the whole flash
//   0xFFA1  all but the certificate area (0x60000 up to 0x7E000)
//   0xFFA2  all but the certificate area and the CMDB sector (0x7E000-0x7EFFF)
//   0xFFA3  the CMDB sector 0x7E000-0x7EFFF
//   0xFFA4  the Device Certificate sector 0x60000-0x60FFF
#include <cstdint>
#include <optional>
#include <vector>

namespace zorvan::sim {

inline constexpr uint32_t kFlashSectorSize = 0x1000;
inline constexpr uint32_t kCertificateAreaEnd = 0x7E000;
// The JEDEC-style ID the driver reads from the flash part: low byte, high byte.
inline constexpr uint8_t kFlashIdLow = 0x15;
inline constexpr uint8_t kFlashIdHigh = 0x40;

struct FlashRange {
    uint32_t begin;
    uint32_t end;  // exclusive
};

// The ranges an erase code clears; empty for a code the driver does not know.
std::vector<FlashRange> EraseRanges(uint16_t code);

// Time to erase those ranges: 3 s for the whole flash, in proportion for less, never less
// than one sector's erase time.
uint64_t EraseTimeUs(const std::vector<FlashRange>& ranges);

// Time to program `count` bytes page by page.
uint64_t ProgramTimeUs(uint32_t count);

void EraseFlash(std::vector<uint8_t>& flash, const std::vector<FlashRange>& ranges);

// NOR programming: each flash byte becomes flash AND data, except a worn cell at `stuck`,
// which no longer programs and keeps what it holds (0xFF once erased). False, with nothing
// changed, when the range is not inside the flash.
bool ProgramFlash(std::vector<uint8_t>& flash, uint32_t offset, const std::vector<uint8_t>& data,
                  std::optional<uint32_t> stuck = std::nullopt);

}  // namespace zorvan::sim
