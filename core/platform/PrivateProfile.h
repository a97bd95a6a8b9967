#pragma once
// A reader for INI files that reproduces the Windows private-profile rules the programs
// rely on: names without regard to case, the first of duplicate keys wins, integers and
// strings read as GetPrivateProfileIntW / GetPrivateProfileStringW read them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/Files.h"

namespace zorvan::platform {

class PrivateProfile {
public:
  // A settings file is a few KiB; anything near this is not one.
  static constexpr uint64_t kMaxFileBytes = 4 * 1024 * 1024;

  // Parses a file (UTF-8 with or without BOM, UTF-16LE with BOM; LF or CRLF) of at
  // most kMaxFileBytes. nullopt when the file cannot be read; `problem`, when given,
  // then says why.
  static std::optional<PrivateProfile> Load(const std::wstring& path,
                                            FileProblem* problem = nullptr);
  // Parses text already in memory (same encodings).
  static PrivateProfile Parse(const std::vector<uint8_t>& bytes);

  // Section names in file order.
  std::vector<std::wstring> SectionNames() const;
  // Absent key or empty value: the default. Otherwise leading blanks, an optional sign,
  // decimal or 0x hexadecimal, stopping at the first non-digit; a negative number comes
  // back as its 32-bit pattern.
  int32_t GetInt(const std::wstring& section, const std::wstring& key, int32_t fallback) const;
  // Surrounding blanks and one pair of enclosing quotes removed, cut at maxChars.
  std::wstring GetString(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fallback, size_t maxChars = 511) const;
  bool HasKey(const std::wstring& section, const std::wstring& key) const;

private:
    struct Entry {
        std::wstring key;
        std::wstring value;  // raw, as in the file after '='
    };
    struct Section {
        std::wstring name;
        std::vector<Entry> entries;
    };
    const Entry* Find(const std::wstring& section, const std::wstring& key) const;
    std::vector<Section> sections_;
};

}  // namespace zorvan::platform
