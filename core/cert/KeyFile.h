#pragma once
// Key files: each holds the certificate records of a range of chip serial numbers and is
// named "SPI_<first>_<last>.bin" (decimal, both ends included).
#include <cstdint>
#include <string>

namespace zorvan::cert {

// The range a key-file name announces. A name that does not begin with "SPI_" has none;
// a missing or non-numeric field counts as 0 (so "SPI_1000.bin" covers nothing).
struct SerialRange {
    int32_t first = 0;
    int32_t last = 0;
};
bool ParseKeyFileName(const std::wstring& name, SerialRange& range);

// The name of the first entry of the folder, in the order the file system lists them, whose
// range covers the serial number; false when none does or the folder cannot be listed.
bool FindKeyFile(const std::wstring& folder, int32_t serial, std::wstring& fileName);

}  // namespace zorvan::cert
