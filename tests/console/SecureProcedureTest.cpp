// The console's secure update against the virtual chip, with one kind of packet kept from the
// chip (or one mailbox request refused): each step that only reports goes on, each failure
// ends the run with its message in the normal colour. What the console shows, what the log
// keeps and what the flash holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/ConsoleSession.h"
#include "console/Procedures.h"
#include "core/config/IspConfig.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/gfx/GfxLib.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "sim/SimulatorSession.h"
#include "sim/demo/DemoAssets.h"
#include "sim/state/StateFile.h"
#include "tests/console/DemoFolderTest.h"
#include "tests/control/ForwardingLink.h"

namespace zorvan::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr uint32_t kCommandAddress = 0x20000;
constexpr uint32_t kEsmArea = 0x320000;
constexpr uint32_t kSignatureArea = 0x31D2BC;

// What the link keeps from the chip: DDC/CI packets of one vendor code (a memory write only
// inside [from, to)), or the mailbox requests whose code follows the length byte.
struct Withheld {
    uint8_t vendorCode = 0;
    uint32_t from = 0;
    uint32_t to = 0xFFFFFFFF;
    uint8_t mailboxRequest = 0;
};

// The adapter's own link with some transfers taken out: a withheld packet is lost on the way
// (the write reports success), a withheld request is refused by the sink.
class WithholdingLink final : public ForwardingLink {
  public:
    WithholdingLink(GfxLib& inner, const Withheld& withheld)
        : ForwardingLink(inner), withheld_(withheld) {}

  protected:
    bool LosesI2cWrite(const uint8_t* data, int32_t length) override {
        if (withheld_.vendorCode == 0 || length < 7 || data[6] != withheld_.vendorCode) {
            return false;
        }
        if (length < 11) {
            return true;
        }
        const uint32_t target = static_cast<uint32_t>(data[7]) << 24 |
                                static_cast<uint32_t>(data[8]) << 16 |
                                static_cast<uint32_t>(data[9]) << 8 | data[10];
        return withheld_.vendorCode != 0x53 || (target >= withheld_.from && target < withheld_.to);
    }
    std::optional<int32_t> AnswersAuxWrite(uint32_t address, const uint8_t* data,
                                           int32_t /*length*/) override {
        if (withheld_.mailboxRequest != 0 && address == kCommandAddress + 1 &&
            data[0] == withheld_.mailboxRequest) {
            return GFX_AUX_NACK;
        }
        return std::nullopt;
    }

  private:
    Withheld withheld_;
};

class SecureProcedure : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per process and case: other builds may run the same tests at once.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        folder_ = std::filesystem::temp_directory_path() /
                  ("zorvan-secure-procedure-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(folder_);
        std::vector<std::wstring> written;
        std::wstring error;
        ASSERT_TRUE(sim::WriteDemoAssets(Path(""), written, error)) << ToUtf8(error);
        logFilePath = Path("ZorvanQuillon.log");
        settings_.enabled = true;
        settings_.virtualClock = true;
    }
    void TearDown() override {
        logFilePath = kLogFileName;
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::wstring Path(const std::string& name) const { return FromUtf8((folder_ / name).string()); }

    // One -Run of the secure procedure, as the console dispatches it, with `withheld` kept
    // from the chip; the screen without the progress rewrites.
    std::string Run(const Withheld& withheld, bool certificate = false) {
        std::wstring error;
        std::unique_ptr<sim::SimulatorSession> session =
            sim::SimulatorSession::Start(settings_, Path("virtual-chip.state"), error);
        EXPECT_NE(session, nullptr) << ToUtf8(error);
        if (session == nullptr) {
            return std::string();
        }
        std::string screen;
        {
            ZorvanControl control;
            control.gfxSelection = GFX_NVIDIA;
            std::wstring text;
            EXPECT_EQ(control.InitGraphicsAdapter(text), 0) << ToUtf8(text);
            control.driverPath = Path("driver.bin");
            control.firmwarePath = Path("firmware.bin");
            control.esmPath = Path("esm.bin");
            control.keysPath = Path("keys");
            WithholdingLink link(*control.gfx, withheld);
            control.gfx = &link;
            control.nvidiaOrAmdStandIn = &link;  // paced as the NVIDIA backend it stands for

            IspConfig config;
            config.secureIsp = true;
            config.firmwareReady = true;
            config.programDeviceCertificate = certificate;
            console::ConsoleSession run{control, config, std::wstring()};
            ::testing::internal::CaptureStdout();
            succeeded_ = console::RunSecureIspProcedure(run);
            screen = WithoutProgress(::testing::internal::GetCapturedStdout());
        }
        flash_ = session->Chip().State().flash;
        esmRunning_ = session->Chip().State().securityFirmwareRunning;
        return screen;
    }

    std::string Log() const {
        const auto bytes =
            platform::ReadWholeFile((folder_ / "ZorvanQuillon.log").wstring(), 1 << 20);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
    }
    void ClearLog() const { std::filesystem::remove(folder_ / "ZorvanQuillon.log"); }

    std::filesystem::path folder_;
    sim::SimulatorSettings settings_;
    bool succeeded_ = false;
    bool esmRunning_ = false;
    std::vector<uint8_t> flash_;
};

