#pragma once
// The state file of a chip in use. It is held under its lock from the start of a run to
// its end, so two virtual PCs never share one chip unnoticed, and every change the chip
// makes is appended to it the moment it is made (sim/state/StateFile.h): a program killed
// at any point leaves the chip as far as it got. The records are folded into the snapshot
// when the file is opened, when a run saves, and whenever they pass 1 MiB, so the file
// stays below kStateFileSizeLimit.
//
// A change that cannot be written (a full disk, a file size limit) ends the writing: the
// file keeps the chip as it was before that change, and Kept() reports the loss from then on.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/LockedFile.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/StateChanges.h"

namespace zorvan::sim {

class StateStore final : public StateChanges {
public:
    // For a run of the chip: read and written; a missing file is created holding `fresh`.
    // The chip the file holds goes to `state`. Null with `error` set when the file cannot
    // be used (damaged, in use, not a regular file, not writable, not creatable).
    static std::unique_ptr<StateStore> OpenForRun(const std::wstring& path, const ChipState& fresh,
                                                  ChipState& state, std::wstring& error);
    // To look at the chip only: the file must exist; it is locked but never written.
    static std::unique_ptr<StateStore> OpenToInspect(const std::wstring& path, ChipState& state,
                                                     std::wstring& error);
    // To put a new file in its place: whatever is there (if anything) is locked, not read.
    static std::unique_ptr<StateStore> OpenToReplace(const std::wstring& path,
                                                     std::wstring& error);
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;

    void FlashChanged(const ChipState& state, uint32_t offset, uint32_t count) override;
    void ChipChanged(const ChipState& state) override;

    // Folds the records into the snapshot of `state`, which must be the chip the file
    // describes. False when it could not (the file still holds the chip whole).
    bool Fold(const ChipState& state);
    // True when the file holds every change so far; otherwise false with the message.
    bool Kept(std::wstring& error) const;
    // The end of a run or a save point: folds, flushes to disk and tells whether every
    // change was kept.
    bool Finish(const ChipState& state, std::wstring& error);

    const std::wstring& Path() const { return path_; }

private:
    explicit StateStore(std::wstring path) : path_(std::move(path)) {}
    bool Load(ChipState& state, bool writable, std::wstring& error);
    void Append();

    std::wstring path_;
    platform::LockedFile file_;
    uint64_t end_ = 0;  // where the next record goes
    bool lost_ = false;
    std::wstring lostReason_;
    std::vector<uint8_t> record_;
};

}  // namespace zorvan::sim
