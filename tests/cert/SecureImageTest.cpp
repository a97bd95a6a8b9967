// ProgramSecureImage against a stand-in ISP driver that accepts every block (or fails a
// chosen one) and records which program code wrote which flash range.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "tests/cert/CertTestSupport.h"

namespace zorvan::cert::test {
namespace {

constexpr uint32_t kFlashStart = 0x400000;

struct Block {
    uint8_t code;
    uint32_t offset;  // flash offset
    uint32_t length;
};

// The running driver's mailbox as the host sees it: both command-buffer halves always
// free, every block completed with 03 0C F1 unless it is the block chosen to fail (F2).
class DriverStandIn final : public GfxLib {
  public:
    DriverStandIn() : GfxLib(16, 0) {}

    std::vector<Block> blocks;
    std::optional<size_t> failBlock;  // index into blocks

  protected:
    int32_t DoInit(std::wstring&) override { return GFX_OK; }
    int32_t DoConnect(uint32_t&, uint32_t, std::wstring&) override { return GFX_OK; }
    int32_t DoI2cWrite(uint32_t, uint32_t, const uint8_t*, int32_t) override { return GFX_OK; }
    int32_t DoI2cRead(uint32_t, uint32_t, uint8_t*, int32_t, int32_t*) override {
        return GFX_BAD_REPLY;
    }
    int32_t DoAuxWrite(uint32_t, uint32_t address, const uint8_t* data, int32_t length) override {
        if (address == kCommand + 1 && length == 2) {
            code_ = data[0];  // the program request before a block
        } else if (address == kCommand && length == 8) {
            const uint32_t at = static_cast<uint32_t>(data[1]) << 16 |
                                static_cast<uint32_t>(data[2]) << 8 | data[3];
            const uint32_t size = static_cast<uint32_t>(data[4]) << 24 |
                                  static_cast<uint32_t>(data[5]) << 16 |
                                  static_cast<uint32_t>(data[6]) << 8 | data[7];
            blocks.push_back({code_, at - kFlashStart, size});
        } else if ((address == kFirstHalfFlag || address == kSecondHalfFlag) && data[0] != 0) {
            completed_ = true;  // a half handed over: the block's completion follows
        } else if (address == kStatus && data[0] == 0) {
            completed_ = false;  // the host took the completion
        }
        return GFX_OK;
    }
    int32_t DoAuxRead(uint32_t, uint32_t address, uint8_t* buffer, int32_t length) override {
        std::memset(buffer, 0, static_cast<size_t>(length));
        if (address == kStatus && completed_) {
            const bool failed = failBlock && *failBlock == blocks.size() - 1;
            const uint8_t completion[3] = {0x03, 0x0C, static_cast<uint8_t>(failed ? 0xF2 : 0xF1)};
            std::memcpy(buffer, completion, std::min<size_t>(3, static_cast<size_t>(length)));
        }
        return GFX_OK;
    }

  private:
    static constexpr uint32_t kCommand = 0x20000;
    static constexpr uint32_t kStatus = 0x10000;
    static constexpr uint32_t kFirstHalfFlag = 0x200FF;
    static constexpr uint32_t kSecondHalfFlag = 0x201FF;
    uint8_t code_ = 0;
    bool completed_ = false;
};

class RecordingDelegate final : public ZorvanControlDelegate {
  public:
    void UpdateProgress(int32_t done, int32_t total) override {
        lastDone = done;
        lastTotal = total;
    }
    int32_t lastDone = -1;
    int32_t lastTotal = -1;
};

// The flash ranges written with each code: a region runs on in full blocks of 504 bytes
// and ends with a shorter one (none of the regions is a whole number of blocks).
std::vector<Block> Regions(const std::vector<Block>& blocks) {
    std::vector<Block> regions;
    uint32_t previousLength = 0;
    for (const Block& b : blocks) {
        const bool continues = previousLength == 504;
        previousLength = b.length;
        if (continues && regions.back().code == b.code &&
            regions.back().offset + regions.back().length == b.offset) {
            regions.back().length += b.length;
        } else {
            regions.push_back(b);
        }
    }
    return regions;
}

bool operator==(const Block& a, const Block& b) {
    return a.code == b.code && a.offset == b.offset && a.length == b.length;
}

void PrintTo(const Block& b, std::ostream* os) {
    *os << "{code 0x" << std::hex << int{b.code} << ", 0x" << b.offset << ", 0x" << b.length << "}";
}

class ProgramSecureImageTest : public ::testing::Test {
  protected:
    ProgramSecureImageTest() : clock_guard_(clock_) {
        control.gfx = &driver;
        control.delegate = &progress;
        image_.assign(0x80000, 0x5A);  // no block is all 0xFF, so none is skipped
    }

