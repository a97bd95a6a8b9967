#include "core/platform/PrivateProfile.h"

#include "core/platform/Files.h"
#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

// UTF-16 code units (either byte order) to wide text; a lone surrogate becomes U+FFFD and
// an odd last byte is ignored.
std::wstring DecodeUtf16(const std::vector<uint8_t>& bytes, size_t start, bool bigEndian) {
    std::wstring out;
    const size_t units = (bytes.size() - start) / 2;
    out.reserve(units);
    auto unit = [&](size_t i) -> uint32_t {
        const uint32_t a = bytes[start + 2 * i];
        const uint32_t b = bytes[start + 2 * i + 1];
        return bigEndian ? (a << 8) | b : (b << 8) | a;
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            const uint32_t lo = unit(++i);
            c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0x10000) {
                c -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

std::wstring Decode(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()) + 3,
                                         bytes.size() - 3));
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return DecodeUtf16(bytes, 2, false);
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return DecodeUtf16(bytes, 2, true);
    }
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The reader's notion of white space: blanks, tabs, the line-end characters and the old
// end-of-file mark (0x1A) that some editors leave behind.
bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' ||
           c == 0x1A;
}

std::wstring Trim(std::wstring_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return std::wstring(text.substr(begin, end - begin));
}

// One pair of matching enclosing quotes, single or double, is dropped.
std::wstring StripQuotes(const std::wstring& value) {
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

// Integer syntax of the Windows reader: leading blanks, a sign, decimal or 0x hexadecimal,
// stopping at the first character that is not a digit. The value wraps modulo 2^32.
int32_t ParseProfileInt(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && text[i] <= L' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    uint32_t base = 10;
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
            break;
        }
        value = value * base + static_cast<uint32_t>(digit);
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

std::optional<PrivateProfile> PrivateProfile::Load(const std::wstring& path, FileProblem* problem) {
    const FileContent bytes = ReadWholeFile(path, kMaxFileBytes);
    if (problem != nullptr) {
        *problem = bytes.problem;
    }
    if (!bytes) {
        return std::nullopt;
    }
    return Parse(*bytes);
}

PrivateProfile PrivateProfile::Parse(const std::vector<uint8_t>& bytes) {
    PrivateProfile profile;
    const std::wstring text = Decode(bytes);
    // Sections of the same name are read as one; until the first header there is none.
    Section* current = nullptr;
    size_t lineStart = 0;
    while (lineStart <= text.size()) {
        size_t lineEnd = text.find(L'\n', lineStart);
        if (lineEnd == std::wstring::npos) {
            lineEnd = text.size();
        }
        const std::wstring line =
            Trim(std::wstring_view(text).substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;

        if (line.empty() || line[0] == L';') {
            continue;
        }
        if (line[0] == L'[') {
            const size_t close = line.rfind(L']');
            if (close == std::wstring::npos) {
                continue;  // not a header; nothing sensible to file it under
            }
            const std::wstring name = Trim(std::wstring_view(line).substr(1, close - 1));
            current = nullptr;
            for (Section& s : profile.sections_) {
                if (EqualsNoCase(s.name, name)) {
                    current = &s;
                    break;
                }
            }
            if (current == nullptr) {
                profile.sections_.push_back(Section{name, {}});
                current = &profile.sections_.back();
            }
            continue;
        }
        const size_t equals = line.find(L'=');
        if (current == nullptr || equals == std::wstring::npos) {
            continue;
        }
        Entry entry{Trim(std::wstring_view(line).substr(0, equals)),
                    Trim(std::wstring_view(line).substr(equals + 1))};
        if (entry.key.empty()) {
            continue;
        }
        bool duplicate = false;
        for (const Entry& e : current->entries) {
            if (EqualsNoCase(e.key, entry.key)) {
                duplicate = true;  // the first one wins
                break;
            }
        }
        if (!duplicate) {
            current->entries.push_back(std::move(entry));
        }
    }
    return profile;
}

std::vector<std::wstring> PrivateProfile::SectionNames() const {
    std::vector<std::wstring> names;
    for (const Section& s : sections_) {
        // An empty name cannot be told apart from the end of a Windows section list.
        if (!s.name.empty()) {
            names.push_back(s.name);
        }
    }
    return names;
}

const PrivateProfile::Entry* PrivateProfile::Find(const std::wstring& section,
                                                  const std::wstring& key) const {
    for (const Section& s : sections_) {
        if (!EqualsNoCase(s.name, section)) {
            continue;
        }
        for (const Entry& e : s.entries) {
            if (EqualsNoCase(e.key, key)) {
                return &e;
            }
        }
        return nullptr;
    }
    return nullptr;
}

int32_t PrivateProfile::GetInt(const std::wstring& section, const std::wstring& key,
                               int32_t fallback) const {
    const Entry* entry = Find(section, key);
    if (entry == nullptr) {
        return fallback;
    }
    const std::wstring value = StripQuotes(entry->value);
    if (value.empty()) {
        return fallback;
    }
    return ParseProfileInt(value);
}

std::wstring PrivateProfile::GetString(const std::wstring& section, const std::wstring& key,
                                       const std::wstring& fallback, size_t maxChars) const {
    const Entry* entry = Find(section, key);
    std::wstring value = entry == nullptr ? fallback : StripQuotes(entry->value);
    if (value.size() > maxChars) {
        value.resize(maxChars);
    }
    return value;
}

bool PrivateProfile::HasKey(const std::wstring& section, const std::wstring& key) const {
    return Find(section, key) != nullptr;
}

}  // namespace zorvan::platform
