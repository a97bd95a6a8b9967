// GetDeviceCertificate and VerifyCertificate against a scripted chip: the OTP block, the
// content words and the flash's certificate area answered through the command channel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "core/control/ZorvanControl.h"
#include "tests/cert/CertTestSupport.h"
#include "tests/control/ControlFixture.h"

namespace zorvan::cert::test {
namespace {

using ::testing::HasSubstr;
using zorvan::testing::ControlTest;
using zorvan::testing::DataReply;

constexpr uint32_t kOtpAddress = 0x2640C;
constexpr uint32_t kCertificateAddress = 0x400000 + 0x60000;

// The chip's side: memory reads (0x52) from a byte map, register reads (0x50) from words.
class ScriptedChipTest : public ControlTest {
  public:
    void SetUp() override {
        link.onWrite = [this](zorvan::testing::ScriptedLink& l,
                              const zorvan::testing::LinkEvent& e) { Answer(l, e); };
        PutMemory(kOtpAddress, Bytes(otp_.begin(), otp_.end()));
        words_ = {{0x26429, 0x130}, {0x26559, 0x130}, {0x26689, 0x14C}, {0x267D5, 0x2C}};
    }
    void PutMemory(uint32_t address, const Bytes& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            memory_[address + static_cast<uint32_t>(i)] = bytes[i];
        }
    }
    void Answer(zorvan::testing::ScriptedLink& l, const zorvan::testing::LinkEvent& e) {
        if (e.op != zorvan::testing::LinkOp::kI2cWrite || e.data.size() < 11) {
            return;
        }
        const uint32_t address = BigEndian32(e.data, 7);
        if (e.data[6] == 0x52 && readsFail_ == 0) {
            const uint32_t size = BigEndian32(e.data, 11);
            Bytes out(size, 0xFF);
            for (uint32_t i = 0; i < size; ++i) {
                const auto it = memory_.find(address + i);
                out[i] = it != memory_.end() ? it->second : 0xFF;
            }
            l.QueueI2cReply(DataReply(0x52, out));
        } else if (e.data[6] == 0x50) {
            const auto it = words_.find(address);
            const uint32_t value = it != words_.end() ? it->second : 0;
            l.QueueI2cReply(DataReply(
                0x50, {e.data[7], e.data[8], e.data[9], e.data[10],
                       static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}));
        }
    }

    ScratchFolder folder_;

    const Otp otp_ = MakeOtp(1500);
    const Bytes record_ = MakeRecord(otp_, 1);
    std::map<uint32_t, uint8_t> memory_;
    std::map<uint32_t, uint32_t> words_;
    int readsFail_ = 0;
};

class GetDeviceCertificateTest : public ScriptedChipTest {
  public:
    void SetUp() override {
        ScriptedChipTest::SetUp();
        keys_ = folder_.dir_ / "keys";
        folder_.WriteFile("keys/SPI_1000_1999.bin",
                          Concat({MakeRecord(MakeOtp(1499), 2), record_}));
        control.keysPath = Wide(keys_);
    }
    bool Get() {
        text_ = L"previous";
        return control.GetDeviceCertificate(text_);
    }

