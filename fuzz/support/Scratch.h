#pragma once
// A folder of the fuzzing process's own for the files a target hands to the code under test
// (removed when the process ends).
#include <cstdint>
#include <span>
#include <string>

namespace zorvan::fuzz {

// The folder, with a trailing '/'.
const std::string& ScratchFolder();
// Writes the file `name` in the folder (replacing it) and returns its path.
std::wstring WriteScratchFile(const std::string& name, std::span<const uint8_t> bytes);

}  // namespace zorvan::fuzz
