#pragma once
// Firmware images and Customized Data Blocks for the demo folder and the tests: content
// that looks like firmware (filled code areas, erased gaps), a valid CMDB record, and the
// trailer that makes the image runnable on its chip family.
#include <cstdint>
#include <vector>

#include "sim/chip/ChipFamily.h"
#include "sim/chip/FirmwareImage.h"

namespace zorvan::sim {

// A 128-byte CMDB record: "CMDB", version, custom version, `productData` (at most 119
// bytes, the rest zero) and the checksum that makes the sum of all bytes 0 modulo 256.
std::vector<uint8_t> MakeCmdbRecord(uint8_t major, uint8_t minor, uint8_t customMajor,
                                    uint8_t customMinor, const std::vector<uint8_t>& productData);

// A whole-flash application image for `family`: code derived from the version (so two
// versions differ), no certificate (0x60000 erased), the CMDB record 1.0 / custom 1.0 at
// 0x7E000, and a valid trailer with the family's identification string, signed with the
// demo key.
std::vector<uint8_t> MakeFirmwareImage(ChipFamily family, FirmwareVersion version);

// Signs a whole-flash image whose content and trailer fields are in place: writes the
// signature field and then the trailer CRC again.
void SignFirmwareImage(std::vector<uint8_t>& image);

// MakeFirmwareImage with one code byte of the second firmware region changed and the trailer
// CRC written again: runnable when programmed by plain ISP, but its signature no longer
// matches, so a signed driver refuses its last KiB.
std::vector<uint8_t> MakeTamperedFirmwareImage(ChipFamily family, FirmwareVersion version);

}  // namespace zorvan::sim
