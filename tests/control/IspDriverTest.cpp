// ISP entry, the driver download and start, and the mailbox discovery against a scripted
// link: the packets on the wire, the acknowledgement retries and the descriptor checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "tests/control/ControlFixture.h"

namespace zorvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// Appends the checksum a host packet for address 0x6E ends in.
std::vector<uint8_t> Sealed(std::vector<uint8_t> packet) {
    uint8_t x = 0x6E;
    for (const uint8_t b : packet) {
        x = static_cast<uint8_t>(x ^ b);
    }
    packet.push_back(x);
    return packet;
}

class IspDriverTest : public ControlTest {
protected:
    IspDriverTest() { control.delegate = &progress; }

    // A driver file with a length header announcing codeLength bytes of code 0, 1, 2, ...
    void LoadHeaderedDriver(uint32_t codeLength) {
        control.driverImage.assign((4 + codeLength + 511) / 512 * 512, 0);
        control.driverImage[0] = static_cast<uint8_t>(codeLength);
        control.driverImage[1] = static_cast<uint8_t>(codeLength >> 8);
        std::iota(control.driverImage.begin() + 4, control.driverImage.begin() + 4 + codeLength,
                  uint8_t{0});
        control.driverHasHeader = true;
        control.driverCodeLength = codeLength;
        control.driverLength = static_cast<int32_t>(control.driverImage.size());
    }

    void AcknowledgeEverything() { link.unscriptedI2cRead = {GFX_OK, kAckReply}; }

    Progress progress;
};

// --- download ---

TEST_F(IspDriverTest, DriverOfTwoFullBlocksGoesOutAsTwoPacketsOf117Bytes) {
    LoadHeaderedDriver(234);
    AcknowledgeEverything();
    ASSERT_TRUE(control.DownloadIspDriver(false));

    const auto writes = link.I2cWrites();
    ASSERT_EQ(writes.size(), 2u);
    for (size_t i = 0; i < writes.size(); ++i) {
        std::vector<uint8_t> expected = {0x51, 0xFC, 0xC2,
                                         0x00, 0x00, 0x7A,
                                         0x13, 0x18, static_cast<uint8_t>(i == 0 ? 0x00 : 0x75)};
        for (int b = 0; b < 117; ++b) {
            expected.push_back(static_cast<uint8_t>(117 * i + static_cast<size_t>(b)));
        }
        EXPECT_EQ(writes[i], Sealed(expected)) << "packet " << i;
    }
    EXPECT_THAT(progress.reports, ElementsAre(Pair(117, 234), Pair(234, 234)));
    EXPECT_EQ(control.driverLength, 234) << "the header's length replaces the rounded one";
}

TEST_F(IspDriverTest, DriverOf235BytesEndsWithAOneBytePacketAtTheThirdBlockAddress) {
    LoadHeaderedDriver(235);
    AcknowledgeEverything();
    ASSERT_TRUE(control.DownloadIspDriver(false));

    const auto writes = link.I2cWrites();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].size(), 127u);
    EXPECT_EQ(writes[1].size(), 127u);
    EXPECT_EQ(writes[2], Sealed({0x51, 0x88, 0xC2, 0x00, 0x00, 0x06, 0x13, 0x18, 0xEA, 234}));
    EXPECT_THAT(progress.reports, ElementsAre(Pair(117, 235), Pair(234, 235), Pair(235, 235)));
}

TEST_F(IspDriverTest, NormalDownloadPausesOneMillisecondBeforeEachFullBlockOnly) {
    LoadHeaderedDriver(235);
    AcknowledgeEverything();
    ASSERT_TRUE(control.DownloadIspDriver(false));
    // Intel-paced link: WaitAckFast adds no pause, so only the block pauses remain.
    EXPECT_THAT(clock.waits(), ElementsAre(BusyOf(1), BusyOf(1)));
}

TEST_F(IspDriverTest, SecureDownloadUsesCode73WithoutBlockPauses) {
    LoadHeaderedDriver(200);
    AcknowledgeEverything();
    PaceLikeNvidia();
    ASSERT_TRUE(control.DownloadIspDriver(true));
    const auto writes = link.I2cWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0][6], 0x73);
    EXPECT_EQ(writes[1][6], 0x73);
    // Only WaitAckFast's 10 ms start on an NVIDIA-paced link, once per packet.
    EXPECT_THAT(clock.waits(), ElementsAre(BusyOf(10), BusyOf(10)));
}

TEST_F(IspDriverTest, AnAcknowledgementOnTheThirdWaitStillCounts) {
    LoadHeaderedDriver(10);
    // Two WaitAckFast calls spend their 50 reads each, the third gets the acknowledgement.
    for (int i = 0; i < 100; ++i) {
        link.QueueI2cResult(GFX_BAD_REPLY);
    }
    link.QueueI2cReply(kAckReply);
    EXPECT_TRUE(control.DownloadIspDriver(false));
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 101u);
    EXPECT_EQ(link.CountOf(LinkOp::kI2cWrite), 1u) << "the packet is not sent again";
}

