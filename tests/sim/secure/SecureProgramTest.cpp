// Programming through a signed driver: the secure program codes, and the last KiB of a
// signed image, which the chip writes only when the image it completes verifies.
#include <gtest/gtest.h>

#include <string>

#include "sim/chip/FirmwareImage.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoImages.h"
#include "tests/sim/secure/SecureLink.h"

namespace zorvan::sim::testing {
namespace {

const Bytes kDone = {0x03, 0x0C, 0xF1};
const Bytes kNotVerified = {0x03, 0x0C, 0xF2};
const Bytes kRefused = {0x03, 0x0C, 0xF3};
constexpr FirmwareVersion kNew{1, 6, 0};
constexpr FirmwareVersion kOld{1, 5, 0};

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(seed + i * 13);
    }
    return out;
}

Bytes LastKibOf(const Bytes& image) {
    return Bytes(image.begin() + kLastKibOffset, image.end());
}

// `image` as the earlier regions of a secure update leave it: everything written but the
// last KiB, which is still erased.
std::vector<uint8_t> WithoutLastKib(std::vector<uint8_t> image) {
    std::fill(image.begin() + kLastKibOffset, image.end(), 0xFF);
    return image;
}

// A signed driver running on a chip whose flash holds `flash`.
class SecureProgram : public SecureFixture {
  protected:
    void Start(std::vector<uint8_t> flash) {
        ChipState state = NewChipState(ChipFamily::Kq1100, 1500);
        state.flash = std::move(flash);
        PowerCycle(state);
        Reload(std::move(state));
        ASSERT_TRUE(SecureStart(MakeDemoDriverFile()));
        ASSERT_TRUE(SignedDriverRuns());
    }
    void SetUp() override { Start(std::vector<uint8_t>(kFlashSize, 0xFF)); }

    Bytes FlashAt(uint32_t offset, size_t n) {
        return Bytes(Flash().begin() + offset, Flash().begin() + static_cast<long>(offset + n));
    }
    // The last KiB in blocks of 504, 504 and 16 bytes with code 0x77, as a host sends it;
    // the completions of the three blocks. `erasedUntilLast`: the flash's last KiB was still
    // erased before the last block.
    std::vector<Bytes> ProgramLastKib(const Bytes& lastKib, bool& erasedUntilLast) {
        std::vector<Bytes> statuses;
        uint32_t at = 0;
        erasedUntilLast = true;
        for (uint32_t n : {504u, 504u, 16u}) {
            erasedUntilLast =
                erasedUntilLast && FlashAt(kLastKibOffset, 0x400) == Bytes(0x400, 0xFF);
            EXPECT_TRUE(ClearStatus());
            statuses.push_back(ProgramBlock(
                kLastKibOffset + at,
                Bytes(lastKib.begin() + at, lastKib.begin() + static_cast<long>(at + n)), 0x77));
            at += n;
        }
        return statuses;
    }
    // System reset through the mailbox; the mode the chip comes up in.
    ChipMode Reset() {
        EXPECT_TRUE(ClearStatus());
        Request({0x04, 0x20, 0x01, 0x25});
        EXPECT_EQ(AwaitStatus(), kDone);
        EXPECT_TRUE(ClearStatus());
        Wait(10);
        EXPECT_FALSE(MailboxUp());
        return Chip().State().mode;
    }
};

TEST_F(SecureProgram, SignedDriverProgramsFullBlocksWithThePlainAndTheSecureCodes) {
    uint32_t offset = 0x24000;
    for (uint8_t code : {uint8_t{0x10}, uint8_t{0x76}, uint8_t{0x78}}) {
        SCOPED_TRACE("program code " + std::to_string(code));
        const Bytes data = Pattern(504, code);
        ASSERT_TRUE(ClearStatus());
        EXPECT_EQ(ProgramBlock(offset, data, code), kDone);
        EXPECT_EQ(FlashAt(offset, 504), data);
        offset += 504;
    }
}

