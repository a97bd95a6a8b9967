// Which link a program locks, and what a second program on it is told. Scopes carry the test
// process's id, so parallel test runs never meet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/control/LinkReservation.h"
#include "core/control/ZorvanControl.h"
#include "core/gfx/nvidia/DeviceList.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

std::wstring TestScope(const wchar_t* what) {
    return std::wstring(what) + L" " + std::to_wstring(::getpid());
}

struct NameCase {
    GfxLib* (*backend)(ZorvanControl&);
    uint32_t deviceId;
    const wchar_t* name;
};

TEST(LinkName, NamesTheBackendAndTheDisplayItReaches) {
    const NameCase cases[] = {
        {[](ZorvanControl&) -> GfxLib* { return nullptr; }, 0x1000, L"none"},
        {[](ZorvanControl& c) -> GfxLib* { return &c.gfxAmd; }, 0x10002, L"AMD: 0x10002"},
        {[](ZorvanControl& c) -> GfxLib* { return &c.gfxIntelSkylake; }, 0x0C,
         L"Intel (LS-PCON): 0x0C"},
        {[](ZorvanControl& c) -> GfxLib* { return &c.gfxIntel; }, 0x1000, L"Intel: 0x1000"},
        // Without a device list (no display found) the configured id is all there is.
        {[](ZorvanControl& c) -> GfxLib* { return &c.gfxNvidia; }, 0x2000, L"NVIDIA: 0x2000"},
    };
    for (const NameCase& c : cases) {
        ZorvanControl control;
        control.gfx = c.backend(control);
        control.deviceId = c.deviceId;
        EXPECT_EQ(LinkName(control), c.name);
    }
}

// With two GPUs, Connect leaves the second one's display id behind, but every transfer
// goes to the first GPU's display: that is the link in use.
TEST(LinkName, NvidiaNamesTheDisplayTheTransfersAddress) {
    ZorvanControl control;
    control.gfx = &control.gfxNvidia;
    for (uint32_t display : {0x1000u, 0x2000u}) {
        auto device = std::make_shared<nvidia::Device>();
        device->displayId = display;
        nvidia::Devices().push_back(device);
    }
    control.deviceId = 0x2000;
    EXPECT_EQ(LinkName(control), L"NVIDIA: 0x1000");
    nvidia::Devices().clear();
}

class ReserveLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        control_.gfx = &control_.gfxIntel;
        control_.deviceId = 0x1000;
    }
    ZorvanControl control_;
};

TEST_F(ReserveLinkTest, ASecondReservationOfTheLinkIsToldItIsBusy) {
    const std::wstring scope = TestScope(L"busy");
    std::wstring message = L"stale";
    const std::unique_ptr<platform::LinkLock> held = ReserveLink(control_, 0, scope, message);
    ASSERT_NE(held, nullptr) << ToUtf8(message);
    EXPECT_EQ(message, L"");

    EXPECT_EQ(ReserveLink(control_, 1, scope, message), nullptr);
    EXPECT_EQ(message,
              L"The link Intel: 0x1000 is in use by another program; try again when it has "
              L"finished!\r\n");

    // The same ids in another scope (another virtual PC's chip) are another link, and so is
    // another display in the same scope.
    EXPECT_NE(ReserveLink(control_, 0, TestScope(L"elsewhere"), message), nullptr);
    control_.deviceId = 0x1001;
    EXPECT_NE(ReserveLink(control_, 0, scope, message), nullptr) << ToUtf8(message);
}

// No vendor interface opened: no transfer can reach a link, so nothing is locked and any
// number of programs pass.
TEST_F(ReserveLinkTest, WithoutAnyBackendNothingIsLocked) {
    const std::wstring scope = TestScope(L"no backend");
    std::wstring message;
    const std::unique_ptr<platform::LinkLock> first = ReserveLink(control_, 2, scope, message);
    const std::unique_ptr<platform::LinkLock> second = ReserveLink(control_, 2, scope, message);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_NE(ReserveLink(control_, 0, scope, message), nullptr) << ToUtf8(message);
}

}  // namespace
}  // namespace zorvan
