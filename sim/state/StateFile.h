#pragma once
// The virtual chip's state file: a snapshot of the chip followed by the records of the
// changes the chip has made since, each appended as the chip makes it, so a program that
// dies at any moment leaves the chip exactly as far as it got. Little-endian throughout.
//
// Snapshot (always 532532 bytes, in this order):
//   0   8  magic "ZVCHIPST"
//   8   4  format version (2; version 1 files, a snapshot alone, are read too)
//   12  4  number of sections (3)
//   16     sections, each: 4-character tag, 4-byte length, that many bytes
//          "CHIP" 8 bytes: family code, hardware revision, mode, flags (bit 0: the
//                 security firmware runs), 4 zero bytes
//          "OTP " the 8 KiB OTP memory
//          "FLSH" the 512 KiB flash
//   end-4  CRC-32 of every snapshot byte before it
// Change records, back to back up to the end of the file, each: 4-character kind, 4-byte
// payload length, the payload, CRC-32 of kind, length and payload.
//   "CHIP", "OTP ", "FLSH"  4-byte offset, then bytes: the section holds them from there on
//   "FILL"                  section tag, 4-byte offset, 4-byte count, 1 byte: that many
//                           bytes of the section hold that value (an erase)
//   "CKPT"                  CRC-32 of the sections (bytes 16 up to the snapshot's CRC) as
//                           the records before it leave them
// Every record says what bytes now hold, never how they changed, so replaying records over
// a state that already has them changes nothing. That makes folding the records into the
// snapshot safe in place: the writer appends CKPT, writes the new snapshot over the old one
// and cuts the records off. A snapshot cut short by a crash mixes old and new bytes, and
// the records before CKPT set every byte that differs; CKPT then checks the result.
//
// A file is taken whole or not at all: wrong magic or version, a short or wrongly laid out
// snapshot, a snapshot whose checksum fails unless the last CKPT confirms the replay, an
// unknown or oversized record, a record whose checksum fails or that reaches outside its
// section, an unknown family or mode: each refuses the file with a message. Only the last
// record may be cut short (the program died while appending it): that change did not
// happen.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/chip/ChipState.h"

namespace zorvan::sim {

inline constexpr uint32_t kStateFormatVersion = 2;
inline constexpr size_t kStateSnapshotSize = 532532;
// No state file is larger: a snapshot and the records of one fold (see StateStore).
inline constexpr size_t kStateFileSizeLimit = 4u << 20;

// The snapshot alone: the file as it is right after it was written whole.
std::vector<uint8_t> SerializeState(const ChipState& state);

struct StateFileContent {
    ChipState state;
    size_t intactSize = 0;         // up to the end of the last whole record
    bool snapshotCurrent = false;  // the file is exactly a current-version snapshot
};

// The state in `bytes`; nullopt with `error` set (naming `path`) when it is not a whole,
// intact state.
std::optional<StateFileContent> ReadStateFile(const std::vector<uint8_t>& bytes,
                                              const std::wstring& path, std::wstring& error);
std::optional<ChipState> ParseState(const std::vector<uint8_t>& bytes, const std::wstring& path,
                                    std::wstring& error);

// Change records, appended to `out`.
void AppendChipRecord(std::vector<uint8_t>& out, const ChipState& state);
// The flash bytes [offset, offset + count) as `state` holds them; a run of one value (an
// erase) as FILL.
void AppendFlashRecord(std::vector<uint8_t>& out, const ChipState& state, uint32_t offset,
                       uint32_t count);
// Confirms `snapshot` (from SerializeState) as the state the records before it give.
void AppendCheckpointRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& snapshot);

// A file read or written whole, without its lock (tests and file-to-file work; a program
// that runs the chip goes through StateStore).
std::optional<ChipState> LoadState(const std::wstring& path, std::wstring& error);
bool SaveState(const std::wstring& path, const ChipState& state, std::wstring& error);

// The damage message for the file at `path`.
std::wstring DamagedStateMessage(const std::wstring& path, const wchar_t* what);

}  // namespace zorvan::sim
