#pragma once
// The Customized Data Block: a 128-byte per-product record at flash offset 0x7E000.
//   0..3  "CMDB"        4, 5  version        6, 7  custom version
//   8..126 product data (not interpreted)    127   checksum: all 128 bytes sum to 0 mod 256
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zorvan {

inline constexpr uint32_t kCmdbFlashOffset = 0x7E000;
inline constexpr size_t kCmdbRecordSize = 128;
// A Customized Data Block file is written from kCmdbFlashOffset; the flash ends at 0x80000.
inline constexpr size_t kCmdbMaxFileSize = 0x80000 - kCmdbFlashOffset;

enum CmdbStatus : int32_t {
    CMDB_OK = 0,
    CMDB_READ_FAILED = 1,
    CMDB_BAD_SIGNATURE = 2,
    CMDB_BAD_CHECKSUM = 3,
    CMDB_EMPTY = 4,
};

// The checksum byte that makes the 127 bytes before it sum to 0 with it.
uint8_t CmdbChecksum(std::span<const uint8_t, kCmdbRecordSize> record);

// Classifies a record read from flash (never CMDB_READ_FAILED).
CmdbStatus EvaluateCmdb(std::span<const uint8_t, kCmdbRecordSize> record);

// The status line for the caller's text; the record gives the versions of CMDB_OK.
std::wstring CmdbStatusLine(CmdbStatus status, std::span<const uint8_t, kCmdbRecordSize> record);

}  // namespace zorvan
