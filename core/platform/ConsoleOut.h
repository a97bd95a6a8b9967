#pragma once
// Console output with the Windows text attributes the console program uses. The
// attributes become ANSI colours when standard output is a terminal (or CLICOLOR_FORCE
// asks for them) and plain text otherwise; NO_COLOR switches colours off.
#include <cstdint>
#include <string>

namespace zorvan::platform {

inline constexpr uint16_t kAttrNormal = 0x07;
inline constexpr uint16_t kAttrBanner = 0x0C;
inline constexpr uint16_t kAttrWarning = 0xE9;
inline constexpr uint16_t kAttrSuccess = 0xA9;

void SetTextAttribute(uint16_t attribute);
// Writes the text as UTF-8 to standard output and flushes it (progress rewrites in place).
void Print(const std::wstring& text);
// Writes the text as UTF-8 to standard error, without colours.
void PrintError(const std::wstring& text);

// The escape sequence an attribute gives (empty when colours are off); for tests.
std::string AttributeSequence(uint16_t attribute);
bool ColoursEnabled();

}  // namespace zorvan::platform
