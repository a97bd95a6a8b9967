#include "sim/state/StateStore.h"

#include <optional>

#include "core/platform/Text.h"
#include "sim/state/StateFile.h"

namespace zorvan::sim {
namespace {

constexpr uint64_t kFoldAfterBytes = 1u << 20;

std::wstring InUse(const std::wstring& path) {
    return Format(L"The virtual chip state \"%s\" is in use by another program; it was not loaded.",
                  path.c_str());
}

std::wstring NotRegular(const std::wstring& path) {
    return Format(L"The virtual chip state \"%s\" is not a regular file; it was not loaded.",
                  path.c_str());
}

std::wstring Refused(const wchar_t* what, const std::wstring& path, const std::wstring& reason) {
    return Format(L"Cannot %s the virtual chip state \"%s\" (%s).", what, path.c_str(),
                  reason.c_str());
}

// Why an open that did not lock the file cannot go on; `verb` says what the caller wanted.
std::wstring OpenRefusal(platform::LockOutcome outcome, const wchar_t* verb,
                         const std::wstring& path, const std::wstring& reason) {
    switch (outcome) {
        case platform::LockOutcome::kBusy:
            return InUse(path);
        case platform::LockOutcome::kNotRegular:
            return NotRegular(path);
        default:
            return Refused(verb, path, reason);
    }
}

}  // namespace

std::unique_ptr<StateStore> StateStore::OpenForRun(const std::wstring& path, const ChipState& fresh,
                                                   ChipState& state, std::wstring& error) {
    std::unique_ptr<StateStore> store(new StateStore(path));
    platform::LockOutcome opened = store->file_.Open(path, true);
    if (opened == platform::LockOutcome::kMissing) {
        opened = store->file_.CreateNew(path, SerializeState(fresh));
        if (opened == platform::LockOutcome::kExists) {
            opened = store->file_.Open(path, true);  // another program made it first
        } else if (opened == platform::LockOutcome::kFailed) {
            error = Refused(L"create", path, store->file_.Reason());
            return nullptr;
        }
    }
    if (opened != platform::LockOutcome::kLocked) {
        error = OpenRefusal(opened, L"write", path, store->file_.Reason());
        return nullptr;
    }
    if (!store->Load(state, true, error)) {
        return nullptr;
    }
    return store;
}

std::unique_ptr<StateStore> StateStore::OpenToInspect(const std::wstring& path, ChipState& state,
                                                      std::wstring& error) {
    std::unique_ptr<StateStore> store(new StateStore(path));
    const platform::LockOutcome opened = store->file_.Open(path, false);
    if (opened != platform::LockOutcome::kLocked) {
        error = OpenRefusal(opened, L"read", path, store->file_.Reason());
        return nullptr;
    }
    if (!store->Load(state, false, error)) {
        return nullptr;
    }
    return store;
}

std::unique_ptr<StateStore> StateStore::OpenToReplace(const std::wstring& path,
                                                      std::wstring& error) {
    std::unique_ptr<StateStore> store(new StateStore(path));
    const platform::LockOutcome opened = store->file_.Open(path, false);
    if (opened == platform::LockOutcome::kLocked || opened == platform::LockOutcome::kMissing) {
        return store;
    }
    error = OpenRefusal(opened, L"write", path, store->file_.Reason());
    return nullptr;
}

bool StateStore::Load(ChipState& state, bool writable, std::wstring& error) {
    const std::optional<uint64_t> size = file_.Size();
    if (!size) {
        error = Refused(L"read", path_, file_.Reason());
        return false;
    }
    if (*size > kStateFileSizeLimit) {
        error = DamagedStateMessage(path_, L"larger than a chip state can be");
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(*size));
    if (!file_.ReadAt(0, bytes.data(), bytes.size())) {
        error = Refused(L"read", path_, file_.Reason());
        return false;
    }
    std::optional<StateFileContent> content = ReadStateFile(bytes, path_, error);
    if (!content) {
        return false;
    }
    state = std::move(content->state);
    end_ = content->intactSize;
    if (!writable || content->snapshotCurrent) {
        return true;
    }
    // Records left by a run that ended early (or an older format): start from one snapshot,
    // and never append after a record that was cut short.
    if ((*size > end_ && !file_.Truncate(end_)) || !Fold(state)) {
        error = Refused(L"write", path_, file_.Reason());
        return false;
    }
    return true;
}

void StateStore::FlashChanged(const ChipState& state, uint32_t offset, uint32_t count) {
    record_.clear();
    AppendFlashRecord(record_, state, offset, count);
    Append();
    if (!lost_ && end_ - kStateSnapshotSize > kFoldAfterBytes) {
        Fold(state);
    }
}

void StateStore::ChipChanged(const ChipState& state) {
    record_.clear();
    AppendChipRecord(record_, state);
    Append();
}

void StateStore::Append() {
    if (lost_ || record_.empty()) {
        return;
    }
    if (file_.WriteAt(end_, record_.data(), record_.size())) {
        end_ += record_.size();
        return;
    }
    // Later changes must not follow a missing one: the file stays the chip as it was.
    lost_ = true;
    lostReason_ = file_.Reason();
    file_.Truncate(end_);
}

bool StateStore::Fold(const ChipState& state) {
    if (lost_ || !file_.IsOpen()) {
        return false;
    }
    if (end_ == kStateSnapshotSize) {
        return true;  // nothing since the last fold
    }
    const std::vector<uint8_t> snapshot = SerializeState(state);
    record_.clear();
    AppendCheckpointRecord(record_, snapshot);
    if (!file_.WriteAt(end_, record_.data(), record_.size())) {
        if (!file_.Truncate(end_)) {
            lost_ = true;  // a cut-short record would sit between changes
            lostReason_ = file_.Reason();
        }
        return false;
    }
    end_ += record_.size();
    // From here on a crash leaves a snapshot that the records and the checkpoint mend.
    if (!file_.WriteAt(0, snapshot.data(), snapshot.size()) || !file_.Truncate(kStateSnapshotSize)) {
        return false;
    }
    end_ = kStateSnapshotSize;
    return true;
}

bool StateStore::Kept(std::wstring& error) const {
    if (lost_) {
        error = Format(L"Virtual chip: saving its state to \"%s\" failed (%s); the chip keeps only "
                       L"what it did before that, so this result does not hold.",
                       path_.c_str(), lostReason_.c_str());
        return false;
    }
    if (!file_.StillAt(path_)) {
        error = Format(L"Virtual chip: its state file \"%s\" was removed or replaced while the "
                       L"chip ran, so it does not hold this run and this result does not hold.",
                       path_.c_str());
        return false;
    }
    return true;
}

bool StateStore::Finish(const ChipState& state, std::wstring& error) {
    if (Fold(state)) {
        file_.Flush();
    }
    return Kept(error);
}

}  // namespace zorvan::sim
