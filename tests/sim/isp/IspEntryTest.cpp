// ISP mode, the driver download into chip RAM and the driver's start, from the link side.
#include <gtest/gtest.h>

#include <string>

#include "sim/chip/isp/IspEngine.h"
#include "sim/demo/DemoDriver.h"
#include "tests/sim/isp/IspLink.h"

namespace zorvan::sim::testing {
namespace {

const Bytes kTypeQuery = {0x06, 0xC8, 0x02};
const Bytes kNoPointer = {0x00, 0x00, 0x00};

class IspEntry : public IspFixture {
  protected:
    Bytes RamAt(uint32_t address, size_t n) {
        const std::vector<uint8_t>& ram = Chip().Isp().Ram();
        return Bytes(ram.begin() + address, ram.begin() + static_cast<long>(address + n));
    }
};

TEST_F(IspEntry, IspModeNeedsBothCommandsInOrder) {
    // 0x20 0x00 alone is not an entry: no acknowledgement, and downloads stay refused.
    EXPECT_EQ(Exchange({0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x20, 0x00, 0x5F}), kNullMessage);
    EXPECT_NE(Exchange(HostPacket({0x13, 0x18, 0x00, 0xAA})), kAck);

    EnterIsp();
    EXPECT_EQ(Exchange(HostPacket({0x13, 0x18, 0x00, 0xAA})), kAck);
    EXPECT_EQ(RamAt(0x1800, 1), Bytes{0xAA});
}

TEST_F(IspEntry, DownloadPacketsLandInRamAsAddressed) {
    EnterIsp();
    // A full packet (count byte 0x7A), then a last packet of one byte (count byte 6).
    Bytes full = {0x51, 0xFC, 0xC2, 0x00, 0x00, 0x7A, 0x13, 0x18, 0x75};
    for (int i = 0; i < 117; ++i) {
        full.push_back(static_cast<uint8_t>(i));
    }
    uint8_t x = 0x6E;
    for (uint8_t b : full) {
        x = static_cast<uint8_t>(x ^ b);
    }
    full.push_back(x);
    EXPECT_EQ(Exchange(full), kAck);
    EXPECT_EQ(Exchange(HostPacket({0x13, 0x18, 0xEA, 0x5C})), kAck);

    const Bytes ram = RamAt(0x1875, 118);
    for (int i = 0; i < 117; ++i) {
        EXPECT_EQ(ram[static_cast<size_t>(i)], i);
    }
    EXPECT_EQ(ram[117], 0x5C);
}

Bytes DownloadCommand(uint16_t address, size_t dataBytes) {
    Bytes c = {0x13, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    c.resize(3 + dataBytes, 0x11);
    return c;
}

TEST_F(IspEntry, RefusesMalformedDownloadPackets) {
    Bytes badChecksum = HostPacket(DownloadCommand(0x1800, 1));
    badChecksum.back() ^= 0x01;
    Bytes badCount = HostPacket(DownloadCommand(0x1800, 1));
    badCount[5] = 0x07;
    badCount.back() ^= 0x06 ^ 0x07;  // a checksum that matches the changed byte
    struct Case {
        const char* what;
        Bytes packet;
    };
    const Case cases[] = {
        {"118 data bytes", HostPacket(DownloadCommand(0x1800, 118))},
        {"address below the download window", HostPacket(DownloadCommand(0x0800, 1))},
        {"range past the download window", HostPacket(DownloadCommand(0x9FF0, 17))},
        {"no address", HostPacket({0x13, 0x18})},
        {"wrong checksum", badChecksum},
        {"count byte not matching", badCount},
    };
    EnterIsp();
    for (const Case& c : cases) {
        EXPECT_EQ(Exchange(c.packet), kNullMessage) << c.what;
    }
    EXPECT_EQ(RamAt(0x1800, 4), Bytes(4, 0x00));
    EXPECT_EQ(RamAt(0x9FF0, 16), Bytes(16, 0x00));
}

TEST_F(IspEntry, StartedDriverPublishesItsMailboxAndOwnsTheChip) {
    EnterIsp();
    Download(MakeDemoDriverPayload());
    EXPECT_EQ(Exchange({0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x18, 0x00, 0x7A}), kAck);
    Wait(100);

    EXPECT_EQ(AuxRead(0x40C, 3), (Bytes{0x00, 0x02, 0x01}));
    EXPECT_EQ(AuxRead(0x10200, 12), (Bytes{0x00, 0x00, 0x02, 0x00, 0x00, 0x02,     // command 512
                                           0x00, 0x00, 0x01, 0x00, 0x80, 0x00}));  // status 128
    EXPECT_EQ(AuxRead(kStatus, 1), Bytes{0x00});
    // The descriptor is the driver's own.
    EXPECT_FALSE(AuxWrite(0x40C, {0x00}));
    // The boot ROM no longer answers DDC/CI.
    EXPECT_EQ(Exchange(HostPacket(kTypeQuery)), kNullMessage);
}

TEST_F(IspEntry, NoMailboxEverAppearsWithoutAnIntactDriver) {
    const Bytes payload = MakeDemoDriverPayload();
    struct Case {
        const char* what;
        Bytes ram;
        uint16_t runAt;
    };
    Bytes truncated(payload.begin(), payload.end() - 117);
    Bytes corrupted = payload;
    corrupted[0x800] ^= 0x40;
    Bytes longer = payload;
    longer[5] = 0x20;                         // announces 0x2000 bytes
    const Bytes file = MakeDemoDriverFile();  // downloaded whole, length header included
    const Case cases[] = {
        {"last packet missing", truncated, kRamAddress},
        {"one code byte changed", corrupted, kRamAddress},
        {"length field changed", longer, kRamAddress},
        {"started one byte off", payload, kRamAddress + 1},
        {"file with its header", file, kRamAddress},
        {"nothing downloaded", {}, kRamAddress},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reload(NewChipState(ChipFamily::Kq1100, 1500));
        EnterIsp();
        Download(c.ram);
        Run(c.runAt);  // acknowledged all the same
        Wait(10'000);
        EXPECT_EQ(AuxRead(0x40C, 3), kNoPointer);
        EXPECT_EQ(AuxRead(kStatus, 4), Bytes(4, 0x00));
        EXPECT_FALSE(AuxWrite(kCommand, {0x09}));
        EXPECT_EQ(Exchange(HostPacket(kTypeQuery)), kNullMessage);
    }
}

TEST_F(IspEntry, PowerCycleLosesTheDownloadedDriver) {
    EnterIsp();
    Download(MakeDemoDriverPayload());
    Chip().PowerCycle();
    EXPECT_NE(Exchange(HostPacket(kTypeQuery)), kNullMessage);

    EnterIsp();
    Run();
    Wait(1000);
    EXPECT_EQ(AuxRead(0x40C, 3), kNoPointer);
}

TEST_F(IspEntry, DemoDriverFileCarriesHeaderPayloadAndSignature) {
    const Bytes file = MakeDemoDriverFile();
    ASSERT_GE(file.size(), 4u);
    const uint32_t length =
        file[0] | (file[1] << 8) | (file[2] << 16) | (static_cast<uint32_t>(file[3]) << 24);
    // The header a host recognises: low byte 0 and at most 0x4000 bytes.
    EXPECT_EQ(file[0], 0x00);
    EXPECT_LE(length, 0x4000u);
    EXPECT_EQ(file.size(), 4 + length + 256);

    // The payload the header announces is what starts on the chip.
    EnterIsp();
    Download(Bytes(file.begin() + 4, file.begin() + 4 + length));
    Run();
    Wait(100);
    EXPECT_EQ(AuxRead(0x40C, 3), (Bytes{0x00, 0x02, 0x01}));
}

}  // namespace
}  // namespace zorvan::sim::testing
