// The version panel's Port#1 and Port#2 rows with the virtual PC's port switch: chips that
// answer behind it (also at DDC addresses other than the host's), a port with nothing behind
// it, and an update that writes only the host.
#include <gmock/gmock.h>

#include "sim/demo/DemoDriver.h"
#include "sim/state/StateFile.h"
#include "tests/gui/DialogFixture.h"

namespace zorvan::gui::testing {
namespace {

using ::testing::HasSubstr;

const std::string kFiles =
    "DriverFilePath=driver.bin\r\nFWFilePath=firmware.bin\r\nFWFilePathP1=port1.bin\r\n"
    "FWFilePathP2=port2.bin\r\n";
// Port#1 holds a chip at 0x6A, Port#2 nothing.
const std::string kSwitch = kSimulator + "PortSwitch=1\r\nPort1StateFile=port1-chip.state\r\n";

class PortSwitch : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        WriteBytes("driver.bin", sim::MakeDemoDriverFile());
        WriteChip(Image(1, 4), "port1-chip.state", 1501);
        WriteFirmware("port1.bin", 1, 7);
        WriteFirmware("port2.bin", 1, 7);
    }
};

TEST_F(PortSwitch, RowsShowTheChipBehindEachPort) {
    WriteConfig(kFiles + "Ddc2biAddrP1=0x6A\r\n", kSwitch);
    Start();
    EXPECT_EQ(Text(IDC_HOST_VERSION), L"Vexa1100 v1.05");
    EXPECT_EQ(Text(IDC_HOST_STATUS), L"v1.06");
    EXPECT_EQ(Text(IDC_P1_VERSION), L"Vexa1100 v1.04");
    EXPECT_TRUE(Ctl(IDC_P1_ARROW).shown);
    EXPECT_EQ(Text(IDC_P1_STATUS), L"v1.07");
    EXPECT_TRUE(Logic().Port1Ready());
    EXPECT_EQ(Text(IDC_P2_VERSION), L"Not found!");
    EXPECT_FALSE(Logic().Port2Ready());
    EXPECT_EQ(Logic().Control().ddcAddress, 0x6Eu);
}

TEST_F(PortSwitch, PortAtTheHostsAddressIsReachedOnlyWhileSelected) {
    WriteConfig("OneStepProgramming=0\r\n" + kFiles, kSwitch);
    Start();
    ASSERT_TRUE(Dlg().Click(IDC_GET_VERSION));
    const std::wstring out = Text(IDC_OUTPUT_BOX);
    EXPECT_THAT(out, HasSubstr(L"  Host    Device: Zorvan App: KQ1100 v1.05"));
    EXPECT_THAT(out, HasSubstr(L"  Port#1 Device: Zorvan App: KQ1100 v1.04"));
    EXPECT_THAT(out, HasSubstr(L"  Port#2 Device: Failed to get connection\r\n"));
}

TEST_F(PortSwitch, UpdateWritesOnlyTheHost) {
    WriteConfig(kFiles + "Ddc2biAddrP1=0x6A\r\n", kSwitch);
    Start();
    Dlg().PressEnter();
    EXPECT_EQ(Text(IDC_STATUS_LINE), L"ISP completed!");
    EXPECT_EQ(Text(IDC_HOST_STATUS), L"Updating ...");
    EXPECT_THAT(ReadLog(), HasSubstr("--> Update F/W on Host device...\r\n"));
    EXPECT_EQ(EndAndReadChip().flash, Image(1, 6));
    std::wstring error;
    EXPECT_EQ(sim::LoadState(WidePath("port1-chip.state"), error)->flash, Image(1, 4));
}

TEST_F(PortSwitch, AnOddPortAddressRefusesToStart) {
    WriteConfig(kFiles + "Ddc2biAddrP1=0x6B\r\n", kSwitch);
    Start();
    ASSERT_EQ(Dlg().Messages().size(), 1u);
    EXPECT_THAT(Dlg().Messages()[0].text, HasSubstr(L"Ddc2biAddrP1=0x6B"));
    EXPECT_EQ(Dlg().EndResult(), IDCANCEL);
}

}  // namespace
}  // namespace zorvan::gui::testing
