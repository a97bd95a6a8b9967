// The reply read over a backend's own transactions, where a backend reports a failure of
// the rest of the reply (the NVIDIA backend never does; its tests cover the other rules).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/gfx/DdcReplyRead.h"
#include "core/gfx/GfxLib.h"

namespace zorvan::test {
namespace {

class FailingRest final : public DdcReplyTransport {
public:
    int32_t restCalls = 0;
    int32_t restCount = 0;
    int32_t ReadHeader(uint8_t header[2]) override {
        header[0] = 0x6E;
        header[1] = 0x85;
        return 0;
    }
    int32_t ReadRest(uint8_t* rest, int32_t count) override {
        ++restCalls;
        restCount = count;
        std::memset(rest, 0x11, static_cast<size_t>(count));
        return -7;
    }
};

TEST(DdcReplyRead, AFailedRestEndsTheReadWithItsCodeAndStoresNothing) {
    FailingRest transport;
    std::vector<uint8_t> buffer(16, 0xA5);
    int32_t length = -1;
    EXPECT_EQ(ReadDdcReply(transport, 0x6E, buffer.data(), 16, &length), -7);
    EXPECT_EQ(transport.restCalls, 1);
    EXPECT_EQ(transport.restCount, 6);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xA5));
}

TEST(DdcReplyRead, RefusesNullPointers) {
    FailingRest transport;
    uint8_t buffer[8] = {};
    int32_t length = 0;
    EXPECT_EQ(ReadDdcReply(transport, 0x6E, nullptr, 8, &length), GFX_BAD_ARGUMENT);
    EXPECT_EQ(ReadDdcReply(transport, 0x6E, buffer, 8, nullptr), GFX_BAD_ARGUMENT);
    EXPECT_EQ(transport.restCalls, 0);
}

}  // namespace
}  // namespace zorvan::test
