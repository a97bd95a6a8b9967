#include <gtest/gtest.h>

#include "console/StatusUpdater.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

TEST(StatusUpdater, OverwritesTheLastFourColumnsWithThePercentage) {
    struct Case {
        int32_t done, total;
        const wchar_t* expected;
    } cases[] = {
        {1, 3, L"\b\b\b\b 33%"},  // four columns, so each print overwrites the last
        {5, 5, L"\b\b\b\b100%"},
        {0, 30, L"\b\b\b\b  0%"},
        {7, 100, L"\b\b\b\b  7%"},
        {42, 100, L"\b\b\b\b 42%"},
        {99, 100, L"\b\b\b\b 99%"},
        {250, 100, L"\b\b\b\b250%"},  // not clamped
        {-1, 100, L"\b\b\b\b  -1%"},  // truncated toward zero, as signed arithmetic does
        {0, 0, L"\b\b\b\b  0%"},      // no division by zero
        {7, 0, L"\b\b\b\b  0%"},
        // Large counts: done * 100 would overflow 32 bits.
        {30000000, 30000000, L"\b\b\b\b100%"},
        {2147483647, 2147483647, L"\b\b\b\b100%"},
        {1073741823, 2147483647, L"\b\b\b\b 49%"},
        {524288, 524288, L"\b\b\b\b100%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressText(c.done, c.total), c.expected) << c.done << "/" << c.total;
    }
}

TEST(StatusUpdater, PrintsThroughTheDelegateInterface) {
    StatusUpdater updater;
    ZorvanControlDelegate& delegate = updater;
    ::testing::internal::CaptureStdout();
    delegate.UpdateProgress(0, 4);
    delegate.UpdateProgress(3, 4);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\b\b\b\b  0%\b\b\b\b 75%");
}

}  // namespace
}  // namespace zorvan::console