TEST_F(IspDriverTest, ThreeMissingAcknowledgementsFailTheDownload) {
    LoadHeaderedDriver(300);
    EXPECT_FALSE(control.DownloadIspDriver(false));
    EXPECT_EQ(link.CountOf(LinkOp::kI2cWrite), 1u);
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 150u);
    EXPECT_TRUE(progress.reports.empty());
}

TEST_F(IspDriverTest, DriverWithoutHeaderIsSentWholeInNormalModeAndRefusedInSecureMode) {
    control.driverImage.assign(512, 0x5A);
    control.driverImage[0] = 0x02;  // not a header
    control.driverHasHeader = false;
    control.driverCodeLength = 512;
    control.driverLength = 512;
    AcknowledgeEverything();

    EXPECT_FALSE(control.DownloadIspDriver(true));
    EXPECT_TRUE(link.events().empty());

    ASSERT_TRUE(control.DownloadIspDriver(false));
    const auto writes = link.I2cWrites();
    ASSERT_EQ(writes.size(), 5u);  // 4 x 117 + 44
    EXPECT_EQ(writes[0][9], 0x02) << "the payload starts at the file's first byte";
    EXPECT_EQ(writes[4][5], 44 + 5);
}

TEST_F(IspDriverTest, DriverThatWouldWrapTheRamAddressIsRefusedBeforeAnyPacket) {
    LoadHeaderedDriver(0x4000);
    control.ramWriteAddress = 0xE000;  // 0xE000 + 0x4000 passes 0xFFFF
    AcknowledgeEverything();
    EXPECT_FALSE(control.DownloadIspDriver(false));
    EXPECT_TRUE(link.events().empty());

    control.ramWriteAddress = 0xC000;  // ends exactly at the top
    EXPECT_TRUE(control.DownloadIspDriver(false));
    EXPECT_EQ(link.I2cWrites().back()[7], 0xFF);
}

TEST_F(IspDriverTest, NoLoadedDriverIsRefused) {
    AcknowledgeEverything();
    EXPECT_FALSE(control.DownloadIspDriver(false));
    EXPECT_TRUE(link.events().empty());
}

// --- entry and start ---

TEST_F(IspDriverTest, EnterIspModeSendsBothCommandsWithItsPauses) {
    AcknowledgeEverything();
    ASSERT_TRUE(control.EnterIspMode());
    EXPECT_THAT(link.I2cWrites(),
                ElementsAre(ElementsAre(0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72),
                            ElementsAre(0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x20, 0x00, 0x5F)));
    EXPECT_THAT(clock.waits(), ElementsAre(SleepOf(40), BusyOf(1), SleepOf(40), SleepOf(500)));
}

struct EntryCase {
    const char* name;
    IspEntryPauses pauses;
    uint32_t settleMs;
    bool secondAcknowledged;
    bool entered;
    std::vector<Wait> waits;
};

class EntryVariants : public IspDriverTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryVariants, PausesAndSettleFollowTheVariant) {
    const EntryCase& c = GetParam();
    link.QueueI2cReply(kAckReply);
    if (c.secondAcknowledged) {
        link.QueueI2cReply(kAckReply);
    }
    EXPECT_EQ(control.EnterIspMode(c.settleMs, c.pauses), c.entered);
    EXPECT_EQ(link.CountOf(LinkOp::kI2cWrite), 2u);
    std::vector<Wait> waits = clock.waits();
    // The failed acknowledgement's retry pauses are WaitAck's business; keep the frame.
    std::erase(waits, SleepOf(30));
    EXPECT_EQ(waits, c.waits);
}

