#include "core/cert/FetchCertificate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include "tests/cert/CertTestSupport.h"

namespace zorvan::cert::test {
namespace {

using ::testing::HasSubstr;

class FetchCertificateTest : public CertFolderTest {
  protected:
    bool Fetch(const fs::path& keyFile, const Otp& otp) {
        text_ = L"previous";
        return FetchCertificate(keyFile.string(), otp.data(), certificate_, length_, text_);
    }

    const Otp chip_ = MakeOtp(1500);
    const Bytes record_ = MakeRecord(chip_, 1);
    std::vector<uint8_t> certificate_;
    int32_t length_ = 0;
    std::wstring text_;
};

TEST_F(FetchCertificateTest, TakesTheChipsRecordAndLogsTheMatchLine) {
    const Bytes other = MakeRecord(MakeOtp(1499), 2);
    const fs::path keys = WriteFile("SPI_1000_1999.bin", Concat({other, record_}));
    ASSERT_TRUE(Fetch(keys, chip_));
    EXPECT_EQ(certificate_, record_);
    EXPECT_EQ(length_, 422);
    const std::string line = "Chip serial #: 1500 (31 31 30 30 4d 50 20 24 01 00 00 00 05 dc " +
                             ToUtf8(Format(L"%02x %02x ", chip_[14], chip_[15])) + ")\r\n";
    EXPECT_EQ(ToUtf8(text_), line);
    EXPECT_EQ(Log(), line);
}

TEST_F(FetchCertificateTest, AMismatchNamesWhatTheChipIsAndLogsNothing) {
    const fs::path keys = WriteFile("SPI_1000_1999.bin", MakeRecord(MakeOtp(1400), 1));
    const struct {
        const char* model;
        const char* opening;
    } cases[] = {
        {"1100", "No match for serial #: 1500 ("}, {"1150", "No match for serial #: 1500 ("},
        {"2200", "This is NOT Zorvan!!! ("},       {"1211", "This is NOT 1100MP chip!!! ("},
        {"2111", "This is NOT 1100MP chip!!! ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const Otp otp = MakeOtp(1500, c.model);
        EXPECT_FALSE(Fetch(keys, otp));
        std::wstring bytes;
        for (const uint8_t b : otp) {
            bytes += Format(L"%02x ", b);
        }
        EXPECT_EQ(ToUtf8(text_), c.opening + ToUtf8(bytes) + ")\r\n");
    }
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(certificate_.empty());
    EXPECT_EQ(length_, 0);
}

TEST_F(FetchCertificateTest, ARecordMustMatchTheWholeIdentity) {
    // Same model and serial, other identity bytes: another chip, so no record for this one.
    Otp sibling = chip_;
    sibling[6] ^= 0x40;
    const fs::path keys = WriteFile("SPI_1000_1999.bin", MakeRecord(sibling, 1));
    EXPECT_FALSE(Fetch(keys, chip_));
    EXPECT_THAT(ToUtf8(text_), ::testing::StartsWith("No match for serial #: 1500 ("));
}

TEST_F(FetchCertificateTest, AnAllZeroIdentityNeverMatchesTheEmptyObject) {
    // The library answers a miss with 422 zero bytes; a chip whose model and serial read as
    // zero must not take them for its certificate.
    const fs::path keys = WriteFile("SPI_0_0.bin", MakeRecord(MakeOtp(1), 1));
    Otp zero{};
    EXPECT_FALSE(Fetch(keys, zero));
    EXPECT_TRUE(certificate_.empty());
}

TEST_F(FetchCertificateTest, ALibraryFailureLogsItsCodeAndLeavesTheTextEmpty) {
    const fs::path missing = dir_ / "SPI_1000_1999.bin";
    certificate_ = record_;
    length_ = 422;
    EXPECT_FALSE(Fetch(missing, chip_));
    EXPECT_EQ(text_, L"");
    EXPECT_EQ(Log(),
              "DAL version: 0 6 (demo)\r\n"
              "dalCreate failed: 0x6408 (Unable to access required file)  filename = \"" +
                  missing.string() + "\"\r\n");
    EXPECT_EQ(certificate_, record_);
    EXPECT_EQ(length_, 422);
}

TEST_F(FetchCertificateTest, TheBufferGrowsOnlyForALongerRecord) {
    const fs::path keys = WriteFile("SPI_1000_1999.bin", record_);
    certificate_.assign(1000, 0xEE);
    const uint8_t* before = certificate_.data();
    ASSERT_TRUE(Fetch(keys, chip_));
    EXPECT_EQ(certificate_.data(), before);  // reused
    EXPECT_EQ(length_, 422);
    EXPECT_EQ(Bytes(certificate_.begin(), certificate_.begin() + 422), record_);
    EXPECT_EQ(certificate_[422], 0xEE);

    certificate_.assign(10, 0xEE);
    ASSERT_TRUE(Fetch(keys, chip_));
    EXPECT_EQ(certificate_, record_);
}

TEST_F(FetchCertificateTest, AFailedFetchKeepsTheEarlierCertificate) {
    const fs::path keys = WriteFile("SPI_1000_1999.bin", record_);
    ASSERT_TRUE(Fetch(keys, chip_));
    EXPECT_FALSE(Fetch(keys, MakeOtp(1501)));
    EXPECT_EQ(certificate_, record_);
    EXPECT_EQ(length_, 422);
}

TEST_F(FetchCertificateTest, InterruptionsAreIgnoredFromTheFirstFetchOn) {
    const fs::path keys = WriteFile("SPI_1000_1999.bin", record_);
    ASSERT_TRUE(Fetch(keys, chip_));
    // Each handler puts itself back, so a second signal is ignored too.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::raise(SIGINT), 0);
        EXPECT_EQ(std::raise(SIGTERM), 0);
    }
    SUCCEED() << "still running";
}

}  // namespace
}  // namespace zorvan::cert::test
