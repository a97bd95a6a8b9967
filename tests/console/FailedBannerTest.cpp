#include <gtest/gtest.h>

#include <sstream>

#include "console/FailedBanner.h"

namespace zorvan::console {
namespace {

TEST(FailedBanner, PrintsElevenLinesOfArtThenTheMessage) {
    ::testing::internal::CaptureStdout();
    PrintFailedBanner(L"Erase failed!\r\n");
    const std::string out = ::testing::internal::GetCapturedStdout();
    // Standard output is no terminal here, so no colour sequences are mixed in.
    std::istringstream lines(out);
    std::string line;
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(std::getline(lines, line)) << i;
        ASSERT_EQ(line.size(), 62u) << i;  // 61 columns and the carriage return
        EXPECT_EQ(line.front(), '#') << i;
        EXPECT_EQ(line.substr(60), "#\r") << i;
    }
    EXPECT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "Erase failed!\r");
    EXPECT_FALSE(std::getline(lines, line));
    EXPECT_NE(out.find("#    ##       ##     ## #### ######## ######## ########     #"),
              std::string::npos);
}

}  // namespace
}  // namespace zorvan::console