constexpr char kSucceeded[] =
    "Flash FW version comparison successful!  Version: 1.06\r\n"
    "Secure ISP successful! (Version: 1.06)\r\n"
    "System Reset ... Done!\r\n";

struct WithheldCase {
    const char* name;
    Withheld withheld;
    bool esmRunning;   // a first run has started the ESM
    bool certificate;  // ProgramDeviceCertificate
    const char* screenStart;
    const char* screenEnd;  // the failure message and the reset line, or the success lines
    const char* logEnd;
    bool succeeds;
    enum { kUntouched, kUpdated, kPartlyWritten } flash;
};

// Tests are listed by their case name.
void PrintTo(const WithheldCase& c, std::ostream* os) {
    *os << c.name;
}

class WithheldFromTheChip : public SecureProcedure,
                            public ::testing::WithParamInterface<WithheldCase> {};

TEST_P(WithheldFromTheChip, ReportsAndGoesOnOrEndsWithItsMessage) {
    const WithheldCase& c = GetParam();
    if (c.esmRunning) {
        ASSERT_THAT(Run({}), EndsWith(kSucceeded));
        ASSERT_TRUE(esmRunning_);
        ClearLog();
    }
    std::wstring error;
    const std::optional<sim::ChipState> start = sim::LoadState(Path("virtual-chip.state"), error);
    ASSERT_TRUE(start.has_value()) << ToUtf8(error);

    const std::string screen = Run(c.withheld, c.certificate);
    EXPECT_THAT(screen, StartsWith(c.screenStart));
    EXPECT_THAT(screen, EndsWith(c.screenEnd));
    EXPECT_THAT(Log(), EndsWith(c.logEnd));
    EXPECT_THAT(screen, Not(HasSubstr("####")));
    EXPECT_EQ(succeeded_, c.succeeds);
    EXPECT_EQ(screen.find("Secure ISP successful!") != std::string::npos, c.succeeds);
    const platform::FileContent image = platform::ReadWholeFile(Path("firmware.bin"), 1 << 20);
    ASSERT_TRUE(image);
    switch (c.flash) {
        case WithheldCase::kUntouched:
            EXPECT_TRUE(flash_ == start->flash);
            break;
        case WithheldCase::kUpdated:
            EXPECT_TRUE(std::equal(image->begin(), image->begin() + 0x60000, flash_.begin()));
            EXPECT_TRUE(
                std::equal(image->begin() + 0x7FC00, image->end(), flash_.begin() + 0x7FC00));
            break;
        case WithheldCase::kPartlyWritten:
            EXPECT_FALSE(
                std::equal(image->begin() + 0x7FC00, image->end(), flash_.begin() + 0x7FC00));
            break;
    }
}

