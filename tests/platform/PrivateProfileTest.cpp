#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform/PrivateProfile.h"

namespace zorvan::platform {
namespace {

PrivateProfile FromText(const std::string& text) {
    return PrivateProfile::Parse(std::vector<uint8_t>(text.begin(), text.end()));
}

struct IntCase {
    const char* what;
    const char* file;
    const wchar_t* section;
    const wchar_t* key;
    int32_t expected;  // read with a fallback of -1
};

TEST(PrivateProfile, ReadsIntegersAsTheWindowsReaderDoes) {
    const IntCase cases[] = {
        {"decimal", "[S]\nk=1500\n", L"S", L"k", 1500},
        {"hexadecimal", "[S]\nk=0x1800\n", L"S", L"k", 0x1800},
        {"upper-case hex prefix and digits", "[S]\nk=0XaBc\n", L"S", L"k", 0xABC},
        {"stops at the first non-digit", "[S]\nk=55zz\n", L"S", L"k", 55},
        {"no digit at all reads 0", "[S]\nk=abc\n", L"S", L"k", 0},
        {"hex prefix without digits reads 0", "[S]\nk=0x\n", L"S", L"k", 0},
        {"decimal stops at a hex letter", "[S]\nk=12ab\n", L"S", L"k", 12},
        {"leading blanks and sign", "[S]\nk=   -7\n", L"S", L"k", -7},
        {"plus sign", "[S]\nk=+42\n", L"S", L"k", 42},
        {"negative hexadecimal", "[S]\nk=-0x10\n", L"S", L"k", -16},
        {"32-bit pattern of a large number", "[S]\nk=4294967295\n", L"S", L"k", -1},
        {"0xFFFFFFFF is -1", "[S]\nk=0xFFFFFFFF\n", L"S", L"k", -1},
        {"wraps modulo 2^32", "[S]\nk=4294967297\n", L"S", L"k", 1},
        {"quoted number", "[S]\nk=\"0x20\"\n", L"S", L"k", 32},
        {"absent key gives the fallback", "[S]\nother=1\n", L"S", L"k", -1},
        {"absent section gives the fallback", "[T]\nk=1\n", L"S", L"k", -1},
        {"empty value gives the fallback", "[S]\nk=\n", L"S", L"k", -1},
        {"blank value gives the fallback", "[S]\nk=   \t\n", L"S", L"k", -1},
        {"empty quotes give the fallback", "[S]\nk=\"\"\n", L"S", L"k", -1},
        {"names without regard to case", "[firmware UPDATE]\nDDC2BIADDR=5\n", L"Firmware Update",
         L"Ddc2biAddr", 5},
        {"first of duplicate keys wins", "[S]\nk=1\nK=2\n", L"S", L"k", 1},
        {"a repeated section continues the first", "[S]\na=1\n[T]\nb=2\n[s]\nk=3\na=4\n", L"S",
         L"k", 3},
        {"first key wins across a repeated section", "[S]\na=1\n[s]\na=4\n", L"S", L"a", 1},
        {"keys stay in their own section", "[S]\n[T]\nk=9\n", L"S", L"k", -1},
        {"keys before any section are ignored", "k=1\n[S]\n", L"S", L"k", -1},
        {"comment line is no key", "[S]\n;k=1\n", L"S", L"k", -1},
        {"blanks around the key name", "[S]\n  k  =  8  \n", L"S", L"k", 8},
        {"CRLF line ends", "[S]\r\nk=0x1F\r\nj=2\r\n", L"S", L"k", 0x1F},
        {"last line without line end", "[S]\nk=77", L"S", L"k", 77},
        {"section header with blanks and trailing text", "[ S ] ; note\nk=3\n", L"S", L"k", 3},
        {"UTF-8 BOM", "\xEF\xBB\xBF[S]\nk=6\n", L"S", L"k", 6},
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(FromText(c.file).GetInt(c.section, c.key, -1), c.expected) << c.what;
    }
}

struct StringCase {
    const char* what;
    const char* file;
    const wchar_t* expected;  // key "k" of section "S", fallback "<none>"
};

TEST(PrivateProfile, ReadsStringsWithBlanksAndOnePairOfQuotesRemoved) {
    const StringCase cases[] = {
        {"plain", "[S]\nk=driver.bin\n", L"driver.bin"},
        {"surrounding blanks dropped, inner kept", "[S]\nk=  my file.bin \t\n", L"my file.bin"},
        {"double quotes", "[S]\nk=\"cmdb.bin\"\n", L"cmdb.bin"},
        {"single quotes", "[S]\nk='cmdb.bin'\n", L"cmdb.bin"},
        {"blanks inside quotes are kept", "[S]\nk=\" a b \"\n", L" a b "},
        {"only one pair removed", "[S]\nk=\"\"x\"\"\n", L"\"x\""},
        {"unmatched quotes stay", "[S]\nk=\"abc'\n", L"\"abc'"},
        {"a lone quote stays", "[S]\nk=\"\n", L"\""},
        {"empty value is empty, not the fallback", "[S]\nk=\n", L""},
        {"absent key gives the fallback", "[S]\n", L"<none>"},
        {"semicolon inside a value is kept", "[S]\nk=a;b\n", L"a;b"},
        {"everything after the first equals sign", "[S]\nk=a=b\n", L"a=b"},
        {"backslashes untouched", "[S]\nk=C:\\keys\\\n", L"C:\\keys\\"},
        {"UTF-8 without BOM", "[S]\nk=\xC3\xBC" "ber\n", L"\u00FCber"},
    };
    for (const StringCase& c : cases) {
        EXPECT_EQ(FromText(c.file).GetString(L"S", L"k", L"<none>"), c.expected) << c.what;
    }
}

TEST(PrivateProfile, CutsStringsAtTheCallersLimit) {
    const std::string longValue(600, 'a');
    const PrivateProfile profile = FromText("[S]\nk=\"" + longValue + "\"\nshort=abc\n");
    EXPECT_EQ(profile.GetString(L"S", L"k", L""), std::wstring(511, L'a'));
    EXPECT_EQ(profile.GetString(L"S", L"k", L"", 600), std::wstring(600, L'a'));
    EXPECT_EQ(profile.GetString(L"S", L"short", L"", 2), L"ab");
}

TEST(PrivateProfile, ListsSectionNamesInFileOrderOnce) {
    const PrivateProfile profile =
        FromText("; header comment\n[Firmware Update]\nk=1\n[]\n[Simulator]\n[FIRMWARE update]\n");
    EXPECT_EQ(profile.SectionNames(),
              (std::vector<std::wstring>{L"Firmware Update", L"Simulator"}));
    EXPECT_TRUE(profile.HasKey(L"firmware update", L"K"));
    EXPECT_FALSE(profile.HasKey(L"Simulator", L"k"));
    EXPECT_TRUE(FromText("").SectionNames().empty());
    EXPECT_TRUE(FromText("k=1\n[broken\n").SectionNames().empty());
}

TEST(PrivateProfile, ReadsUtf16LittleAndBigEndianWithBom) {
    const std::u16string text = u"[S]\r\nk=\"\u00E9t\u00E9\"\r\nn=0x10\r\ne=\U0001F600\r\n";
    std::vector<uint8_t> le = {0xFF, 0xFE};
    std::vector<uint8_t> be = {0xFE, 0xFF};
    for (char16_t unit : text) {
        le.push_back(static_cast<uint8_t>(unit & 0xFF));
        le.push_back(static_cast<uint8_t>(unit >> 8));
        be.push_back(static_cast<uint8_t>(unit >> 8));
        be.push_back(static_cast<uint8_t>(unit & 0xFF));
    }
    le.push_back(0x41);  // a stray odd byte at the end is ignored
    for (const auto& bytes : {le, be}) {
        const PrivateProfile profile = PrivateProfile::Parse(bytes);
        EXPECT_EQ(profile.GetString(L"S", L"k", L""), L"\u00E9t\u00E9");
        EXPECT_EQ(profile.GetInt(L"S", L"n", -1), 16);
        EXPECT_EQ(profile.GetString(L"S", L"e", L""), L"\U0001F600");
    }
}

TEST(PrivateProfile, SurvivesMalformedInput) {
    // Arbitrary bytes: invalid UTF-8, lone surrogates, NULs, no line ends. Must not crash.
    std::vector<uint8_t> junk = {'[', 'S', ']', '\n', 'k', '=', 0xFF, 0xC3, 0x00, '\n', 0xFF, 0xFE,
                                 0x00, 0xD8, '=', '['};
    const PrivateProfile profile = PrivateProfile::Parse(junk);
    EXPECT_EQ(profile.GetString(L"S", L"k", L"").size(), 3u);
    const std::vector<uint8_t> loneSurrogate = {0xFF, 0xFE, '[', 0, 'S', 0, ']', 0, '\n', 0,
                                                'k',  0,    '=', 0, 0x00, 0xDC};
    EXPECT_EQ(PrivateProfile::Parse(loneSurrogate).GetString(L"S", L"k", L""), L"\uFFFD");
}

TEST(PrivateProfile, LoadFailsOnlyForAnUnreadableFile) {
    EXPECT_FALSE(PrivateProfile::Load(L"/nonexistent/Config.ini").has_value());
    EXPECT_FALSE(PrivateProfile::Load(L"/").has_value());  // a folder
}

}  // namespace
}  // namespace zorvan::platform
