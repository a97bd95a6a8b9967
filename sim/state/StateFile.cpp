#include "sim/state/StateFile.h"

#include <cstring>

#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/chip/Crc.h"
#include "sim/chip/Otp.h"
#include "sim/state/AtomicFile.h"

namespace zorvan::sim {
namespace {

constexpr uint8_t kMagic[8] = {'Z', 'V', 'C', 'H', 'I', 'P', 'S', 'T'};
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kChipSectionSize = 8;
constexpr uint8_t kFlagSecurityFirmware = 0x01;

constexpr char kTagChip[4] = {'C', 'H', 'I', 'P'};
constexpr char kTagOtp[4] = {'O', 'T', 'P', ' '};
constexpr char kTagFlash[4] = {'F', 'L', 'S', 'H'};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutSection(std::vector<uint8_t>& out, const char (&tag)[4], const uint8_t* data,
                size_t size) {
    out.insert(out.end(), tag, tag + 4);
    Put32(out, static_cast<uint32_t>(size));
    out.insert(out.end(), data, data + size);
}

bool SameTag(const uint8_t* p, const char (&tag)[4]) { return std::memcmp(p, tag, 4) == 0; }

std::wstring Damaged(const std::wstring& path, const wchar_t* what) {
    return Format(L"The virtual chip state \"%s\" is damaged (%s); it was not loaded.", path.c_str(),
                  what);
}

}  // namespace

std::vector<uint8_t> SerializeState(const ChipState& state) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.reserve(kHeaderSize + 3 * 8 + kChipSectionSize + state.otp.size() + state.flash.size() + 4);
    Put32(out, kStateFormatVersion);
    Put32(out, 3);
    const uint8_t chip[kChipSectionSize] = {
        static_cast<uint8_t>(state.family), state.hwRevision, static_cast<uint8_t>(state.mode),
        static_cast<uint8_t>(state.securityFirmwareRunning ? kFlagSecurityFirmware : 0), 0, 0, 0, 0};
    PutSection(out, kTagChip, chip, sizeof chip);
    PutSection(out, kTagOtp, state.otp.data(), state.otp.size());
    PutSection(out, kTagFlash, state.flash.data(), state.flash.size());
    Put32(out, Crc32(out.data(), out.size()));
    return out;
}

std::optional<ChipState> ParseState(const std::vector<uint8_t>& bytes, const std::wstring& path,
                                    std::wstring& error) {
    if (bytes.size() < kHeaderSize + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = Format(L"\"%s\" is not a virtual chip state file.", path.c_str());
        return std::nullopt;
    }
    const size_t end = bytes.size() - 4;
    if (Crc32(bytes.data(), end) != Get32(bytes.data() + end)) {
        error = Damaged(path, L"checksum mismatch");
        return std::nullopt;
    }
    const uint32_t version = Get32(bytes.data() + 8);
    if (version != kStateFormatVersion) {
        error = Format(L"The virtual chip state \"%s\" has format version %u; this program reads "
                       L"version %u.",
                       path.c_str(), version, kStateFormatVersion);
        return std::nullopt;
    }

    const auto damaged = [&](const wchar_t* what) {
        error = Damaged(path, what);
        return std::optional<ChipState>();
    };
    ChipState state;
    bool haveChip = false;
    bool haveOtp = false;
    bool haveFlash = false;
    const uint32_t sections = Get32(bytes.data() + 12);
    size_t at = kHeaderSize;
    for (uint32_t i = 0; i < sections; ++i) {
        if (end - at < 8) {
            return damaged(L"a section runs past the end");
        }
        const uint8_t* tag = bytes.data() + at;
        const uint32_t size = Get32(bytes.data() + at + 4);
        at += 8;
        if (end - at < size) {
            return damaged(L"a section runs past the end");
        }
        const uint8_t* data = bytes.data() + at;
        at += size;
        if (SameTag(tag, kTagChip)) {
            if (haveChip || size != kChipSectionSize) {
                return damaged(L"bad chip section");
            }
            if (!IsKnownFamilyCode(data[0])) {
                return damaged(L"unknown chip family");
            }
            if (data[2] > static_cast<uint8_t>(ChipMode::Application)) {
                return damaged(L"unknown chip mode");
            }
            state.family = static_cast<ChipFamily>(data[0]);
            state.hwRevision = data[1];
            state.mode = static_cast<ChipMode>(data[2]);
            state.securityFirmwareRunning = (data[3] & kFlagSecurityFirmware) != 0;
            haveChip = true;
        } else if (SameTag(tag, kTagOtp)) {
            if (haveOtp || size != kOtpSize) {
                return damaged(L"bad OTP section");
            }
            state.otp.assign(data, data + size);
            haveOtp = true;
        } else if (SameTag(tag, kTagFlash)) {
            if (haveFlash || size != kFlashSize) {
                return damaged(L"bad flash section");
            }
            state.flash.assign(data, data + size);
            haveFlash = true;
        } else {
            return damaged(L"unknown section");
        }
    }
    if (at != end) {
        return damaged(L"bytes after the last section");
    }
    if (!haveChip || !haveOtp || !haveFlash) {
        return damaged(L"a section is missing");
    }
    return state;
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
