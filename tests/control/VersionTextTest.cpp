// Version texts and family names for every chip type.
#include <gtest/gtest.h>

#include <string>

#include "core/control/VersionText.h"

namespace zorvan {
namespace {

const ChipType kAllTypes[] = {CHIP_NONE,   CHIP_VEXA1100, CHIP_VEXA1150, CHIP_ZORVAN_IROM,
                              CHIP_TALVOR, CHIP_VIREEN,   CHIP_LUMOX,    CHIP_UNKNOWN};

TEST(VersionTextTest, VersionZeroIsEmptyForEveryType) {
    for (const ChipType type : kAllTypes) {
        EXPECT_EQ(FormatVersion(type, 0), L"") << type;
    }
}

TEST(VersionTextTest, FormatsPerType) {
    struct Case {
        ChipType type;
        uint32_t version;
        std::wstring text;
    };
    const Case cases[] = {
        {CHIP_VEXA1100, 0x010203, L"v2.03.1"},
        {CHIP_VEXA1150, 0x010203, L"v2.03.1"},
        {CHIP_VIREEN, 0x010203, L"v2.03"},  // the build shows for types 0 and 1 only
        {CHIP_ZORVAN_IROM, 0x010203, L"v2.03"},
        {CHIP_UNKNOWN, 0x010203, L"v2.03"},
        {CHIP_VEXA1100, 0x000105, L"v1.05"},
        {CHIP_VEXA1100, 0x00010C, L"v1.12"},
        {CHIP_NONE, 0x00FFFF, L"v255.255"},
        {CHIP_LUMOX, 0x00010A, L"v1.0A"},
        {CHIP_LUMOX, 0x030105, L"v1.05"},
        // Talvor: bits 14-15, 5-13 and 0-4.
        {CHIP_TALVOR, 0x00A591, L"v2.300.17"},
        {CHIP_TALVOR, 0x000001, L"v0.0.1"},
        {CHIP_TALVOR, 0x01FFFF, L"v3.511.31"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatVersion(c.type, c.version), c.text) << c.type << " " << c.version;
    }
}

TEST(VersionTextTest, FamilyNamePrefixesTheText) {
    struct Case {
        ChipType type;
        std::wstring text;
    };
    const Case cases[] = {
        {CHIP_VEXA1100, L"Vexa1100 v1.05"},
        {CHIP_VEXA1150, L"Vexa1150 v1.05"},
        {CHIP_ZORVAN_IROM, L"Zorvan iROM v1.05"},
        {CHIP_TALVOR, L"Talvor v1.05"},
        {CHIP_VIREEN, L"Vireen v1.05"},
        {CHIP_LUMOX, L"Lumox v1.05"},
        {CHIP_UNKNOWN, L"v1.05"},
        {CHIP_NONE, L"v1.05"},
    };
    for (const Case& c : cases) {
        std::wstring text = L"v1.05";
        ChipFamilyName(c.type, text);
        EXPECT_EQ(text, c.text) << c.type;
    }
}

}  // namespace
}  // namespace zorvan
