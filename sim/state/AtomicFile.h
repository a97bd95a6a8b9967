#pragma once
// Replacing a file's content so that readers see the old content or the new, never part.
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::sim {

// Writes `data` to a temporary file in the target's folder, flushes it to disk and renames
// it over `path`. False (with the target untouched and no temporary left) on failure.
bool WriteFileAtomically(const std::wstring& path, const std::vector<uint8_t>& data);

}  // namespace zorvan::sim