// The ESM is not running unless the case says so; the run has no certificate unless it says so.
const WithheldCase kWithheldCases[] = {
    {"IspEntry",
     {.vendorCode = 0x09},
     false,
     false,
     "Reset Zorvan failed!\r\n",
     "Reset Zorvan failed!\r\nSystem Reset ... Not available!\r\n",
     "Reset Zorvan failed!\r\nSystem Reset ... Not available!\r\n",
     false,
     WithheldCase::kUntouched},
    {"ClearEsmHandleEndsTheRun",
     {.vendorCode = 0x07},
     false,
     false,
     "ClearEsmHandle failed!\r\n",
     "ClearEsmHandle failed!\r\nSystem Reset ... Not available!\r\n",
     "ClearEsmHandle failed!\r\nSystem Reset ... Not available!\r\n",
     false,
     WithheldCase::kUntouched},
    // No start line, and the run goes on.
    {"StartSecureIspOnlyLosesItsLine",
     {.vendorCode = 0x71},
     false,
     false,
     "Check ESM status... Not started!\r\nLoading ESM binary......   0% [done!]\r\n",
     kSucceeded,
     kSucceeded,
     true,
     WithheldCase::kUpdated},
    {"EsmDownload",
     {.vendorCode = 0x53, .from = kEsmArea},
     false,
     false,
     "Start secure ISP process...\r\n",
     "Check ESM status... Not started!\r\nLoading ESM binary......   0% [failed!]\r\n"
     "Load ESM binary failed!\r\nSystem Reset ... Not available!\r\n",
     "Check ESM status... Not started!\r\nLoad ESM binary failed!\r\nSystem Reset ... Not "
     "available!\r\n",
     false,
     WithheldCase::kUntouched},
    // Reported, and the run goes on until the chip refuses the driver of a process it did not
    // restart.
    {"BootStartSecProcIsOnlyReported",
     {.vendorCode = 0x78},
     true,
     false,
     "Start secure ISP process...\r\nCheck ESM status... Started!\r\nBootStartSecProc failed!\r\n"
     "Loading ISP driver......   0% [done!]\r\n",
     "Verify ISP driver failed!\r\nSystem Reset ... Not available!\r\n",
     "Check ESM status... Started!\r\nBootStartSecProc failed!\r\nLoading ISP driver...... Done\r\n"
     "Verify ISP driver failed!\r\nSystem Reset ... Not available!\r\n",
     false,
     WithheldCase::kUntouched},
    {"SecureCommand76DecidesNothing",
     {.vendorCode = 0x76},
     false,
     false,
     "Start secure ISP process...\r\n",
     kSucceeded,
     kSucceeded,
     true,
     WithheldCase::kUpdated},
    {"SecureDriverDownload",
     {.vendorCode = 0x73},
     false,
     false,
     "Start secure ISP process...\r\n",
     "StartSecProc success\r\nLoading ISP driver......   0% [failed!]\r\nLoad ISP driver "
     "failed!\r\n"
     "System Reset ... Not available!\r\n",
     "StartSecProc success\r\nLoad ISP driver failed!\r\nSystem Reset ... Not available!\r\n",
     false,
     WithheldCase::kUntouched},
    {"DriverSignature",
     {.vendorCode = 0x53, .from = kSignatureArea, .to = kSignatureArea + 256},
     false,
     false,
     "Start secure ISP process...\r\n",
     "Loading ISP driver......   0% [done!]\r\nLoading signature of ISP drv failed!\r\n"
     "System Reset ... Not available!\r\n",
     "Loading ISP driver...... Done\r\nLoading signature of ISP drv failed!\r\n"
     "System Reset ... Not available!\r\n",
     false,
     WithheldCase::kUntouched},
    {"FlashId",
     {.mailboxRequest = 0x1C},
     false,
     false,
     "Start secure ISP process...\r\n",
     "Get Flash ID ......  [failed!]\r\nGet FlashID failed!\r\nSystem Reset ... Done!\r\n",
     "Loading ISP driver...... Done\r\nGet FlashID failed!\r\nSystem Reset ... Done!\r\n",
     false,
     WithheldCase::kUntouched},
    // The erase's failure reaches the log only; the screen's message line stays empty.
    {"EraseToldInTheLogOnly",
     {.mailboxRequest = 0x19},
     false,
     false,
     "Start secure ISP process...\r\n",
     "SPI Flash ID: 0x1540\r\nErasing flash (FFFF)...... [failed!]\r\nSystem Reset ... Done!\r\n",
     "SPI Flash ID: 0x1540\r\nErasing flash (FFFF)...... failed!\r\nSystem Reset ... Done!\r\n",
     false,
     WithheldCase::kUntouched},
    {"ImageWrite",
     {.mailboxRequest = 0x76},
     false,
     false,
     "Start secure ISP process...\r\n",
     "Flash writing FW......   0% [failed!]\r\nFlash writing FW...... Failed\r\nSystem Reset ... "
     "Done!\r\n",
     "Erasing flash (FFFF)...... Done\r\nFlash writing FW...... Failed\r\nSystem Reset ... "
     "Done!\r\n",
     false,
     WithheldCase::kPartlyWritten},
    {"CertificateWrite",
     {.mailboxRequest = 0x78},
     false,
     true,
     "Got match serial number!\r\nStart secure ISP process...\r\n",
     "Flash writing FW......   0% [done!]\r\nFlash writing Device Certificate......   0% "
     "[failed!]\r\n"
     "Flash writing Device Certificate failed! (step: 0x1)\r\nSystem Reset ... Done!\r\n",
     "Flash writing FW...... Done\r\nFlash writing Device Certificate failed! (step: 0x1)\r\n"
     "System Reset ... Done!\r\n",
     false,
     WithheldCase::kUpdated},
};

INSTANTIATE_TEST_SUITE_P(SecureRun, WithheldFromTheChip, ::testing::ValuesIn(kWithheldCases),
                         [](const ::testing::TestParamInfo<WithheldCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace zorvan::testing
