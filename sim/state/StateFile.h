#pragma once
// The virtual chip's state file. Little-endian throughout:
//   0   8  magic "ZVCHIPST"
//   8   4  format version (1)
//   12  4  number of sections
//   16     sections, each: 4-character tag, 4-byte length, that many bytes
//          "CHIP" 8 bytes: family code, hardware revision, mode, flags (bit 0: the
//                 security firmware runs), 4 zero bytes
//          "OTP " the 8 KiB OTP memory
//          "FLSH" the 512 KiB flash
//   end-4  CRC-32 of every byte before it
// A file is taken whole or not at all: any damage (size, magic, version, checksum, a
// missing, repeated, unknown or wrongly sized section, an unknown family or mode) refuses
// it with a message. Saving writes a temporary file beside the target and renames it over
// the target, so a crash leaves the old state or the new one, never a mixture.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/chip/ChipState.h"

namespace zorvan::sim {

inline constexpr uint32_t kStateFormatVersion = 1;

std::vector<uint8_t> SerializeState(const ChipState& state);
// The state in `bytes`; nullopt with `error` set (naming `path`) when it is not a whole,
// intact state.
std::optional<ChipState> ParseState(const std::vector<uint8_t>& bytes, const std::wstring& path,
                                    std::wstring& error);

std::optional<ChipState> LoadState(const std::wstring& path, std::wstring& error);
bool SaveState(const std::wstring& path, const ChipState& state, std::wstring& error);

}  // namespace zorvan::sim
