#pragma once
// Reading and replacing depot files by 8-bit path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cert/dal/SecretBytes.h"
#include "core/platform/Files.h"

namespace zorvan::dal {

// A key file of 422-byte records for some thousands of chips is a few MiB at most; a
// larger "depot" is a mistake, and is refused before anything is read.
inline constexpr uint64_t kMaxDepotFileBytes = 8 * 1024 * 1024;

// The whole content of a regular file of at most kMaxDepotFileBytes; false when it cannot
// be opened or read in full, or when it is empty. `problem`, when given, says why (kNone
// for an empty file).
bool ReadDepotFile(const std::string& path, SecretBytes& content,
                   platform::FileProblem* problem = nullptr);

// Replaces the file's content atomically (a failed write leaves the old depot in place); a
// path that leads to anything but a regular file is refused and left alone. The problem
// says why it failed (kNone on success).
platform::FileProblem ReplaceDepotFile(const std::string& path, const uint8_t* data, size_t size);

}  // namespace zorvan::dal
