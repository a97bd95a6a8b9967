// Adapter selection, unchanged, through the simulated AMD and Intel drivers of virtual
// PCs laid out per test, with the virtual chip behind one output: which outputs are
// probed, the transcripts, the device found, and a chip that then answers through it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/gfx/adl/Adl.h"
#include "core/gfx/cui/Cui.h"
#include "core/gfx/nvapi/NvApi.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"
#include "sim/chip/VirtualChip.h"
#include "sim/demo/DemoImages.h"
#include "sim/pc/VirtualPc.h"
#include "sim/pc/adl/SimAdl.h"
#include "sim/pc/cui/SimCui.h"
#include "sim/pc/linux/VirtualKernel.h"
#include "sim/pc/nvapi/SimNvApi.h"

namespace zorvan::sim {
namespace {

using ::testing::HasSubstr;

ChipState RunningChip() {
    ChipState state = NewChipState(ChipFamily::Kq1100, 1500);
    state.flash = MakeFirmwareImage(ChipFamily::Kq1100, {1, 5, 0});
    PowerCycle(state);
    return state;
}

DisplaySpec Output(uint32_t id, bool chip) {
    DisplaySpec display;
    display.displayId = id;
    display.hasChip = chip;
    return display;
}

// A virtual PC with the given drivers present, installed for one test; its Linux side has
// no DRM device.
class VirtualPcDrivers {
  public:
    VirtualPcDrivers(PcSpec setup, bool nvidia, bool amd, bool intel)
        : pc_(std::move(setup), &chip_), nvapi_(pc_), adl_(pc_, amd), cui_(pc_, intel) {
        if (!nvidia) {
            nvapi_.SetInitializeStatus(nvapi::NVAPI_LIBRARY_NOT_FOUND);
        }
        nvapi::InstallDriver(&nvapi_);
        adl::InstallDriver(&adl_);
        cui::InstallDriver(&cui_);
        linuxsys::InstallSystem(&kernel_);
    }
    ~VirtualPcDrivers() {
        nvapi::InstallDriver(nullptr);
        adl::InstallDriver(nullptr);
        cui::InstallDriver(nullptr);
        linuxsys::InstallSystem(nullptr);
    }
    VirtualPcDrivers(const VirtualPcDrivers&) = delete;
    VirtualPcDrivers& operator=(const VirtualPcDrivers&) = delete;

    VirtualChip& Chip() { return chip_; }

  private:
    VirtualChip chip_{RunningChip()};
    VirtualPc pc_;
    SimNvApi nvapi_;
    SimAdl adl_;
    SimCui cui_;
    VirtualKernel kernel_{LinuxPcSpec{}, nullptr};
};

struct Selection {
    int32_t result;
    std::string text;
    std::string gfxName;
};

class VendorDrivers : public ::testing::Test {
  protected:
    // The core goes before the drivers its backends release at teardown.
    void UsePc(PcSpec setup, bool nvidia, bool amd, bool intel) {
        control_.reset();
        drivers_.reset();
        drivers_ = std::make_unique<VirtualPcDrivers>(std::move(setup), nvidia, amd, intel);
    }
    Selection Select(int32_t gfxSelection, uint32_t deviceId = 0) {
        control_ = std::make_unique<ZorvanControl>();
        control_->gfxSelection = gfxSelection;
        control_->deviceId = deviceId;
        std::wstring text;
        const int32_t r = control_->InitGraphicsAdapter(text);
        return {r, ToUtf8(text), ToUtf8(control_->gfxName)};
    }
    // The chip answers through the selected backend: its type query gets the family.
    void ExpectChipAnswers() {
        ASSERT_NE(control_, nullptr);
        EXPECT_EQ(control_->GetChipType(), CHIP_VEXA1100);
    }

