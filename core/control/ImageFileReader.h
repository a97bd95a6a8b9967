#pragma once
// Reads an image or data file whole into a buffer rounded up to 512 bytes, telling an open
// failure from a read failure (the loaders word them differently).
#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/Files.h"

namespace zorvan {

enum class FileReadResult {
    kOk,
    kOpenFailed,  // missing, unreadable, or not a regular file (the problem tells)
    kTooLarge,    // larger than the kind allows; nothing was read
    kAllocationFailed,
    kReadFailed,  // the file fell short of its size
};

inline constexpr uint32_t kImageAllocationUnit = 512;

struct ImageFileRead {
    FileReadResult result = FileReadResult::kOk;
    platform::FileProblem problem;  // kOpenFailed: why it did not open
    uint64_t fileSize = 0;          // kTooLarge: the size found
};

// Only a regular file of at most maxBytes (below 2 GiB) is read. On success image holds the
// file followed by zero bytes up to the next multiple of 512 and fileLength the file's
// length. On failure image is empty and fileLength 0.
ImageFileRead ReadImageFile(const std::wstring& path, uint32_t maxBytes,
                            std::vector<uint8_t>& image, uint32_t& fileLength);

}  // namespace zorvan
