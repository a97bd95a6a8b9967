// The chip's DDC/CI side on its own: vendor commands as bytes on the wire, the answers
// as the chip frames them, and what it does with packets that are wrong or early.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>

#include "sim/chip/Crc.h"
#include "sim/chip/FirmwareImage.h"
#include "sim/demo/DemoImages.h"
#include "tests/sim/ChipLink.h"

namespace zorvan::sim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

ChipState RunningChip(ChipFamily family, FirmwareVersion version = {1, 5, 0}) {
    ChipState state = NewChipState(family, 1500);
    state.flash = MakeFirmwareImage(family, version);
    PowerCycle(state);
    return state;
}

class VendorChip : public ChipFixture {
  protected:
    using ChipFixture::ChipFixture;

    // The data bytes of a vendor reply after n and the echoed code, checked for framing.
    Bytes ReplyData(uint8_t echo) {
        const Bytes m = link_.ReadMessage();
        EXPECT_GE(m.size(), 8u);
        if (m.size() < 8) {
            return {};
        }
        uint8_t x = 0x50;
        for (size_t i = 0; i + 1 < m.size(); ++i) {
            x = static_cast<uint8_t>(x ^ m[i]);
        }
        EXPECT_EQ(m.back(), x) << "checksum";
        EXPECT_EQ(m[0], 0x6E);
        EXPECT_EQ(m[1], 0x80 | (m.size() - 3));
        EXPECT_THAT(Bytes(m.begin() + 2, m.begin() + 5), ElementsAre(0xC2, 0x00, 0x00));
        EXPECT_EQ(m[5], m.size() - 5) << "n = data bytes + 3";
        EXPECT_EQ(m[6], echo);
        return Bytes(m.begin() + 7, m.end() - 1);
    }
};

class ApplicationChip : public VendorChip {
  protected:
    ApplicationChip() : VendorChip(RunningChip(ChipFamily::Kq1100)) {}
};

TEST_F(ApplicationChip, AcknowledgesTheProbeWithTheStandardReply) {
    ASSERT_TRUE(link_.Send({0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0A, 0x71}));
    Wait(40);
    EXPECT_EQ(link_.ReadMessage(), kAck);
}

TEST_F(ApplicationChip, AnswersTheTypeQueryAsWrittenOnTheWire) {
    ASSERT_TRUE(link_.Send({0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB3}));
    Wait(40);
    const Bytes m = link_.ReadMessage();
    EXPECT_THAT(m,
                ElementsAre(0x6E, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x06, 0xC8, 0x02, 0x28, 0x11,
                            0x6E ^ 0x50 ^ 0x89 ^ 0xC2 ^ 0x07 ^ 0x06 ^ 0xC8 ^ 0x02 ^ 0x28 ^ 0x11));
}

TEST_F(ApplicationChip, ReadsTheOtpIdentityBlockAndContentWords) {
    Command(Bytes{0x52, 0x00, 0x02, 0x64, 0x0C, 0x00, 0x00, 0x00, 0x10});
    const Bytes otp = ReplyData(0x52);
    ASSERT_EQ(otp.size(), 16u);
    EXPECT_THAT(Bytes(otp.begin(), otp.begin() + 4), ElementsAre('1', '1', '0', '0'));
    EXPECT_THAT(Bytes(otp.begin() + 10, otp.begin() + 14), ElementsAreArray(Be32(1500)));
    const uint16_t crc = Crc16Chip(otp.data(), 14);
    EXPECT_EQ(otp[14], crc & 0xFF);
    EXPECT_EQ(otp[15], crc >> 8);

    const std::pair<uint32_t, uint32_t> words[] = {
        {0x26429, 0x130}, {0x26559, 0x130}, {0x26689, 0x14C}, {0x267D5, 0x2C}};
    for (const auto& [address, value] : words) {
        Bytes command = {0x50};
        const Bytes a = Be32(address);
        command.insert(command.end(), a.begin(), a.end());
        Command(command);
        Bytes expected = a;
        const Bytes v = Be32(value);
        expected.insert(expected.end(), v.begin(), v.end());
        EXPECT_EQ(ReplyData(0x50), expected) << std::hex << address;
    }
}