    platform::VirtualClock clock_;
    platform::ScopedClock clockGuard_{clock_};
    std::unique_ptr<VirtualPcDrivers> drivers_;
    std::unique_ptr<ZorvanControl> control_;
};

const std::string kNvidiaAbsent = "Graphics adapter initialization - NVIDIA: failed! (-2)\r\n";
const std::string kAmdAbsent = "Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
const std::string kAmdDone = "Graphics adapter initialization - AMD: done!\r\n";
const std::string kLinuxAbsent =
    "Graphics adapter initialization - Linux: no DisplayPort AUX device!\r\n";

TEST_F(VendorDrivers, TwoAmdAdaptersWithTheChipBehindTheFirstProbeOnlyTheFirst) {
    PcSpec setup;
    GpuSpec first;
    first.adlIndex = 2;
    first.displays = {Output(0x10, true)};
    first.displays[0].adl.logicalIndex = 5;
    GpuSpec second;
    second.adlIndex = 6;
    second.displays = {Output(0x20, false)};
    setup.gpus = {first, second};
    UsePc(setup, false, true, false);
    const Selection s = Select(GFX_AUTO);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.text, "Gfx Selection = 0\r\n" + kNvidiaAbsent + kAmdDone +
                          "AMD Adapter num#= 2\r\n"
                          " Active Adapter# 0:\r\n"
                          "   Num of Disp = 1\r\n"
                          "     Disp# 0: LogicId=0x0005 , Type(15) , Conn(3)\r\n"
                          "          Test Read = 0x1\r\n");
    EXPECT_EQ(s.gfxName, "AMD: 0x20005");
    ExpectChipAnswers();
}

TEST_F(VendorDrivers, AmdProbesOnlyConnectedMappedDisplayPortOutputs) {
    // Before the chip's output: a mapped output that is not connected, an HDMI output
    // (connector 12) and an inactive adapter; none of them is probed.
    PcSpec setup;
    GpuSpec idle;
    idle.adlActive = false;
    idle.displays = {Output(0x1, false)};
    GpuSpec gpu;
    gpu.displays = {Output(0x2, false), Output(0x3, false), Output(0x4, true)};
    gpu.displays[0].adl.connected = false;
    gpu.displays[1].adl.connectorType = 12;
    gpu.displays[2].adl.connectorType = 16;
    setup.gpus = {idle, gpu};
    UsePc(setup, false, true, false);
    const Selection s = Select(GFX_AMD, 0x77);
    EXPECT_EQ(s.text, "Gfx Selection = 2\r\n" + kAmdDone +
                          "AMD Adapter num#= 2\r\n"
                          " Active Adapter# 1:\r\n"
                          "   Num of Disp = 3\r\n"
                          "     Disp# 0: LogicId=0x0000 , Type(15) , Conn(2)\r\n"
                          "     Disp# 1: LogicId=0x0001 , Type(12) , Conn(3)\r\n"
                          "     Disp# 2: LogicId=0x0002 , Type(16) , Conn(3)\r\n"
                          "          Test Read = 0x1\r\n");
    EXPECT_EQ(s.gfxName, "AMD: 0x10002");
    ExpectChipAnswers();
}

TEST_F(VendorDrivers, AmdWithoutACandidateKeepsTheConfiguredId) {
    PcSpec setup;
    GpuSpec gpu;
    gpu.displays = {Output(0x2, true)};
    gpu.displays[0].adl.mapped = false;
    setup.gpus = {gpu};
    UsePc(setup, false, true, false);
    const Selection s = Select(GFX_AMD, 0x30001);
    EXPECT_EQ(s.result, 0);
    EXPECT_THAT(s.text, HasSubstr("Conn(1)\r\n"));
    EXPECT_THAT(s.text, ::testing::Not(HasSubstr("Test Read")));
    EXPECT_EQ(s.gfxName, "AMD: 0x30001");
}

TEST_F(VendorDrivers, IntelAuxDeviceAfterAnLspconDriverThatDoesNotSupportIt) {
    PcSpec setup;
    GpuSpec gpu;
    gpu.displays = {Output(0x2, false), Output(0x3, true)};
    gpu.displays[0].cui.uid = 0x500;
    gpu.displays[1].cui.uid = 0x501;
    setup.gpus = {gpu};
    setup.lspconSupported = false;
    UsePc(setup, false, false, true);
    const Selection s = Select(GFX_AUTO);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.text, "Gfx Selection = 0\r\n" + kNvidiaAbsent + kAmdAbsent +
                          "Graphics adapter initialization - Intel (LS-PCON): done!\r\n"
                          "  Not Supported!\r\n"
                          "Graphics adapter initialization - Intel: done!\r\n"
                          "  Device GUID: 0x500 [AUX] = N/A (0x2)\r\n"
                          "  Device GUID: 0x501 [AUX] = OK\r\n");
    EXPECT_EQ(s.gfxName, "Intel: 0x501");
    ExpectChipAnswers();
}