    void Carry(uint32_t offset, const char* tag) {
        std::memcpy(image_.data() + offset, tag, std::strlen(tag));
    }
    bool Program(bool includeCertificate, bool skipCmdb) {
        control.firmwareImage = image_;
        control.firmwareLength = static_cast<int32_t>(image_.size());
        text_ = L"untouched";
        stepCode_ = 0;
        return control.ProgramSecureImage(includeCertificate, stepCode_, text_, skipCmdb);
    }

    platform::VirtualClock clock_;
    platform::ScopedClock clock_guard_;
    DriverStandIn driver;
    RecordingDelegate progress;
    ZorvanControl control;
    std::vector<uint8_t> image_;
    std::wstring text_;
    uint32_t stepCode_ = 0;
};

TEST_F(ProgramSecureImageTest, WritesTheAreasTheImageCarriesWithTheirCodes) {
    const Block first{0x10, 0, 0x24000};
    const Block second{0x76, 0x24000, 0x3C000};
    const Block certificate{0x76, 0x60000, 422};
    const Block cmdb{0x76, 0x7E000, 128};
    const Block last{0x77, 0x7FC00, 0x400};
    const struct {
        const char* what;
        bool carriesCertificate;
        bool carriesCmdb;
        bool includeCertificate;
        bool skipCmdb;
        std::vector<Block> regions;
        int32_t total;
    } cases[] = {
        {"both areas", true, true, true, false, {first, second, certificate, cmdb, last}, 0x60626},
        {"certificate not asked for",
         true,
         true,
         false,
         false,
         {first, second, cmdb, last},
         0x60480},
        {"image without a certificate",
         false,
         true,
         true,
         false,
         {first, second, cmdb, last},
         0x60480},
        {"CMDB skipped", true, true, true, true, {first, second, certificate, last}, 0x605A6},
        {"image without either", false, false, true, false, {first, second, last}, 0x60400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        image_.assign(0x80000, 0x5A);
        if (c.carriesCertificate) {
            Carry(0x60000, "Kq11");
        }
        if (c.carriesCmdb) {
            Carry(0x7E000, "CMDB");
        }
        driver.blocks.clear();
        ASSERT_TRUE(Program(c.includeCertificate, c.skipCmdb));
        EXPECT_EQ(text_, L"untouched");
        EXPECT_EQ(Regions(driver.blocks), c.regions);
        EXPECT_EQ(progress.lastTotal, c.total);
        EXPECT_EQ(progress.lastDone, c.total);
    }
}

TEST_F(ProgramSecureImageTest, TheFirstFailureEndsTheSequenceWithItsMessage) {
    // The last region is 0x400 bytes: blocks of 504, 504 and 16.
    const size_t lastRegionFirstBlock = 293 + 488;  // 0x24000 and 0x3C000 in 504-byte blocks
    const struct {
        const char* what;
        size_t failBlock;
        std::wstring text;
        uint32_t offsetOfLastBlockTried;
    } cases[] = {
        {"second region, a later block", 293 + 5, L"Flash write failed! (step: 0x504)\r\n",
         0x24000 + 5 * 504},
        {"first region, its first block", 0, L"Flash write failed! (step: 0x4)\r\n", 0},
        {"last region, its first block", lastRegionFirstBlock,
         L"Flash write failed! (step: 0x4)\r\n", 0x7FC00},
        {"last region, a later block", lastRegionFirstBlock + 1, L"Secure verification failed!\r\n",
         0x7FC00 + 504},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver.blocks.clear();
        driver.failBlock = c.failBlock;
        EXPECT_FALSE(Program(true, false));
        EXPECT_EQ(text_, c.text);
        ASSERT_EQ(driver.blocks.size(), c.failBlock + 1);  // nothing after the failure
        EXPECT_EQ(driver.blocks.back().offset, c.offsetOfLastBlockTried);
    }
}

TEST_F(ProgramSecureImageTest, ABlankRegionNeedsNoBlockAndIsNoFailure) {
    // A small firmware leaves its second region erased: no block goes out for it.
    std::fill(image_.begin() + 0x24000, image_.begin() + 0x60000, 0xFF);
    driver.blocks.clear();
    ASSERT_TRUE(Program(true, false));
    EXPECT_EQ(text_, L"untouched");
    EXPECT_EQ(Regions(driver.blocks),
              (std::vector<Block>{{0x10, 0, 0x24000}, {0x77, 0x7FC00, 0x400}}));
    EXPECT_EQ(progress.lastDone, 0x60400);
}

TEST_F(ProgramSecureImageTest, AShortImageIsRefusedBeforeAnyWrite) {
    image_.resize(0x7FC00);
    EXPECT_FALSE(Program(true, false));
    EXPECT_EQ(text_, L"Flash write failed! (step: 0x0)\r\n");
    EXPECT_TRUE(driver.blocks.empty());
}

}  // namespace
}  // namespace zorvan::cert::test
