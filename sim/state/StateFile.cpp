#include "sim/state/StateFile.h"

#include <algorithm>
#include <cstring>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/chip/Crc.h"
#include "sim/chip/LittleEndian.h"
#include "sim/chip/Otp.h"
#include "sim/state/AtomicFile.h"

namespace zorvan::sim {
namespace {

constexpr uint8_t kMagic[8] = {'Z', 'V', 'C', 'H', 'I', 'P', 'S', 'T'};
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kSectionCount = 3;
constexpr uint32_t kChipSectionSize = 8;
constexpr uint8_t kFlagSecurityFirmware = 0x01;

using Tag = char[4];
constexpr Tag kTagChip = {'C', 'H', 'I', 'P'};
constexpr Tag kTagOtp = {'O', 'T', 'P', ' '};
constexpr Tag kTagFlash = {'F', 'L', 'S', 'H'};
constexpr Tag kTagFill = {'F', 'I', 'L', 'L'};
constexpr Tag kTagCheckpoint = {'C', 'K', 'P', 'T'};

// The snapshot's fixed layout: where each section's bytes lie.
struct Section {
    const char* tag;
    uint32_t at;  // its bytes, after the tag and the length
    uint32_t size;
};
constexpr Section kChip = {kTagChip, kHeaderSize + 8, kChipSectionSize};
constexpr Section kOtp = {kTagOtp, kChip.at + kChip.size + 8, kOtpSize};
constexpr Section kFlash = {kTagFlash, kOtp.at + kOtp.size + 8, kFlashSize};
constexpr Section kSections[] = {kChip, kOtp, kFlash};
constexpr uint32_t kCrcAt = kFlash.at + kFlash.size;
static_assert(kCrcAt + 4 == kStateSnapshotSize);

constexpr size_t kRecordOverhead = 12;  // kind, length, CRC
constexpr uint32_t kFillPayload = 13;

bool SameTag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[4];
    sim::Put32(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

const Section* SectionTagged(const uint8_t* tag) {
    for (const Section& s : kSections) {
        if (SameTag(tag, s.tag)) {
            return &s;
        }
    }
    return nullptr;
}

// Opens a record in `out`; returns where it starts, for CloseRecord.
size_t OpenRecord(std::vector<uint8_t>& out, const char* kind, uint32_t payload) {
    const size_t start = out.size();
    out.reserve(start + kRecordOverhead + payload);
    PutTag(out, kind);
    Put32(out, payload);
    return start;
}

void CloseRecord(std::vector<uint8_t>& out, size_t start) {
    Put32(out, Crc32(out.data() + start, out.size() - start));
}

void AppendBytesRecord(std::vector<uint8_t>& out, const Section& section, uint32_t offset,
                       const uint8_t* data, uint32_t count) {
    const size_t start = OpenRecord(out, section.tag, 4 + count);
    Put32(out, offset);
    out.insert(out.end(), data, data + count);
    CloseRecord(out, start);
}

uint32_t SectionsCrc(const uint8_t* snapshot) {
    return Crc32(snapshot + kHeaderSize, kCrcAt - kHeaderSize);
}

}  // namespace

std::wstring DamagedStateMessage(const std::wstring& path, const wchar_t* what) {
    return Format(L"The virtual chip state \"%s\" is damaged (%s); it was not loaded.", path.c_str(),
                  what);
}

std::vector<uint8_t> SerializeState(const ChipState& state) {
    std::vector<uint8_t> out(kStateSnapshotSize, 0);
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    sim::Put32(out.data() + 8, kStateFormatVersion);
    sim::Put32(out.data() + 12, kSectionCount);
    for (const Section& s : kSections) {
        std::memcpy(out.data() + s.at - 8, s.tag, 4);
        sim::Put32(out.data() + s.at - 4, s.size);
    }
    uint8_t* chip = out.data() + kChip.at;
    chip[0] = static_cast<uint8_t>(state.family);
    chip[1] = state.hwRevision;
    chip[2] = static_cast<uint8_t>(state.mode);
    chip[3] = state.securityFirmwareRunning ? kFlagSecurityFirmware : 0;
    std::copy_n(state.otp.begin(), std::min<size_t>(state.otp.size(), kOtp.size),
                out.begin() + kOtp.at);
    std::copy_n(state.flash.begin(), std::min<size_t>(state.flash.size(), kFlash.size),
                out.begin() + kFlash.at);
    sim::Put32(out.data() + kCrcAt, Crc32(out.data(), kCrcAt));
    return out;
}

void AppendChipRecord(std::vector<uint8_t>& out, const ChipState& state) {
    const std::vector<uint8_t> snapshotChip = {
        static_cast<uint8_t>(state.family), state.hwRevision, static_cast<uint8_t>(state.mode),
        static_cast<uint8_t>(state.securityFirmwareRunning ? kFlagSecurityFirmware : 0), 0, 0, 0, 0};
    AppendBytesRecord(out, kChip, 0, snapshotChip.data(), kChipSectionSize);
}

void AppendFlashRecord(std::vector<uint8_t>& out, const ChipState& state, uint32_t offset,
                       uint32_t count) {
    if (offset > state.flash.size() || count > state.flash.size() - offset || count == 0) {
        return;
    }
    const uint8_t* data = state.flash.data() + offset;
    const bool uniform = std::all_of(data, data + count, [&](uint8_t b) { return b == data[0]; });
    if (!uniform || count <= kFillPayload) {
        AppendBytesRecord(out, kFlash, offset, data, count);
        return;
    }
    const size_t start = OpenRecord(out, kTagFill, kFillPayload);
    PutTag(out, kTagFlash);
    Put32(out, offset);
    Put32(out, count);
    out.push_back(data[0]);
    CloseRecord(out, start);
}

void AppendCheckpointRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& snapshot) {
    const size_t start = OpenRecord(out, kTagCheckpoint, 4);
    Put32(out, snapshot.size() == kStateSnapshotSize ? SectionsCrc(snapshot.data()) : 0);
    CloseRecord(out, start);
}

std::optional<StateFileContent> ReadStateFile(const std::vector<uint8_t>& bytes,
                                              const std::wstring& path, std::wstring& error) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = Format(L"\"%s\" is not a virtual chip state file.", path.c_str());
        return std::nullopt;
    }
    const auto damaged = [&](const wchar_t* what) {
        error = DamagedStateMessage(path, what);
        return std::optional<StateFileContent>();
    };
    const uint32_t version = Get32(bytes.data() + 8);
    if (version != 1 && version != kStateFormatVersion) {
        error = Format(L"The virtual chip state \"%s\" has format version %u; this program reads "
                       L"versions 1 and %u.",
                       path.c_str(), version, kStateFormatVersion);
        return std::nullopt;
    }
    if (bytes.size() < kStateSnapshotSize) {
        return damaged(L"shorter than a chip state");
    }
    bool layoutOk = Get32(bytes.data() + 12) == kSectionCount;
    for (const Section& s : kSections) {
        layoutOk = layoutOk && SameTag(bytes.data() + s.at - 8, s.tag) &&
                   Get32(bytes.data() + s.at - 4) == s.size;
    }
    if (!layoutOk) {
        return damaged(L"unexpected sections");
    }

    std::vector<uint8_t> snapshot(bytes.begin(), bytes.begin() + kStateSnapshotSize);
    const bool snapshotIntact = Crc32(snapshot.data(), kCrcAt) == Get32(snapshot.data() + kCrcAt);
    bool checkpointConfirms = false;
    size_t at = kStateSnapshotSize;
    while (bytes.size() - at >= 8) {
        const uint8_t* kind = bytes.data() + at;
        const uint32_t length = Get32(kind + 4);
        const Section* section = SectionTagged(kind);
        const bool fill = SameTag(kind, kTagFill);
        const bool checkpoint = SameTag(kind, kTagCheckpoint);
        if (section == nullptr && !fill && !checkpoint) {
            return damaged(L"unknown change record");
        }
        const uint32_t longest = section != nullptr ? 4 + section->size : fill ? kFillPayload : 4;
        if (length > longest || (section != nullptr && length < 4) ||
            (!section && length != longest)) {
            return damaged(L"a change record of the wrong size");
        }
        if (bytes.size() - at < kRecordOverhead + length) {
            break;  // cut short as the program died: that change did not happen
        }
        const uint8_t* payload = kind + 8;
        if (Crc32(kind, 8 + length) != Get32(payload + length)) {
            return damaged(L"change record checksum mismatch");
        }
        if (checkpoint) {
            checkpointConfirms = SectionsCrc(snapshot.data()) == Get32(payload);
        } else {
            const Section* target = section != nullptr ? section : SectionTagged(payload);
            const uint32_t offset = Get32(payload + (fill ? 4 : 0));
            const uint32_t count = fill ? Get32(payload + 8) : length - 4;
            if (target == nullptr || offset > target->size || count > target->size - offset) {
                return damaged(L"a change record outside its section");
            }
            uint8_t* into = snapshot.data() + target->at + offset;
            if (fill) {
                std::memset(into, payload[12], count);
            } else {
                std::memcpy(into, payload + 4, count);
            }
        }
        at += kRecordOverhead + length;
    }
    if (!snapshotIntact && !checkpointConfirms) {
        return damaged(L"checksum mismatch");
    }

    const uint8_t* chip = snapshot.data() + kChip.at;
    if (!IsKnownFamilyCode(chip[0])) {
        return damaged(L"unknown chip family");
    }
    if (chip[2] > static_cast<uint8_t>(ChipMode::Application)) {
        return damaged(L"unknown chip mode");
    }
    StateFileContent content;
    ChipState& state = content.state;
    state.family = static_cast<ChipFamily>(chip[0]);
    state.hwRevision = chip[1];
    state.mode = static_cast<ChipMode>(chip[2]);
    state.securityFirmwareRunning = (chip[3] & kFlagSecurityFirmware) != 0;
    state.otp.assign(snapshot.begin() + kOtp.at, snapshot.begin() + kOtp.at + kOtp.size);
    state.flash.assign(snapshot.begin() + kFlash.at, snapshot.begin() + kFlash.at + kFlash.size);
    content.intactSize = at;
    content.snapshotCurrent =
        version == kStateFormatVersion && snapshotIntact && bytes.size() == kStateSnapshotSize;
    return content;
}

std::optional<ChipState> ParseState(const std::vector<uint8_t>& bytes, const std::wstring& path,
                                    std::wstring& error) {
    std::optional<StateFileContent> content = ReadStateFile(bytes, path, error);
    if (!content) {
        return std::nullopt;
    }
    return std::move(content->state);
}

std::optional<ChipState> LoadState(const std::wstring& path, std::wstring& error) {
    const platform::FileContent bytes = platform::ReadWholeFile(path, 4 * 1024 * 1024);
    if (!bytes) {
        error = Format(L"Cannot read the virtual chip state \"%s\".", path.c_str());
        return std::nullopt;
    }
    return ParseState(*bytes, path, error);
}

bool SaveState(const std::wstring& path, const ChipState& state, std::wstring& error) {
    if (state.otp.size() != kOtpSize || state.flash.size() != kFlashSize) {
        error = Format(L"The virtual chip state for \"%s\" is incomplete; nothing was written.",
                       path.c_str());
        return false;
    }
    if (!WriteFileAtomically(path, SerializeState(state))) {
        error = Format(L"Cannot write the virtual chip state \"%s\".", path.c_str());
        return false;
    }
    return true;
}

}  // namespace zorvan::sim
