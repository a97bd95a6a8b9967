#include <gtest/gtest.h>

#include "core/platform/Text.h"

namespace zorvan {
namespace {

TEST(Format, ConversionsHaveTheirWindowsMeaning) {
    const std::wstring name = L"NVIDIA: ";
    EXPECT_EQ(Format(L"Graphics adapter: %s\r\n", name.c_str()), L"Graphics adapter: NVIDIA: \r\n");
    EXPECT_EQ(Format(L"%c%c", L'A', static_cast<wchar_t>(0x00E9)), L"A\u00E9");
    EXPECT_EQ(Format(L"%hs|%S", "narrow", "also"), L"narrow|also");
    EXPECT_EQ(Format(L"0x%02X 0x%X %d%%", 0xDu, 0x1234u, -1), L"0x0D 0x1234 -1%");
    EXPECT_EQ(Format(L"%-4s|%5.2s|", L"ab", L"xyz"), L"ab  |   xy|");
}

TEST(Format, LongAndNonAsciiTextIsKeptWhole) {
    const std::wstring long_text(5000, L'x');
    EXPECT_EQ(Format(L"[%s]", long_text.c_str()).size(), 5002u);
    EXPECT_EQ(Format(L"%s", L"\u00FCber \u4E2D"), L"\u00FCber \u4E2D");
}

TEST(Utf8, RoundTripsAndReplacesInvalidBytes) {
    const std::wstring text = L"A\u00E9\u4E2D\U0001F600";
    EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xFF" "b\xC3"), L"a\uFFFDb\uFFFD");
    EXPECT_EQ(FromUtf8("\xC0\x80"), L"\uFFFD\uFFFD");  // overlong
}

}  // namespace
}  // namespace zorvan
