// Init and teardown of the backends over their driver layers: the platform's own layers
// of a machine without GPU drivers, and scripted ones.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/gfx/GfxLibAmd.h"
#include "core/gfx/GfxLibIntel.h"
#include "core/gfx/GfxLibIntelSkylake.h"
#include "core/gfx/GfxLibNvidia.h"
#include "tests/gfx/FakeLayers.h"

namespace zorvan::test {
namespace {

using Calls = std::vector<std::string>;

TEST(PlatformLayers, WithoutGpuDriversEveryBackendFailsToInitialise) {
    std::wstring text;
    GfxLibNvidia nv;
    EXPECT_EQ(nv.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text, L"Graphics adapter initialization - NVIDIA: failed! (-2)\r\n");
    GfxLibAmd amd;
    EXPECT_EQ(amd.Init(text), GFX_AMD_LOAD_FAILED);
    EXPECT_EQ(text, L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n");
    GfxLibIntel intel;
    EXPECT_EQ(intel.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text, L"Graphics adapter initialization - Intel: failed! (-2147221005)\r\n");
    GfxLibIntelSkylake lspcon;
    EXPECT_EQ(lspcon.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text,
              L"Graphics adapter initialization - Intel (LS-PCON): failed! (-2147221005)\r\n");
}

TEST(PlatformLayers, TransfersOfUninitialisedBackendsFailWithoutALink) {
    GfxLibAmd amd;
    GfxLibIntel intel;
    GfxLibIntelSkylake lspcon;
    uint8_t data[8] = {};
    int32_t length = 0;
    GfxLib* const backends[] = {&amd, &intel, &lspcon};
    const int32_t auxResults[] = {GFX_NO_DEVICE, GFX_INTEL_NO_INTERFACE, GFX_LSPCON_NO_INTERFACE};
    const int32_t i2cResults[] = {GFX_NO_DEVICE, GFX_BAD_ARGUMENT, GFX_LSPCON_NO_INTERFACE};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(backends[i]->AuxWrite(0, 0x20000, data, 8), auxResults[i]);
        EXPECT_EQ(backends[i]->AuxRead(0, 0x20000, data, 8), auxResults[i]);
        EXPECT_EQ(backends[i]->I2cWrite(0, 0x6E, data, 8), i2cResults[i]);
        EXPECT_EQ(backends[i]->I2cRead(0, 0x6E, data, 8, &length), i2cResults[i]);
    }
}

TEST(BackendConstants, AreThoseEachBackendIsBuiltWith) {
    GfxLibIntel intel;
    GfxLibIntelSkylake lspcon;
    GfxLibNvidia nv;
    GfxLibAmd amd;
    const GfxLib* const backends[] = {&intel, &lspcon, &nv, &amd};
    const int32_t replyBufferSizes[] = {132, 131, 131, 131};
    const int32_t chunkDelays[] = {0, 0, 700, 700};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(backends[i]->replyBufferSize, replyBufferSizes[i]) << i;
        EXPECT_EQ(backends[i]->chunkDelayUs, chunkDelays[i]) << i;
        EXPECT_EQ(backends[i]->mailboxAddress, 0x20000u) << i;
    }
}

TEST(AmdInit, ReportsEachStepThatFails) {
    const struct {
        const char* name;
        std::set<std::wstring> loadable;
        std::string missing;
        int createResult;
        int32_t result;
        const wchar_t* text;
        Calls calls;
    } cases[] = {
        {"loads",
         {L"atiadlxx.dll"},
         "",
         0,
         0,
         L"Graphics adapter initialization - AMD: done!\r\n",
         {"load atiadlxx.dll", "create 1"}},
        {"falls back to the 32-bit name",
         {L"atiadlxy.dll"},
         "",
         0,
         0,
         L"Graphics adapter initialization - AMD: done!\r\n",
         {"load atiadlxx.dll", "load atiadlxy.dll", "create 1"}},
        {"no library",
         {},
         "",
         0,
         GFX_AMD_LOAD_FAILED,
         L"Graphics adapter initialization - AMD: Loading DLL failed!\r\n",
         {"load atiadlxx.dll", "load atiadlxy.dll"}},
        {"enumeration entry point missing",
         {L"atiadlxx.dll"},
         "ADL_Adapter_Active_Get",
         0,
         GFX_AMD_ENTRY_POINTS_MISSING,
         L"Graphics adapter initialization - AMD: Init handles failed!\r\n",
         {"load atiadlxx.dll"}},
        {"native AUX missing",
         {L"atiadlxx.dll"},
         "ADL_Display_NativeAUXChannel_Access",
         0,
         GFX_AMD_NATIVE_AUX_MISSING,
         L"Graphics adapter initialization - AMD: Get Native AUX ch failed!\r\n",
         {"load atiadlxx.dll"}},
        {"DDC block access missing",
         {L"atiadlxx.dll"},
         "ADL_Display_DDCBlockAccess_Get",
         0,
         GFX_AMD_DDC_BLOCK_MISSING,
         L"Graphics adapter initialization - AMD: Get DDC lock access ... failed!\r\n",
         {"load atiadlxx.dll"}},
        {"context creation fails",
         {L"atiadlxx.dll"},
         "",
         -1,
         GFX_AMD_CREATE_FAILED,
         L"Graphics adapter initialization - AMD: Init ADL failed!\r\n",
         {"load atiadlxx.dll", "create 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAdl library;
        ScopedAdl guard(library);
        library.loadable = c.loadable;
        if (!c.missing.empty()) {
            library.missingEntryPoints = {c.missing};
        }
        library.createResult = c.createResult;
        std::wstring text;
        {
            GfxLibAmd amd;
            EXPECT_EQ(amd.Init(text), c.result);
            EXPECT_EQ(text, c.text);
            EXPECT_EQ(library.calls, c.calls);
            library.calls.clear();
        }
        // Teardown destroys only a context that was created and unloads a loaded library.
        Calls teardown;
        if (c.result == 0) {
            teardown = {"destroy", "unload"};
        } else if (c.result != GFX_AMD_LOAD_FAILED) {
            teardown = {"unload"};
        }
        EXPECT_EQ(library.calls, teardown);
    }
}

TEST(AmdInit, ARepeatedInitReleasesTheEarlierLoad) {
    FakeAdl library;
    ScopedAdl guard(library);
    GfxLibAmd amd;
    std::wstring text;
    ASSERT_EQ(amd.Init(text), 0);
    ASSERT_EQ(amd.Init(text), 0);
    EXPECT_EQ(library.calls, (Calls{"load atiadlxx.dll", "create 1", "destroy", "unload",
                                    "load atiadlxx.dll", "create 1"}));
}

TEST(IntelInit, CreatesTheDriverObjectAndReleasesItAtTeardown) {
    FakeCui component;
    ScopedCui guard(component);
    std::wstring text;
    {
        GfxLibIntel intel;
        GfxLibIntelSkylake lspcon;
        EXPECT_EQ(intel.Init(text), 0);
        EXPECT_EQ(text, L"Graphics adapter initialization - Intel: done!\r\n");
        EXPECT_EQ(lspcon.Init(text), 0);
        EXPECT_EQ(text, L"Graphics adapter initialization - Intel (LS-PCON): done!\r\n");
        EXPECT_EQ(component.Alive(), 2) << "each backend keeps an object of its own";
        EXPECT_EQ(component.coInitializeCalls, 2);
        EXPECT_EQ(component.progIds,
                  (std::vector<std::wstring>{L"Igfxext.CUIExternal", L"Igfxext.CUIExternal"}));

        EXPECT_EQ(intel.Init(text), 0);
        EXPECT_EQ(component.Alive(), 2) << "a new Init replaces the earlier object";
    }
    EXPECT_EQ(component.Alive(), 0);
}

TEST(IntelInit, FailureShowsTheResultAndDropsAnEarlierObject) {
    FakeCui component;
    ScopedCui guard(component);
    GfxLibIntel intel;
    GfxLibIntelSkylake lspcon;
    std::wstring text;
    ASSERT_EQ(intel.Init(text), 0);
    uint8_t data[4] = {};
    // With the object a transfer reaches it: this one fails the call with E_FAIL.
    EXPECT_EQ(intel.AuxRead(0, 0x20000, data, 4), static_cast<int32_t>(0x80004005u));

    component.createResult = static_cast<cui::HResult>(0x80004005u);
    EXPECT_EQ(intel.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text, L"Graphics adapter initialization - Intel: failed! (-2147467259)\r\n");
    EXPECT_EQ(component.Alive(), 0);
    EXPECT_EQ(intel.AuxRead(0, 0x20000, data, 4), GFX_INTEL_NO_INTERFACE);

    // Success without an object is no object.
    component.createResult = 0;
    component.giveObject = false;
    EXPECT_EQ(lspcon.Init(text), GFX_INIT_FAILED);
    EXPECT_EQ(text,
              L"Graphics adapter initialization - Intel (LS-PCON): failed! (-2147221005)\r\n");
}

}  // namespace
}  // namespace zorvan::test
