#pragma once
// Replacing a file's content so that readers see the old content or the new, never part.
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::sim {

// Writes `data` to a temporary file of a unique name in the target's folder, flushes it to
// disk and renames it over `path`. A symbolic link stays (the file it leads to is
// replaced) and the file keeps its mode. False (with the target untouched and no temporary
// left) on failure, and for a target that is not a regular file.
bool WriteFileAtomically(const std::wstring& path, const std::vector<uint8_t>& data);

}  // namespace zorvan::sim