TEST_F(VendorDrivers, LspconChipOnPort0EOnly) {
    PcSpec setup;
    GpuSpec gpu;
    gpu.displays = {Output(0x2, false), Output(0x3, true)};
    gpu.displays[0].cui.lspconPort = 0x0D;
    gpu.displays[1].cui.lspconPort = 0x0E;
    setup.gpus = {gpu};
    UsePc(setup, false, false, true);
    const Selection s = Select(GFX_INTEL_LSPCON);
    EXPECT_EQ(s.result, 0);
    // 0x0C has nothing behind it; the port at 0x0D takes the probe but nothing answers.
    EXPECT_EQ(s.text,
              "Gfx Selection = 3\r\n"
              "Graphics adapter initialization - Intel (LS-PCON): done!\r\n"
              "  Device ID: 0x0C = N/A (0x2)\r\n"
              "  Device ID: 0x0D = N/A (0x2)\r\n"
              "  Device ID: 0x0E = OK\r\n");
    EXPECT_EQ(s.gfxName, "Intel (LS-PCON): 0x0E");
    ExpectChipAnswers();
}

TEST_F(VendorDrivers, AutomaticSelectionAcrossAbsentAndPresentVendors) {
    PcSpec withChip;
    withChip.gpus = {GpuSpec{{Output(0x10, true)}}};
    PcSpec noDisplay;
    noDisplay.gpus = {GpuSpec{}};
    noDisplay.lspconSupported = false;
    const struct {
        const char* name;
        PcSpec setup;
        bool nvidia, amd, intel;
        int32_t result;
        std::string gfxName;
        std::string textEnd;
    } cases[] = {
        {"no driver at all", withChip, false, false, false, 2, "Linux: failed",
         kAmdAbsent + "Graphics adapter initialization - Intel (LS-PCON): failed! "
                      "(-2147221005)\r\n" + kLinuxAbsent},
        {"NVIDIA without a display, then AMD", noDisplay, true, true, false, 0, "AMD: 0x77",
         "NVAPI Init failed\r\n" + kAmdDone +
             "AMD Adapter num#= 1\r\n Active Adapter# 0:\r\n"
             "   Num of Disp = 0\r\n"},
        {"NVIDIA without a display, nothing else", noDisplay, true, false, false, 1,
         "Linux: failed", "(-2147221005)\r\n" + kLinuxAbsent},
        {"Intel with nothing attached", noDisplay, false, false, true, 1, "Linux: failed",
         "  Not Supported!\r\nGraphics adapter initialization - Intel: done!\r\n" +
             kLinuxAbsent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UsePc(c.setup, c.nvidia, c.amd, c.intel);
        const Selection s = Select(GFX_AUTO, 0x77);
        EXPECT_EQ(s.result, c.result);
        EXPECT_EQ(s.gfxName, c.gfxName);
        EXPECT_THAT(s.text, ::testing::EndsWith(c.textEnd));
    }
}

TEST_F(VendorDrivers, AConfiguredIntelDeviceIdIsUsedWithoutASearch) {
    PcSpec setup;
    setup.gpus = {GpuSpec{{Output(0x1234, true)}}};
    UsePc(setup, false, false, true);
    const Selection s = Select(GFX_INTEL, 0x1234);
    EXPECT_EQ(s.result, 0);
    EXPECT_EQ(s.text, "Gfx Selection = 4\r\nGraphics adapter initialization - Intel: done!\r\n");
    EXPECT_EQ(s.gfxName, "Intel: 0x1234");
    ExpectChipAnswers();
}

}  // namespace
}  // namespace zorvan::sim

