#include "core/cert/KeyFile.h"

#include <gtest/gtest.h>

#include "core/platform/Files.h"
#include "tests/cert/CertTestSupport.h"

namespace zorvan::cert::test {
namespace {

TEST(KeyFileName, ReadsTheRangeAsTheNameRulesSay) {
    const struct {
        const wchar_t* name;
        bool isKeyFile;
        int32_t first;
        int32_t last;
    } cases[] = {
        {L"SPI_1000_1999.bin", true, 1000, 1999},
        {L"SPI_1000_1999", true, 1000, 1999},
        {L"SPI_1000.bin", true, 1000, 0},  // no last serial: covers nothing
        {L"SPI_.bin", true, 0, 0},
        {L"SPI_abc_99.bin", true, 0, 99},
        {L"SPI_-5_5.bin", true, -5, 5},
        {L"SPI_10_20_30_40.bin", true, 10, 20},
        {L"SPI_1000_1999.bin.bak", true, 1000, 1999},  // the third field reads up to the dot
        {L"SPI_0_99999999999.bin", true, 0, INT32_MAX},
        {L"spi_1000_1999.bin", false, 0, 0},  // the prefix is case-sensitive
        {L"XSPI_1000_1999.bin", false, 0, 0},
        {L"keys.bin", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        SerialRange range{-7, -7};
        ASSERT_EQ(ParseKeyFileName(c.name, range), c.isKeyFile);
        if (c.isKeyFile) {
            EXPECT_EQ(range.first, c.first);
            EXPECT_EQ(range.last, c.last);
        }
    }
}

class FindKeyFileTest : public CertFolderTest {
  protected:
    std::wstring Folder() const { return Wide(dir_ / "keys"); }
    void Touch(const char* name) const { WriteFile(fs::path("keys") / name, Bytes{1}); }
};

TEST_F(FindKeyFileTest, TakesTheFirstCoveringEntryInListingOrder) {
    Touch("SPI_1000_1999.bin");
    Touch("SPI_1500_2500.bin");
    Touch("SPI_3000_3999.bin");
    // Whichever covering file the folder lists first wins, whatever its name.
    std::wstring expected;
    for (const std::wstring& name : platform::ListFolder(Folder())) {
        if (name == L"SPI_1000_1999.bin" || name == L"SPI_1500_2500.bin") {
            expected = name;
            break;
        }
    }
    std::wstring found;
    ASSERT_TRUE(FindKeyFile(Folder(), 1500, found));
    EXPECT_EQ(found, expected);
    ASSERT_TRUE(FindKeyFile(Folder(), 3999, found));
    EXPECT_EQ(found, L"SPI_3000_3999.bin");
}

TEST_F(FindKeyFileTest, SkipsNamesThatCoverNothingOrAreNotKeyFiles) {
    Touch("SPI_1000.bin");
    Touch("spi_1000_1999.bin");
    Touch("keys_1000_1999.bin");
    Touch("SPI_1600_1999.bin");
    std::wstring found = L"unchanged";
    EXPECT_FALSE(FindKeyFile(Folder(), 1500, found));
    EXPECT_EQ(found, L"unchanged");
    EXPECT_TRUE(FindKeyFile(Folder(), 1999, found));
    EXPECT_EQ(found, L"SPI_1600_1999.bin");
    EXPECT_FALSE(FindKeyFile(Folder(), 2000, found));
}

TEST_F(FindKeyFileTest, ComparesSerialsAsSignedNumbers) {
    Touch("SPI_-2147483648_-1.bin");
    std::wstring found;
    EXPECT_TRUE(FindKeyFile(Folder(), INT32_MIN + 1, found));
    EXPECT_FALSE(FindKeyFile(Folder(), 0, found));
}

TEST_F(FindKeyFileTest, AFolderThatCannotBeListedHasNoKeyFile) {
    std::wstring found;
    EXPECT_FALSE(FindKeyFile(Wide(dir_ / "missing"), 1500, found));
}

}  // namespace
}  // namespace zorvan::cert::test
