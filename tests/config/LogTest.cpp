#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/config/Log.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

// Points the log into a folder of its own for each test.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        saved_ = logFilePath;
        logFilePath = FromUtf8((dir_ / "ZorvanQuillon.log").string());
    }
    void TearDown() override {
        logFilePath = saved_;
        fs::remove_all(dir_);
    }
    std::string ReadLog() const {
        const auto bytes = platform::ReadWholeFile(logFilePath, 1 << 20);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<no log>");
    }
    bool LogExists() const { return fs::exists(dir_ / "ZorvanQuillon.log"); }

    fs::path dir_;
    std::wstring saved_;
};

TEST_F(LogTest, AppendsTextsInOrderAsUtf8WithoutBom) {
    AppendLog(L"Graphics adapter: NVIDIA: 0x1234\r\n");
    AppendLog(L"Gr\u00FC\u00DFe \u4E2D \U0001F600\r\n");
    AppendLog(L"no line end");
    EXPECT_EQ(ReadLog(),
              "Graphics adapter: NVIDIA: 0x1234\r\n"
              "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD \xF0\x9F\x98\x80\r\n"
              "no line end");
}

TEST_F(LogTest, KeepsLongTextsWhole) {
    // Texts beyond a fixed conversion buffer are written whole, not dropped.
    const std::wstring ascii(1500, L'a');
    const std::wstring longAscii(2100, L'b');
    const std::wstring longWide(1000, L'\u20AC');  // 3000 bytes in UTF-8
    AppendLog(ascii);
    AppendLog(longAscii);
    AppendLog(longWide);
    EXPECT_EQ(ReadLog(), ToUtf8(ascii + longAscii + longWide));
}

TEST_F(LogTest, EmptyTextCreatesTheFileAndWritesNothing) {
    AppendLog(L"");
    EXPECT_TRUE(LogExists());
    EXPECT_EQ(ReadLog(), "");
    AppendLog(L"x");
    AppendLog(L"");
    EXPECT_EQ(ReadLog(), "x");
}

TEST_F(LogTest, AnUnwritableLogIsSilentlySkipped) {
    for (const fs::path& path : {dir_ / "missing-folder" / "ZorvanQuillon.log",
                                 dir_ / "a-folder"}) {
        fs::create_directory(dir_ / "a-folder");
        logFilePath = FromUtf8(path.string());
        AppendLog(L"lost\r\n");
        AppendLogSeparator();
        EXPECT_FALSE(fs::is_regular_file(path)) << path;
    }
}

TEST_F(LogTest, DeletesTheLogAndIgnoresAMissingOne) {
    AppendLog(L"old run\r\n");
    DeleteLogFile();
    EXPECT_FALSE(LogExists());
    DeleteLogFile();
    AppendLog(L"new run\r\n");
    EXPECT_EQ(ReadLog(), "new run\r\n");
}

TEST_F(LogTest, SeparatorBlockCarriesTheLocalTimeStamp) {
    AppendLog(L"first run\r\n");
    AppendLogSeparator();
    const std::string bar(36, '=');
    EXPECT_THAT(ReadLog(), ::testing::MatchesRegex("first run\r\n" + bar +
                                                   "\r\n[0-9]{2}/[0-9]{2}/[0-9]{2} "
                                                   "[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n" +
                                                   bar + "\r\n"));
}

TEST(LogTimeStamp, HasTheMonthDayYearAnd24HourForm) {
    struct Case {
        int year, month, day, hour, minute, second;
        const wchar_t* expected;
    } cases[] = {
        {2021, 12, 31, 23, 59, 7, L"12/31/21 23:59:07"},
        {2000, 1, 2, 0, 0, 0, L"01/02/00 00:00:00"},
        {2105, 7, 4, 13, 5, 59, L"07/04/05 13:05:59"},
    };
    for (const Case& c : cases) {
        std::tm t{};
        t.tm_year = c.year - 1900;
        t.tm_mon = c.month - 1;
        t.tm_mday = c.day;
        t.tm_hour = c.hour;
        t.tm_min = c.minute;
        t.tm_sec = c.second;
        EXPECT_EQ(FormatLogTimeStamp(t), c.expected);
    }
    EXPECT_EQ(LogTimeStamp().size(), 17u);
}

}  // namespace
}  // namespace zorvan
