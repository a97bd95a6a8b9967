#pragma once
// Reads an image or data file whole into a buffer rounded up to 512 bytes, telling an open
// failure from a read failure (the loaders word them differently).
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan {

enum class FileReadResult {
    kOk,
    kOpenFailed,
    kAllocationFailed,
    kReadFailed,  // includes a length that cannot be determined or exceeds 32-bit counts
};

inline constexpr uint32_t kImageAllocationUnit = 512;
// The largest file whose rounded length still fits the signed 32-bit length members.
inline constexpr uint32_t kMaxImageFileLength = 0x7FFFFFFFu - (kImageAllocationUnit - 1);

// On success image holds the file followed by zero bytes up to the next multiple of 512 and
// fileLength the file's length. On failure image is empty and fileLength 0.
FileReadResult ReadImageFile(const std::wstring& path, std::vector<uint8_t>& image,
                             uint32_t& fileLength);

}  // namespace zorvan
