#pragma once
// Wide text as the programs use it: every message is a wide string built from a
// printf-style format whose conversions have their Windows meaning.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorvan {

// Formats with Windows wide-printf semantics on every platform: "%s" and "%c" take a
// wide string / wide character, "%hs"/"%S" a narrow string. Never fails; an
// unformattable conversion yields the text up to it.
std::wstring Format(const wchar_t* format, ...);
std::wstring FormatV(const wchar_t* format, std::va_list args);

// UTF-8 <-> wide text without any locale; invalid input becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// ASCII/Latin-1 bytes as wide text (device identification strings and the like).
std::wstring WidenBytes(const uint8_t* bytes, size_t count);

// Case-insensitive comparison for ASCII letters (option names, INI section and key names).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace zorvan