    fs::path keys_;
    std::wstring text_;
};

TEST_F(GetDeviceCertificateTest, FindsTheChipsRecordInTheKeyFolder) {
    ASSERT_TRUE(Get());
    EXPECT_EQ(text_, L"");
    EXPECT_EQ(control.certificate, record_);
    EXPECT_EQ(control.certificateLength, 422);
    EXPECT_EQ(Bytes(control.otpBlock, control.otpBlock + 16), Bytes(otp_.begin(), otp_.end()));
    EXPECT_THAT(folder_.Log(), ::testing::StartsWith("Chip serial #: 1500 (31 31 30 30 "));
}

TEST_F(GetDeviceCertificateTest, AKeysPathNamingAFileIsOpenedDirectly) {
    control.keysPath = Wide(folder_.WriteFile("one-key-file.bin", record_));
    ASSERT_TRUE(Get());
    EXPECT_EQ(control.certificate, record_);
}

TEST_F(GetDeviceCertificateTest, EachCheckOfTheChipHasItsMessage) {
    Otp badCrc = otp_;
    std::swap(badCrc[14], badCrc[15]);
    const struct {
        const char* what;
        std::function<void(GetDeviceCertificateTest&)> damage;
        const wchar_t* text;
    } cases[] = {
        {"unreadable OTP", [](GetDeviceCertificateTest& t) { t.readsFail_ = 1; },
         L"Getting chip serial number failed!\r\n"},
        {"CRC high byte first",
         [badCrc](GetDeviceCertificateTest& t) {
             t.PutMemory(kOtpAddress, Bytes(badCrc.begin(), badCrc.end()));
         },
         L"OTP Serial-Number CRC failed!\r\n"},
        {"first content word", [](GetDeviceCertificateTest& t) { t.words_[0x26429] = 0x131; },
         L"OTP content corrupted!\r\n"},
        {"last content word", [](GetDeviceCertificateTest& t) { t.words_[0x267D5] = 0; },
         L"OTP content corrupted!\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PutMemory(kOtpAddress, Bytes(otp_.begin(), otp_.end()));
        ScriptedChipTest::SetUp();
        readsFail_ = 0;
        c.damage(*this);
        EXPECT_FALSE(Get());
        EXPECT_EQ(text_, c.text);
        EXPECT_TRUE(control.certificate.empty());
        EXPECT_EQ(folder_.Log(), "");
    }
}

TEST_F(GetDeviceCertificateTest, NoKeyFileForTheSerialNamesTheFolder) {
    fs::remove(keys_ / "SPI_1000_1999.bin");
    folder_.WriteFile("keys/SPI_1000.bin", record_);
    folder_.WriteFile("keys/spi_1000_1999.bin", record_);
    EXPECT_FALSE(Get());
    EXPECT_EQ(text_, L"Chip Serial#: 1500\r\nKey file not found in \"" + Wide(keys_) + L"\"\r\n");
}

TEST_F(GetDeviceCertificateTest, AKeyFileWithoutTheChipsRecordGivesTheMismatchLine) {
    folder_.WriteFile("keys/SPI_1000_1999.bin", MakeRecord(MakeOtp(1499), 2));
    EXPECT_FALSE(Get());
    const std::wstring path = Wide(keys_ / "SPI_1000_1999.bin");
    EXPECT_THAT(ToUtf8(text_),
                ::testing::StartsWith(ToUtf8(L"Chip Serial#: 1500\r\nKey file: " + path +
                                             L"\r\nNo match for serial #: 1500 (31 31 30 30 ")));
    EXPECT_EQ(folder_.Log(), "");
}

TEST_F(GetDeviceCertificateTest, AnUnreadableKeyFileIsReportedInTheLog) {
    control.keysPath = Wide(folder_.dir_ / "no-such-file.bin");
    EXPECT_FALSE(Get());
    EXPECT_EQ(text_, L"Getting \"Device Certificate\" from key file failed!\r\n");
    EXPECT_THAT(folder_.Log(), HasSubstr("dalCreate failed: 0x6408 (Unable to access required "
                                         "file)  filename = \""));
}

TEST_F(GetDeviceCertificateTest, TheOtpBlockIsKeptAlsoWhenALaterCheckFails) {
    words_[0x26559] = 0;
    EXPECT_FALSE(Get());
    EXPECT_EQ(Bytes(control.otpBlock, control.otpBlock + 16), Bytes(otp_.begin(), otp_.end()));
}

class VerifyCertificateTest : public ScriptedChipTest {
  protected:
    void Fetched(const Bytes& certificate) {
        control.certificate = certificate;
        control.certificateLength = static_cast<int32_t>(certificate.size());
    }
};

TEST_F(VerifyCertificateTest, ComparesTheFlashAreaThroughChipMemory) {
    Bytes blank(422, 0xFF);
    Bytes lastDiffers = record_;
    lastDiffers[421] ^= 0x01;
    Bytes blankStart = record_;
    std::fill(blankStart.begin(), blankStart.begin() + 16, 0xFF);
    const struct {
        const char* what;
        Bytes flash;
        Bytes certificate;
        uint8_t result;
    } cases[] = {
        {"equal", record_, record_, 1},
        {"byte 421 differs", lastDiffers, record_, 0},
        {"blank area", blank, record_, 240},
        {"blank area, blank certificate", blank, blank, 240},
        {"first 16 bytes blank", blankStart, record_, 240},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PutMemory(kCertificateAddress, c.flash);
        Fetched(c.certificate);
        EXPECT_EQ(control.VerifyCertificate(true), c.result);
    }
}

TEST_F(VerifyCertificateTest, ReadsAtTheConfiguredFlashStart) {
    control.flashStartAddress = 0x800000;
    PutMemory(0x800000 + 0x60000, record_);
    Fetched(record_);
    EXPECT_EQ(control.VerifyCertificate(true), 1);
    const auto reads = MemoryReadsSent();
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.front().first, 0x860000u);
}

TEST_F(VerifyCertificateTest, NothingFetchedOrUnreadableIsADifference) {
    PutMemory(kCertificateAddress, record_);
    EXPECT_EQ(control.VerifyCertificate(true), 0);
    EXPECT_EQ(link.events().size(), 0u);  // nothing to compare: the chip is not asked

    Fetched(record_);
    readsFail_ = 1;
    EXPECT_EQ(control.VerifyCertificate(true), 0);
}

}  // namespace
}  // namespace zorvan::cert::test