TEST_F(SecureProgram, LastKibOfASignedImageIsWrittenOnceWholeAndTheImageRuns) {
    const std::vector<uint8_t> image = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
    Start(WithoutLastKib(image));
    bool erasedUntilLast = false;
    EXPECT_EQ(ProgramLastKib(LastKibOf(image), erasedUntilLast),
              (std::vector<Bytes>{kDone, kDone, kDone}));
    EXPECT_TRUE(erasedUntilLast) << "the first blocks are kept back until the last KiB is whole";
    EXPECT_TRUE(Flash() == image);

    EXPECT_EQ(Reset(), ChipMode::Application);
    EXPECT_EQ(ImageVersion(Flash()).minor, 6);
}

std::vector<uint8_t> UnsignedImage() {
    std::vector<uint8_t> image = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
    std::fill_n(image.begin() + kImageSignatureOffset, kImageSignatureSize, 0xFF);
    StampImageCrc(image);
    return image;
}

TEST_F(SecureProgram, LastKibThatDoesNotVerifyIsNeverWritten) {
    const std::vector<uint8_t> good = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
    const std::vector<uint8_t> tampered = MakeTamperedFirmwareImage(ChipFamily::Kq1100, kNew);
    std::vector<uint8_t> badSignature = good;
    badSignature[kImageSignatureOffset + 7] ^= 0x80;
    StampImageCrc(badSignature);
    std::vector<uint8_t> newerVersion = good;
    newerVersion[kImageVersionOffset] = 7;  // 1.07 claimed after signing, CRC made right
    StampImageCrc(newerVersion);
    struct Case {
        const char* what;
        std::vector<uint8_t> flash;  // the regions already programmed
        Bytes lastKib;
        bool runnableIfWritten = true;  // only the signature stops it
    };
    const Case cases[] = {
        {"one code byte changed", WithoutLastKib(tampered), LastKibOf(tampered)},
        {"one signature byte changed", WithoutLastKib(good), LastKibOf(badSignature)},
        {"version changed after signing", WithoutLastKib(good), LastKibOf(newerVersion)},
        {"last KiB of another version", WithoutLastKib(good),
         LastKibOf(MakeFirmwareImage(ChipFamily::Kq1100, kOld)), false},
        {"no signature", WithoutLastKib(UnsignedImage()), LastKibOf(UnsignedImage())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> whole = c.flash;
        std::copy(c.lastKib.begin(), c.lastKib.end(), whole.begin() + kLastKibOffset);
        ASSERT_EQ(IsRunnableImage(whole, ChipFamily::Kq1100), c.runnableIfWritten);

        Start(c.flash);
        bool erasedUntilLast = false;
        EXPECT_EQ(ProgramLastKib(c.lastKib, erasedUntilLast),
                  (std::vector<Bytes>{kDone, kDone, kNotVerified}));
        EXPECT_EQ(FlashAt(kLastKibOffset, 0x400), Bytes(0x400, 0xFF)) << "last KiB erased";
        EXPECT_TRUE(Flash() == c.flash);
        EXPECT_EQ(Reset(), ChipMode::BootRom);
    }
}

TEST_F(SecureProgram, RefusedLastKibLeavesTheDriverReadyForTheRightOne) {
    const std::vector<uint8_t> image = MakeFirmwareImage(ChipFamily::Kq1100, kNew);
    Start(WithoutLastKib(image));
    Bytes wrong = LastKibOf(image);
    wrong[0x10] ^= 0x01;
    bool erased = false;
    EXPECT_EQ(ProgramLastKib(wrong, erased).back(), kNotVerified);
    // Nothing of the refused attempt is kept: the first two blocks alone do not complete it.
    EXPECT_EQ(ProgramLastKib(LastKibOf(image), erased), (std::vector<Bytes>{kDone, kDone, kDone}));
    EXPECT_TRUE(Flash() == image);
}

TEST_F(SecureProgram, LastKibCodeIsRefusedOutsideTheLastKib) {
    struct Case {
        const char* what;
        uint32_t offset;
        size_t length;
    };
    const Case cases[] = {
        {"first firmware region", 0x1000, 504},
        {"across the start of the last KiB", kLastKibOffset - 8, 16},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ClearStatus());
        EXPECT_EQ(ProgramBlock(c.offset, Pattern(c.length, 3), 0x77), kRefused) << c.what;
    }
    EXPECT_TRUE(Flash() == std::vector<uint8_t>(kFlashSize, 0xFF));
}

}  // namespace
}  // namespace zorvan::sim::testing
