// ZorvanControl::InitGraphicsAdapter over scripted driver layers: which backends run, the
// transcript, the adapter name and the result.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "tests/gfx/FakeLayers.h"
#include "tests/gfx/FakeLinux.h"
#include "tests/gfx/FakeNvApi.h"

namespace zorvan::test {
namespace {

const std::wstring kNvidiaFailed = L"Graphics adapter initialization - NVIDIA: failed! (-2)\r\n";
const std::wstring kNvidiaDone = L"Graphics adapter initialization - NVIDIA: done!\r\n";
const std::wstring kAmdFailed = L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n";
const std::wstring kLspconFailed =
    L"Graphics adapter initialization - Intel (LS-PCON): failed! (-2147221005)\r\n";
const std::wstring kLspconDone = L"Graphics adapter initialization - Intel (LS-PCON): done!\r\n";
const std::wstring kIntelFailed =
    L"Graphics adapter initialization - Intel: failed! (-2147221005)\r\n";
const std::wstring kIntelDone = L"Graphics adapter initialization - Intel: done!\r\n";
const std::wstring kLinuxFailed =
    L"Graphics adapter initialization - Linux: no DisplayPort AUX device!\r\n";
const std::wstring kLinuxDone = L"Graphics adapter initialization - Linux: done!\r\n";
// The scripted driver object fails every data-block call with E_FAIL.
const std::wstring kNoPortAnswers =
    L"  Device ID: 0x0C = N/A (0x80004005)\r\n  Device ID: 0x0D = N/A (0x80004005)\r\n"
    L"  Device ID: 0x0E = N/A (0x80004005)\r\n  Device ID: 0x0F = N/A (0x80004005)\r\n";
const std::wstring kNoDisplayListing =
    L"NV GPU Count =  1\r\n<GPU: 0>\r\n  Error: Get ConnectedDisplayID Count\r\nNVAPI Init "
    L"failed\r\n";

// Where the platform has no Linux kernel interfaces, the search ends with the vendors'.
TEST(AdapterSelection, AutomaticWithoutAnyDriverTriesThreeBackends) {
    FakeLinux noKernel;
    noKernel.present = false;
    ScopedLinux linuxGuard(noKernel);
    ZorvanControl control;
    std::wstring text;
    EXPECT_EQ(control.InitGraphicsAdapter(text), 2);
    EXPECT_EQ(text, L"Gfx Selection = 0\r\n" + kNvidiaFailed + kAmdFailed + kLspconFailed);
    EXPECT_EQ(control.gfxName, L"Intel (LS-PCON): failed");
    EXPECT_EQ(control.gfx, &control.gfxIntelSkylake);

    // The Refresh button runs it again: the same transcript, the name rebuilt.
    EXPECT_EQ(control.InitGraphicsAdapter(text), 2);
    EXPECT_EQ(text, L"Gfx Selection = 0\r\n" + kNvidiaFailed + kAmdFailed + kLspconFailed);
    EXPECT_EQ(control.gfxName, L"Intel (LS-PCON): failed");
}

// On Linux the kernel's AUX devices come last, after the vendors' drivers.
TEST(AdapterSelection, AutomaticOnLinuxTriesTheKernelsAuxDevicesLast) {
    FakeLinux noAux;  // no DRM device
    ScopedLinux linuxGuard(noAux);
    ZorvanControl control;
    std::wstring text;
    EXPECT_EQ(control.InitGraphicsAdapter(text), 2);
    EXPECT_EQ(text, L"Gfx Selection = 0\r\n" + kNvidiaFailed + kAmdFailed + kLspconFailed +
                        kLinuxFailed);
    EXPECT_EQ(control.gfxName, L"Linux: failed");
    EXPECT_EQ(control.gfx, &control.gfxLinux);
}

class LinuxSelection : public ::testing::Test {
protected:
    void SetUp() override {
        kernel.AddDp("card0-DP-1", "0000:00:02.0", "i915", 0, 5);
        kernel.read = [this](const std::string&, uint8_t* buffer, size_t count) -> int64_t {
            std::memset(buffer, 0xFF, count);
            if (chipAnswers) {
                const uint8_t ack[8] = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};
                std::memcpy(buffer, ack, 8);
            }
            return static_cast<int64_t>(count);
        };
    }
    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    FakeLinux kernel;
    ScopedLinux linuxGuard{kernel};
    bool chipAnswers = true;
    const std::wstring listing =
        L"Linux DisplayPort connectors: 1\r\n"
        L"  card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5), connected: ";
    const std::wstring name = L"Linux: card0-DP-1 (GPU 0000:00:02.0 i915, /dev/drm_dp_aux0, /dev/i2c-5)";
};

TEST_F(LinuxSelection, ConfiguredConnectorNamesConnectorGpuAndNodes) {
    ZorvanControl control;
    control.gfxSelection = GFX_LINUX;
    control.gfxLinux.settings.connector = L"card0-DP-1";
    std::wstring text;
    for (int run = 0; run < 2; ++run) {  // again as the Refresh button does
        EXPECT_EQ(control.InitGraphicsAdapter(text), 0);
        EXPECT_EQ(text, L"Gfx Selection = 5\r\n" + kLinuxDone + listing + L"the chip answers\r\n");
        EXPECT_EQ(control.gfxName, name);
        EXPECT_EQ(control.gfx, &control.gfxLinux);
    }
    chipAnswers = false;
    EXPECT_EQ(control.InitGraphicsAdapter(text), 1);
    EXPECT_EQ(control.gfxName, L"Linux: ");
}

TEST_F(LinuxSelection, AutomaticTakesTheConnectorAfterTheVendorsFail) {
    ZorvanControl control;
    std::wstring text;
    EXPECT_EQ(control.InitGraphicsAdapter(text), 0);
    EXPECT_EQ(text, L"Gfx Selection = 0\r\n" + kNvidiaFailed + kAmdFailed + kLspconFailed +
                        kLinuxDone + listing + L"the chip answers\r\n");
    EXPECT_EQ(control.gfxName, name);
}

// The layers a case installs: NVIDIA absent, present without a display, or with a display
// of the given id; the Intel object creatable or not. AMD is always absent.
enum class Nvidia { kAbsent, kNoDisplay, kDisplay };

struct SelectionCase {
    const char* name;
    int32_t selection;
    uint32_t deviceId;
    Nvidia nvidia;
    uint32_t displayId;
    bool intelObject;
    int32_t result;
    std::wstring text;  // after the first line
    std::wstring gfxName;
    uint32_t deviceIdAfter;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SelectionCase& c, std::ostream* os) { *os << c.name; }

class AdapterSelectionCase : public ::testing::TestWithParam<SelectionCase> {
protected:
    platform::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    FakeLinux noAux;  // a Linux PC without DRM devices
    ScopedLinux linuxGuard{noAux};
    FakeNvApi nvapi;
    FakeCui cui;
};

TEST_P(AdapterSelectionCase, RunsTheBackendsInTurn) {
    const SelectionCase& c = GetParam();
    if (c.nvidia == Nvidia::kAbsent) {
        nvapi.initializeStatus = nvapi::NVAPI_LIBRARY_NOT_FOUND;
    } else if (c.nvidia == Nvidia::kNoDisplay) {
        nvapi.gpus.push_back(FakeGpu{});
    } else {
        AddSimpleGpu(nvapi, c.displayId, 0xABC);
    }
    if (!c.intelObject) {
        cui.createResult = cui::kHrClassString;
    }
    ScopedNvApi nvGuard(nvapi);
    ScopedCui cuiGuard(cui);

    ZorvanControl control;
    control.gfxSelection = c.selection;
    control.deviceId = c.deviceId;
    std::wstring text;
    EXPECT_EQ(control.InitGraphicsAdapter(text), c.result);
    EXPECT_EQ(text, L"Gfx Selection = " + std::to_wstring(c.selection) + L"\r\n" + c.text);
    EXPECT_EQ(control.gfxName, c.gfxName);
    EXPECT_EQ(control.deviceId, c.deviceIdAfter);
}

const std::wstring kNvidiaListing =
    L"NV GPU Count =  1\r\n<GPU: 0>\r\n  Num of ConnectedDisplayID =  1\r\n  No MST Root-Node "
    L"is found\r\n   DisplayHandle<0>= 0xABC\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, AdapterSelectionCase,
    ::testing::Values(
        // A backend that initialised makes the result 1, whatever follows it.
        SelectionCase{"AutoNvidiaWithoutDisplay", 0, 0, Nvidia::kNoDisplay, 0, false, 1,
                      kNvidiaDone + kNoDisplayListing + kAmdFailed + kLspconFailed + kLinuxFailed,
                      L"Linux: failed", 0},
        SelectionCase{"AutoNvidiaConnects", 0, 0, Nvidia::kDisplay, 0x1234, true, 0,
                      kNvidiaDone + kNvidiaListing, L"NVIDIA: 0x1234", 0x1234},
        SelectionCase{"AutoNvidiaSmallIdIsTwoDigits", 0, 0, Nvidia::kDisplay, 0x0C, true, 0,
                      kNvidiaDone + kNvidiaListing, L"NVIDIA: 0x0C", 0x0C},
        // LS-PCON initialises but finds no port: the legacy Intel backend follows.
        SelectionCase{"AutoLspconWithoutPortFallsToIntel", 0, 0, Nvidia::kAbsent, 0, true, 1,
                      kNvidiaFailed + kAmdFailed + kLspconDone + kNoPortAnswers + kIntelDone +
                          kLinuxFailed,
                      L"Linux: failed", 0},
        SelectionCase{"NvidiaOnlyFails", 1, 0, Nvidia::kAbsent, 0, true, 2, kNvidiaFailed,
                      L"NVIDIA: failed", 0},
        SelectionCase{"NvidiaOnlyWithoutDisplay", 1, 0, Nvidia::kNoDisplay, 0, true, 1,
                      kNvidiaDone + kNoDisplayListing, L"NVIDIA: ", 0},
        SelectionCase{"AmdOnlyFails", 2, 0x10003, Nvidia::kDisplay, 0x11, true, 2, kAmdFailed,
                      L"AMD: failed", 0x10003},
        // A configured Intel id is used without probing.
        SelectionCase{"LspconWithConfiguredPort", 3, 0x0D, Nvidia::kDisplay, 0x11, true, 0,
                      kLspconDone, L"Intel (LS-PCON): 0x0D", 0x0D},
        SelectionCase{"IntelWithConfiguredId", 4, 4660, Nvidia::kDisplay, 0x11, true, 0,
                      kIntelDone, L"Intel: 0x1234", 4660},
        SelectionCase{"LspconWithoutIdProbesAndStops", 3, 0, Nvidia::kDisplay, 0x11, true, 1,
                      kLspconDone + kNoPortAnswers, L"Intel (LS-PCON): ", 0},
        SelectionCase{"LspconFailsAlone", 3, 0x0D, Nvidia::kDisplay, 0x11, false, 2,
                      kLspconFailed, L"Intel (LS-PCON): failed", 0x0D},
        SelectionCase{"IntelFailsAlone", 4, 4660, Nvidia::kDisplay, 0x11, false, 2, kIntelFailed,
                      L"Intel: failed", 4660},
        // Codes outside the table run nothing.
        SelectionCase{"SelectionSeven", 7, 5, Nvidia::kDisplay, 0x11, true, 2, L"", L"", 5},
        SelectionCase{"NegativeSelection", -1, 5, Nvidia::kDisplay, 0x11, true, 2, L"", L"", 5}),
    [](const ::testing::TestParamInfo<SelectionCase>& p) { return p.param.name; });

TEST(AdapterSelection, OutOfRangeSelectionLeavesTheBackendUnchosen) {
    ZorvanControl control;
    control.gfxSelection = 7;
    std::wstring text = L"old";
    EXPECT_EQ(control.InitGraphicsAdapter(text), 2);
    EXPECT_EQ(text, L"Gfx Selection = 7\r\n");
    EXPECT_EQ(control.gfx, nullptr);
}

}  // namespace
}  // namespace zorvan::test