TEST_F(ApplicationChip, PublishesTheIdentificationBlockInDpcdAndChipMemory) {
    const Bytes expected = {'K', 'Q', '1', '1', '0', '0', 0x21, 1, 5, 0};
    const AuxReply dpcd = link_.NativeRead(0x503, 10);
    ASSERT_EQ(dpcd.status, AuxStatus::Ack);
    EXPECT_EQ(dpcd.data, expected);
    Command(Bytes{0x52, 0x00, 0x01, 0xB5, 0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(ReplyData(0x52), expected);
}

TEST_F(ApplicationChip, MapsTheFlashWhileTheApplicationRuns) {
    Command(Bytes{0x52, 0x00, 0x47, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x60});
    const Bytes data = ReplyData(0x52);
    ASSERT_EQ(data.size(), 0x60u);
    EXPECT_THAT(Bytes(data.begin(), data.begin() + 4), ElementsAre('C', 'M', 'D', 'B'));
}

// Requests the chip does not take: no reply at all, so the host reads null messages.
struct IgnoredCase {
    const char* what;
    Bytes packet;
};

class IgnoredPackets : public ApplicationChip, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(IgnoredPackets, GetOnlyNullMessages) {
    ASSERT_TRUE(link_.Send(GetParam().packet));
    for (int i = 0; i < 3; ++i) {
        Wait(100);
        EXPECT_EQ(link_.ReadMessage(), kNullMessage);
    }
}

Bytes WithByte(Bytes p, size_t at, uint8_t value) {
    p[at] = value;
    return p;
}

// The same, with the checksum made right again.
Bytes WithSealedByte(Bytes p, size_t at, uint8_t value) {
    p.back() = static_cast<uint8_t>(p.back() ^ p[at] ^ value);
    p[at] = value;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Chip, IgnoredPackets,
    ::testing::Values(
        IgnoredCase{"wrong checksum", {0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB4}},
        IgnoredCase{"length byte one too long",
                    {0x51, 0x88, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xBC}},
        IgnoredCase{"vendor count wrong", WithByte(HostPacket({0x06, 0xC8, 0x02}), 5, 0x06)},
        // Only the secure side's memory write takes a count that announces more.
        IgnoredCase{"vendor count announcing more",
                    WithSealedByte(HostPacket({0x06, 0xC8, 0x02}), 5, 0x06)},
        IgnoredCase{"vendor count announcing fewer",
                    WithSealedByte(HostPacket({0x06, 0xC8, 0x02}), 5, 0x04)},
        IgnoredCase{"vendor count beyond seven bits",
                    WithSealedByte(HostPacket({0x06, 0xC8, 0x02}), 5, 0x85)},
        IgnoredCase{"not from the host address", WithByte(HostPacket({0x0A}), 0, 0x50)},
        IgnoredCase{"unknown vendor code", HostPacket({0x44})},
        IgnoredCase{"type query with a wrong page", HostPacket({0x06, 0xC8, 0x03})},
        IgnoredCase{"read memory across a 64 KiB bank",
                    HostPacket({0x52, 0x00, 0x02, 0xFF, 0xF8, 0x00, 0x00, 0x00, 0x10})},
        IgnoredCase{"read memory of unmapped space",
                    HostPacket({0x52, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10})},
        IgnoredCase{"read memory of 0 bytes",
                    HostPacket({0x52, 0x00, 0x02, 0x64, 0x0C, 0x00, 0x00, 0x00, 0x00})},
        IgnoredCase{"read memory of more than a reply holds",
                    HostPacket({0x52, 0x00, 0x02, 0x64, 0x0C, 0x00, 0x00, 0x00, 0x7B})},
        IgnoredCase{"read register with a short address", HostPacket({0x50, 0x00, 0x02, 0x64})}),
    [](const ::testing::TestParamInfo<IgnoredCase>& param) {
        std::string name;
        for (const char* c = param.param.what; *c != 0; ++c) {
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        }
        return name;
    });

TEST_F(ApplicationChip, AnswersWithTheNullMessageUntilTheReplyIsReady) {
    ASSERT_TRUE(link_.Send(HostPacket({0x06, 0xC8, 0x02})));
    Wait(1);  // past the hand-over, not yet processed
    EXPECT_EQ(link_.ReadMessage(), kNullMessage);
    Wait(40);
    EXPECT_EQ(link_.ReadMessage()[6], 0x06);
    // Read to its end, the reply is gone.
    EXPECT_EQ(link_.ReadMessage(), kNullMessage);
}

TEST_F(ApplicationChip, DefersRequestsWhileItTakesAPacketOver) {
    ASSERT_TRUE(link_.Send(HostPacket({0x0A})));
    EXPECT_EQ(link_.I2cRead(2, true).status, AuxStatus::Defer);
    EXPECT_EQ(link_.I2cWrite(HostPacket({0x0A}), false).status, AuxStatus::Defer);
    Wait(40);
    EXPECT_EQ(link_.ReadMessage(), kAck);
}

TEST_F(ApplicationChip, ContinuesAReplyAcrossReadTransactions) {
    Command({0x06, 0xC8, 0x02});
    // A backend that ends the transaction after the header and reads the rest apart.
    const AuxReply header = link_.I2cRead(2, false);
    ASSERT_EQ(header.status, AuxStatus::Ack);
    EXPECT_THAT(header.data, ElementsAre(0x6E, 0x89));
    const AuxReply rest = link_.I2cRead(10, false);
    ASSERT_EQ(rest.status, AuxStatus::Ack);
    EXPECT_EQ(rest.data[4], 0x06);
    EXPECT_EQ(rest.data[7], 0x28);
    // Asked for past its end, the bus reads as released.
    EXPECT_EQ(link_.I2cRead(2, false).data, Bytes({0x6E, 0x80}));
}

TEST_F(ApplicationChip, ANewPacketDiscardsTheUnreadReply) {
    Command({0x06, 0xC8, 0x02});
    ASSERT_TRUE(link_.Send(WithByte(HostPacket({0x0A}), 7, 0x00)));  // bad checksum
    Wait(40);
    EXPECT_EQ(link_.ReadMessage(), kNullMessage);
}

TEST_F(ApplicationChip, TakesAPacketWrittenInSeveralRequests) {
    const Bytes packet = HostPacket({0x52, 0x00, 0x02, 0x64, 0x0C, 0x00, 0x00, 0x00, 0x10});
    ASSERT_TRUE(link_.I2cWrite(Bytes(packet.begin(), packet.begin() + 3), true).status ==
                AuxStatus::Ack);
    ASSERT_TRUE(link_.I2cWrite(Bytes(packet.begin() + 3, packet.end()), false).status ==
                AuxStatus::Ack);
    Wait(40);
    EXPECT_EQ(ReplyData(0x52).size(), 16u);
}

TEST_F(ApplicationChip, RefusesI2cAtOtherAddressesAndOversizedRequests) {
    EXPECT_EQ(link_.I2cWrite({0x00}, false, 0x50).status, AuxStatus::Nack);
    EXPECT_EQ(link_.I2cRead(1, false, 0x50).status, AuxStatus::Nack);
    EXPECT_EQ(link_.I2cRead(17, false).status, AuxStatus::Nack);
}

TEST_F(ApplicationChip, AnswersNothingAfterLosingPower) {
    chip_->SetPowerLossAfterBlocks(2);
    EXPECT_TRUE(chip_->CountProgrammedBlock());
    EXPECT_FALSE(chip_->CountProgrammedBlock());
    EXPECT_EQ(link_.I2cWrite(HostPacket({0x0A}), false).status, AuxStatus::Timeout);
    EXPECT_EQ(link_.NativeRead(0x503, 10).status, AuxStatus::Timeout);
}

// A blank flash: the boot ROM answers, from the same silicon.
class BootRomChip : public VendorChip {
  protected:
    BootRomChip() : VendorChip(NewChipState(ChipFamily::Kq1100, 7)) {}
};

TEST_F(BootRomChip, ReportsItsOwnIdentificationAndMapsNoFlash) {
    const Bytes rom = {'K', 'Q', 'R', 'O', 'M', '1', 0x21, 1, 2, 0};
    EXPECT_EQ(link_.NativeRead(0x503, 10).data, rom);
    Command({0x06, 0xC8, 0x02});
    EXPECT_THAT(ReplyData(0x06), ElementsAre(0xC8, 0x02, 0x28, 0x11));
    Command({0x52, 0x00, 0x47, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x10});
    EXPECT_EQ(link_.ReadMessage(), kNullMessage);
    Command({0x52, 0x00, 0x02, 0x64, 0x0C, 0x00, 0x00, 0x00, 0x10});
    EXPECT_EQ(ReplyData(0x52).size(), 16u);  // the OTP is silicon, not firmware
}

TEST(ChipBoot, ImageForAnotherFamilyOrDamagedLeavesTheBootRom) {
    ChipState state = NewChipState(ChipFamily::Kq1100, 1);
    state.flash = MakeFirmwareImage(ChipFamily::Talvor, {1, 0, 0});
    EXPECT_EQ(ModeAtPowerOn(state), ChipMode::BootRom);
    state.flash = MakeFirmwareImage(ChipFamily::Kq1100, {1, 0, 0});
    EXPECT_EQ(ModeAtPowerOn(state), ChipMode::Application);
    state.flash[0x100] ^= 0x01;
    EXPECT_EQ(ModeAtPowerOn(state), ChipMode::BootRom);
    // The certificate block and the CMDB lie outside the checked image.
    state.flash = MakeFirmwareImage(ChipFamily::Kq1100, {1, 0, 0});
    state.flash[kCertificateOffset] = 'K';
    state.flash[kCmdbOffset + 8] ^= 0xFF;
    EXPECT_EQ(ModeAtPowerOn(state), ChipMode::Application);
}

TEST(ChipPower, ComesUpFromItsFlashAfterAPowerLoss) {
    platform::VirtualClock clock;
    platform::ScopedClock scoped(clock);
    ChipState state = NewChipState(ChipFamily::Kq1100, 1);
    state.securityFirmwareRunning = true;
    VirtualChip chip(state);
    EXPECT_TRUE(chip.StateForNextRun().securityFirmwareRunning);  // powered: kept as it is
    chip.SetPowerLossAfterBlocks(1);
    EXPECT_FALSE(chip.CountProgrammedBlock());
    const ChipState next = chip.StateForNextRun();
    EXPECT_FALSE(next.securityFirmwareRunning);
    EXPECT_EQ(next.mode, ChipMode::BootRom);
}

}  // namespace
}  // namespace zorvan::sim::testing
