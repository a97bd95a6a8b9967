#pragma once
// Reading and replacing depot files by 8-bit path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cert/dal/SecretBytes.h"

namespace zorvan::dal {

// The whole content of a regular file; false when it cannot be opened or read in full, or
// when it is empty.
bool ReadDepotFile(const std::string& path, SecretBytes& content);

// Replaces the file's content through a temporary file beside it, so that a failed write
// leaves the old depot in place.
bool ReplaceDepotFile(const std::string& path, const uint8_t* data, size_t size);

}  // namespace zorvan::dal
