#include "core/cert/OtpBlock.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/cert/CertTestSupport.h"

namespace zorvan::cert::test {
namespace {

TEST(OtpBlock, TheCrcIsStoredLowByteFirst) {
    Otp otp = MakeOtp(1500);
    EXPECT_TRUE(OtpCrcMatches(otp.data()));
    std::swap(otp[14], otp[15]);  // the same value, high byte first
    ASSERT_NE(otp[14], otp[15]);
    EXPECT_FALSE(OtpCrcMatches(otp.data()));
}

TEST(OtpBlock, TheCrcCoversTheFirstFourteenBytes) {
    for (size_t i = 0; i < 14; ++i) {
        Otp otp = MakeOtp(1500);
        otp[i] ^= 0x01;
        EXPECT_FALSE(OtpCrcMatches(otp.data())) << i;
    }
}

TEST(OtpBlock, TheSerialIsSignedMostSignificantFirst) {
    EXPECT_EQ(OtpSerial(MakeOtp(1500).data()), 1500);
    EXPECT_EQ(OtpSerial(MakeOtp(0x80000001).data()), -2147483647);
}

TEST(OtpBlock, EveryContentWordMustHoldItsValue) {
    const std::map<uint32_t, uint32_t> intact = {
        {0x26429, 0x130}, {0x26559, 0x130}, {0x26689, 0x14C}, {0x267D5, 0x2C}};
    std::vector<uint32_t> asked;
    EXPECT_TRUE(OtpContentIntact([&](uint32_t address) {
        asked.push_back(address);
        return intact.at(address);
    }));
    EXPECT_EQ(asked, (std::vector<uint32_t>{0x26429, 0x26559, 0x26689, 0x267D5}));
    for (const auto& [address, value] : intact) {
        SCOPED_TRACE(address);
        for (const uint32_t wrong : {value + 1, 0u, 0xFFFFFFFFu}) {
            EXPECT_FALSE(OtpContentIntact([&, address = address, wrong = wrong](uint32_t at) {
                return at == address ? wrong : intact.at(at);
            }));
        }
    }
}

}  // namespace
}  // namespace zorvan::cert::test