namespace zorvan::sim {
namespace {

void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The simulated drivers refuse malformed records before anything reaches the link, and
// answer a well-formed one from the chip.
TEST(SimulatedDriverRecords, AdlNativeAuxChecksEveryField) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    VirtualChip chip(RunningChip());
    PcSpec setup;
    setup.gpus = {GpuSpec{{Output(0x1, true)}}};
    VirtualPc pc(setup, &chip);
    SimAdl adl(pc, true);
    ASSERT_TRUE(adl.Load(adl::kLibraryName));
    ASSERT_EQ(
        adl.MainControlCreate([](int size) { return std::malloc(static_cast<size_t>(size)); }, 1),
        0);
    const struct {
        const char* name;
        uint32_t size, command, address, length;
        int display;
        int result;
    } cases[] = {
        {"good read", 36, 2, 0x00000, 4, 0, 0},
        {"record size", 35, 2, 0x00000, 4, 0, adl::ADL_ERR_INVALID_PARAM},
        {"command", 36, 4, 0x00000, 4, 0, adl::ADL_ERR_INVALID_PARAM},
        {"no bytes", 36, 2, 0x00000, 0, 0, adl::ADL_ERR_INVALID_PARAM},
        {"17 bytes", 36, 3, 0x00000, 17, 0, adl::ADL_ERR_INVALID_PARAM},
        {"address beyond 20 bits", 36, 2, 0x100000, 4, 0, adl::ADL_ERR_INVALID_PARAM},
        {"no such display", 36, 2, 0x00000, 4, 1, adl::ADL_ERR_INVALID_ADL_IDX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t record[36] = {};
        Put32(record, c.size);
        Put32(record + 8, c.command);
        Put32(record + 12, c.address);
        Put32(record + 16, c.length);
        EXPECT_EQ(adl.NativeAuxChannelAccess(0, c.display, record), c.result);
        if (c.result == 0) {
            EXPECT_EQ(record[4], 1) << "done";
        }
    }
}

TEST(SimulatedDriverRecords, CuiDataBlocksAreCheckedByGuidSizeCommandAndReservedBytes) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    VirtualChip chip(RunningChip());
    PcSpec setup;
    setup.gpus = {GpuSpec{{Output(0x1, true)}}};
    setup.gpus[0].displays[0].cui.lspconPort = 0x0F;
    VirtualPc pc(setup, &chip);
    SimCui cui(pc, true);
    std::unique_ptr<cui::Interface> object;
    ASSERT_EQ(cui.CreateInstance(cui::kProgId, &object), 0);
    const struct {
        const char* name;
        bool lspcon;
        uint32_t size, device, command, length;
        bool set;
        uint8_t reserved;
        cui::HResult hr;
        uint32_t status;
    } cases[] = {
        {"AUX block read", false, 32, 0x1, 9, 4, false, 0, 0, 0},
        {"LS-PCON block read", true, 160, 0x0F, 9, 4, false, 0, 0, 0},
        {"AUX block of the LS-PCON size", false, 160, 0x1, 9, 4, false, 0, kCuiInvalidArg, 0},
        {"write command through get-data", false, 32, 0x1, 8, 4, false, 0, kCuiInvalidArg, 0},
        {"read command through set-data", true, 160, 0x0F, 9, 4, true, 0, kCuiInvalidArg, 0},
        {"17 bytes", false, 32, 0x1, 9, 17, false, 0, kCuiInvalidArg, 0},
        {"reserved bytes set", true, 160, 0x0F, 9, 4, false, 1, kCuiInvalidArg, 0},
        {"unknown UID", false, 32, 0x2, 9, 4, false, 0, 0, kCuiStatusUnknownDevice},
        {"empty LS-PCON port", true, 160, 0x0C, 9, 4, false, 0, 0, kCuiStatusNoReply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t block[160] = {};
        const uint32_t base = c.lspcon ? 16 : 4;
        Put32(block, c.device);
        Put32(block + base, c.command);
        Put32(block + base + 4, c.length);
        if (c.lspcon) {
            block[8] = c.reserved;  // inside the zero bytes 4..15
        }
        uint32_t status = 99;
        const cui::Guid& guid = c.lspcon ? cui::kLspconAuxDataBlock : cui::kAuxDataBlock;
        const cui::HResult hr = c.set ? object->SetDeviceData(guid, c.size, block, &status)
                                      : object->GetDeviceData(guid, c.size, block, &status);
        EXPECT_EQ(hr, c.hr);
        EXPECT_EQ(status, c.status);
    }
}

// The chip is at 0x6E; on the wire its 7-bit address 0x37. A driver hands it only a
// request addressed its way: the NVIDIA and Intel records name the chip 0x6E whatever the
// direction (an odd address is refused), the AMD DDC block access writes to 0x6E and reads
// from 0x6F (the address byte's bit 0 is the direction).
const std::vector<uint8_t> kProbe = {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71};

bool IsProbeAnswer(const uint8_t* reply) {
    return reply[0] == 0x6E && reply[1] == 0x85 && reply[6] == 0x0C;
}

// One GPU, the chip behind its only output (display id and Intel UID 0x1).
PcSpec OneOutputWithTheChip() {
    PcSpec setup;
    setup.gpus = {GpuSpec{{Output(0x1, true)}}};
    return setup;
}

class DriverAddressing : public ::testing::Test {
  protected:
    platform::VirtualClock clock_;
    platform::ScopedClock guard_{clock_};
    VirtualChip chip_{RunningChip()};
    VirtualPc pc_{OneOutputWithTheChip(), &chip_};
};

TEST_F(DriverAddressing, IntelBlocksReachTheChipOnlyAt0x6E) {
    SimCui cui(pc_, true);
    std::unique_ptr<cui::Interface> object;
    ASSERT_EQ(cui.CreateInstance(kCuiProgId, &object), kCuiOk);
    const auto exchange = [&](uint32_t command, uint32_t address, std::vector<uint8_t>& data,
                              uint32_t& status) {
        uint8_t block[32] = {};
        Put32(block, 0x1);
        Put32(block + 4, command);
        Put32(block + 8, static_cast<uint32_t>(data.size()));
        Put32(block + 12, address);
        std::copy(data.begin(), data.end(), block + 16);
        status = 99;
        const cui::HResult hr =
            command == kCuiI2cWrite ? object->SetDeviceData(kCuiAuxBlockGuid, 32, block, &status)
                                    : object->GetDeviceData(kCuiAuxBlockGuid, 32, block, &status);
        std::copy(block + 16, block + 16 + data.size(), data.begin());
        return hr;
    };
    std::vector<uint8_t> probe = kProbe;
    std::vector<uint8_t> reply(8, 0xEE);
    uint32_t status = 0;
    EXPECT_EQ(exchange(kCuiI2cWrite, 0x6F, probe, status), kCuiInvalidArg) << "write to 0x6F";
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(exchange(kCuiI2cWrite, 0x6E, probe, status), kCuiOk);
    EXPECT_EQ(status, kCuiStatusDone);
    clock_.SleepUs(50'000);
    EXPECT_EQ(exchange(kCuiI2cRead, 0x6F, reply, status), kCuiInvalidArg) << "read from 0x6F";
    EXPECT_EQ(reply, std::vector<uint8_t>(8, 0xEE));
    ASSERT_EQ(exchange(kCuiI2cRead, 0x6E, reply, status), kCuiOk);
    EXPECT_EQ(status, kCuiStatusDone);
    EXPECT_TRUE(IsProbeAnswer(reply.data()));
}

TEST_F(DriverAddressing, AmdWritesGoTo0x6EAndReadsTo0x6F) {
    SimAdl adl(pc_, true);
    ASSERT_TRUE(adl.Load(kAdlLibraryFile));
    ASSERT_EQ(
        adl.MainControlCreate([](int size) { return std::malloc(static_cast<size_t>(size)); }, 1),
        kAdlOk);
    const auto write = [&](uint8_t address) {
        std::vector<uint8_t> send = {address};
        send.insert(send.end(), kProbe.begin(), kProbe.end());
        int none = 0;
        return adl.DdcBlockAccessGet(0, 0, 32, 0, static_cast<int>(send.size()), send.data(),
                                     &none, nullptr);
    };
    const auto read = [&](uint8_t address, uint8_t* reply) {
        int length = 8;
        return adl.DdcBlockAccessGet(0, 0, 32, 0, 1, &address, &length, reply);
    };
    EXPECT_EQ(write(0x6F), kAdlErrInvalidParam) << "a read with nothing to receive";
    ASSERT_EQ(write(0x6E), kAdlOk);
    clock_.SleepUs(50'000);
    uint8_t reply[8];
    std::fill(std::begin(reply), std::end(reply), 0xEE);
    EXPECT_EQ(read(0x6E, reply), kAdlOk) << "an empty write";
    EXPECT_EQ(reply[0], 0xEE) << "nothing was read";
    ASSERT_EQ(read(0x6F, reply), kAdlOk);
    EXPECT_TRUE(IsProbeAnswer(reply));
}

}  // namespace
}  // namespace zorvan::sim