INSTANTIATE_TEST_SUITE_P(Entry, EntryVariants,
                         ::testing::Values(EntryCase{"NormalLongerSettle",
                                                     IspEntryPauses::kNormal,
                                                     800,
                                                     true,
                                                     true,
                                                     {SleepOf(40), BusyOf(1), SleepOf(40),
                                                      SleepOf(800)}},
                                           EntryCase{"NormalSecondFails",
                                                     IspEntryPauses::kNormal,
                                                     500,
                                                     false,
                                                     false,
                                                     {SleepOf(40), BusyOf(1), SleepOf(40)}},
                                           EntryCase{"SecureDialog",
                                                     IspEntryPauses::kSecureDialog,
                                                     1000,
                                                     true,
                                                     true,
                                                     {SleepOf(40), SleepOf(40), SleepOf(1000)}},
                                           EntryCase{"SecureDialogSecondFails",
                                                     IspEntryPauses::kSecureDialog,
                                                     1000,
                                                     false,
                                                     false,
                                                     {SleepOf(40), SleepOf(40), SleepOf(1000)}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(IspDriverTest, EnterIspModeStopsWhenTheFirstCommandIsNotAcknowledged) {
    EXPECT_FALSE(control.EnterIspMode());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cWrite), 1u);
}

TEST_F(IspDriverTest, RunIspDriverStartsAtRunAtAddress) {
    control.runAtAddress = 0x1A40;
    link.QueueI2cReply(kAckReply);
    ASSERT_TRUE(control.RunIspDriver());
    EXPECT_THAT(link.I2cWrites(),
                ElementsAre(Sealed({0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x1A, 0x40})));
    EXPECT_FALSE(control.RunIspDriver()) << "no acknowledgement";
}

// --- mailbox discovery ---

std::vector<uint8_t> Descriptor(uint32_t command, uint16_t commandSize, uint32_t status,
                                uint16_t statusSize) {
    return {static_cast<uint8_t>(command),       static_cast<uint8_t>(command >> 8),
            static_cast<uint8_t>(command >> 16), static_cast<uint8_t>(command >> 24),
            static_cast<uint8_t>(commandSize),   static_cast<uint8_t>(commandSize >> 8),
            static_cast<uint8_t>(status),        static_cast<uint8_t>(status >> 8),
            static_cast<uint8_t>(status >> 16),  static_cast<uint8_t>(status >> 24),
            static_cast<uint8_t>(statusSize),    static_cast<uint8_t>(statusSize >> 8)};
}

struct MailboxCase {
    const char* name;
    ScriptedRead pointer;
    ScriptedRead descriptor;
    uint32_t commandAddress, commandSize, statusAddress, statusSize, firstFlag, secondFlag;
};

class MailboxDiscovery : public IspDriverTest, public ::testing::WithParamInterface<MailboxCase> {};

TEST_P(MailboxDiscovery, TakesOnlyAUsableDescriptor) {
    const MailboxCase& c = GetParam();
    link.QueueAuxRead(c.pointer);
    link.QueueAuxRead(c.descriptor);
    control.ReadMailbox();
    EXPECT_EQ(control.commandAddress, c.commandAddress);
    EXPECT_EQ(control.commandSize, c.commandSize);
    EXPECT_EQ(control.statusAddress, c.statusAddress);
    EXPECT_EQ(control.statusSize, c.statusSize);
    EXPECT_EQ(control.firstHalfFlagAddress, c.firstFlag);
    EXPECT_EQ(control.secondHalfFlagAddress, c.secondFlag);
}

const ScriptedRead kPointer = {GFX_OK, {0x00, 0x50, 0x01}};  // 0x15000

INSTANTIATE_TEST_SUITE_P(
    Descriptors, MailboxDiscovery,
    ::testing::Values(MailboxCase{"Published",
                                  kPointer,
                                  {GFX_OK, Descriptor(0x30000, 0x100, 0x38000, 0x80)},
                                  0x30000,
                                  0x100,
                                  0x38000,
                                  0x80,
                                  0x3007F,
                                  0x300FF},
                      MailboxCase{"PointerZero",
                                  {GFX_OK, {0, 0, 0}},
                                  {GFX_OK, Descriptor(0x30000, 0x100, 0, 128)},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF},
                      MailboxCase{"PointerUnreadable",
                                  {GFX_AUX_NACK, {}},
                                  {GFX_OK, {}},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF},
                      MailboxCase{"DescriptorUnreadable",
                                  kPointer,
                                  {GFX_AUX_NACK, {}},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF},
                      // Larger than a block can use: taken (ProgramFlash keeps blocks small).
                      MailboxCase{"LargeCommandBuffer",
                                  kPointer,
                                  {GFX_OK, Descriptor(0x30000, 0x400, 0x38000, 0x80)},
                                  0x30000,
                                  0x400,
                                  0x38000,
                                  0x80,
                                  0x301FF,
                                  0x303FF},
                      MailboxCase{"CommandBufferSmallerThanAHeader",
                                  kPointer,
                                  {GFX_OK, Descriptor(0x30000, 6, 0x38000, 0x80)},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF},
                      MailboxCase{"StatusAreaTooSmallForAReadResponse",
                                  kPointer,
                                  {GFX_OK, Descriptor(0x30000, 0x100, 0x38000, 16)},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF},
                      MailboxCase{"OutsideTheDpcdSpace",
                                  kPointer,
                                  {GFX_OK, Descriptor(0xFFFFFF80, 0x100, 0x38000, 0x80)},
                                  0x20000,
                                  512,
                                  0x10000,
                                  128,
                                  0x200FF,
                                  0x201FF}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(IspDriverTest, ReadMailboxReadsThePointerThenTheDescriptorAfterTwoMilliseconds) {
    link.QueueAuxRead(kPointer);
    link.QueueAuxRead({GFX_OK, Descriptor(0x20000, 512, 0x10000, 128)});
    control.ReadMailbox();
    EXPECT_EQ(control.mailboxPointer, 0x15000u);
    EXPECT_THAT(journal,
                ElementsAre("AuxRead 0x40C 3 -> 0 00 50 01", "busy 2ms",
                            "AuxRead 0x15000 12 -> 0 00 00 02 00 00 02 00 00 01 00 80 00"));
}

}  // namespace
}  // namespace zorvan::testing
