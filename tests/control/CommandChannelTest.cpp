// The command channel against a scripted link: packets on the wire, replies and their checks,
// the acknowledgement waits with their counts and pauses, and the two memory reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "tests/control/ControlFixture.h"

namespace zorvan::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class CommandChannelTest : public ControlTest {
protected:
    std::vector<uint8_t> out = std::vector<uint8_t>(64, 0xAA);

    bool Receive(size_t* payloadLength = nullptr) {
        return control.ReceiveReply(out, payloadLength);
    }
};

// --- sending ---

TEST_F(CommandChannelTest, SendCommandWritesOneFramedPacketToTheChip) {
    control.deviceId = 0x1234;
    const uint8_t command[] = {0x06, 0xC8, 0x02};
    ASSERT_TRUE(control.SendCommand(command, 3));
    ASSERT_EQ(link.events().size(), 1u);
    const LinkEvent& e = link.events()[0];
    EXPECT_EQ(e.op, LinkOp::kI2cWrite);
    EXPECT_EQ(e.deviceId, 0x1234u);
    EXPECT_EQ(e.address, 0x6Eu);
    EXPECT_THAT(e.data, ElementsAre(0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB3));

    control.ddcAddress = 0x70;
    ASSERT_TRUE(control.SendCommand(command, 3));
    EXPECT_EQ(link.events()[1].address, 0x70u);
    EXPECT_EQ(link.events()[1].data.back(), 0xB3 ^ 0x6E ^ 0x70);
}

TEST_F(CommandChannelTest, SendCommandRefusesMoreThan125BytesWithoutWriting) {
    const std::vector<uint8_t> tooLong(126, 0x22);
    EXPECT_FALSE(control.SendCommand(tooLong.data(), 126));
    EXPECT_FALSE(control.SendCommand(tooLong.data(), 0));
    EXPECT_FALSE(control.SendCommand(tooLong.data(), -1));
    EXPECT_TRUE(link.events().empty());

    ASSERT_TRUE(control.SendCommand(tooLong.data(), 125));
    ASSERT_EQ(link.I2cWrites().size(), 1u);
    EXPECT_EQ(link.I2cWrites()[0].size(), 132u);
    EXPECT_EQ(link.I2cWrites()[0][5], 0x7F);
}

TEST_F(CommandChannelTest, SendFailsWhenTheWriteFails) {
    link.QueueI2cWriteResult(GFX_BUSY);
    const uint8_t command[] = {0x09};
    EXPECT_FALSE(control.SendCommand(command, 1));
    link.QueueI2cWriteResult(GFX_BAD_ARGUMENT);
    EXPECT_FALSE(control.SendFixedPacket(kEnterIspPacket));
}

TEST_F(CommandChannelTest, SendFixedPacketFillsInBytesAndChecksumPerSend) {
    control.ddcAddress = 0x6E;
    const uint8_t runAt[] = {0x20, 0x00};
    const uint8_t defaultRunAt[] = {0x18, 0x00};
    ASSERT_TRUE(control.SendFixedPacket(kRunDriverPacket, runAt));
    ASSERT_TRUE(control.SendFixedPacket(kRunDriverPacket, defaultRunAt));
    ASSERT_TRUE(control.SendFixedPacket(kEnterIspPacket));
    control.ddcAddress = 0x70;
    ASSERT_TRUE(control.SendFixedPacket(kEnterIspPacket));
    EXPECT_THAT(link.I2cWrites(),
                ElementsAre(ElementsAre(0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x20, 0x00, 0x42),
                            ElementsAre(0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x18, 0x00, 0x7A),
                            ElementsAre(0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72),
                            ElementsAre(0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x6C)));

    // Variable bytes that do not fit the packet: nothing goes out.
    EXPECT_FALSE(control.SendFixedPacket(kRunDriverPacket));
    EXPECT_EQ(link.I2cWrites().size(), 4u);
}

TEST_F(CommandChannelTest, NothingGoesOutWithoutABackend) {
    control.gfx = nullptr;
    const uint8_t command[] = {0x09};
    EXPECT_FALSE(control.SendCommand(command, 1));
    EXPECT_FALSE(control.SendFixedPacket(kEnterIspPacket));
    EXPECT_FALSE(control.ReceiveReply(out));
    EXPECT_FALSE(control.WaitAck());
    EXPECT_FALSE(control.WaitAckFast());
    EXPECT_EQ(control.ReadRegister(0x100), 0xFFFFFFFFu);
}

// --- ReceiveReply ---

TEST_F(CommandChannelTest, ReceiveReplySettlesThenCopiesThePayload) {
    link.QueueI2cReply(DataReply(0x06, {0x01, 0x02, 0x28}));
    size_t length = 0;
    ASSERT_TRUE(Receive(&length));
    EXPECT_EQ(length, 5u);
    EXPECT_THAT(std::vector<uint8_t>(out.begin(), out.begin() + 6),
                ElementsAre(0x06, 0x06, 0x01, 0x02, 0x28, 0xAA));
    EXPECT_THAT(clock.waits(), ElementsAre(SleepOf(40)));
    const LinkEvent& read = link.events()[0];
    EXPECT_EQ(read.length, 131);  // the backend's reply capacity
    EXPECT_EQ(read.address, 0x6Eu);
}

TEST_F(CommandChannelTest, ReceiveReplyRetriesPerResult) {
    link.QueueI2cResult(GFX_BUSY);
    link.QueueI2cReply(kNullMessage);
    link.QueueI2cResult(GFX_BAD_REPLY);
    link.QueueI2cReply(DataReply(0x50, {0x07}));
    ASSERT_TRUE(Receive());
    EXPECT_EQ(out[1], 0x50);
    // Busy and the null message wait 10 ms each (busy-waits); another failure reads at once.
    EXPECT_THAT(journal, ElementsAre("sleep 40ms", "I2cRead -> 1003", "busy 10ms",
                                     "I2cRead -> 0 6E 80 BE", "busy 10ms", "I2cRead -> 15",
                                     "I2cRead -> 0 " + HexBytes(DataReply(0x50, {0x07}))));
}

TEST_F(CommandChannelTest, ReceiveReplyGivesUpAfter50NullMessagesWithMarker) {
    for (int i = 0; i < 60; ++i) {
        link.QueueI2cReply(kNullMessage);
    }
    EXPECT_FALSE(Receive());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 50u);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0xBE);
    ASSERT_EQ(clock.waits().size(), 51u);
    EXPECT_EQ(clock.waits()[0], SleepOf(40));
    EXPECT_THAT(std::vector<Wait>(clock.waits().begin() + 1, clock.waits().end()),
                Each(BusyOf(10)));
}

TEST_F(CommandChannelTest, ReceiveReplyGivesUpAfter50FailedReadsWithMarker) {
    // Unscripted reads fail with a bad reply.
    EXPECT_FALSE(Receive());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 50u);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0xBE);
    EXPECT_THAT(clock.waits(), ElementsAre(SleepOf(40)));
}

TEST_F(CommandChannelTest, ReceiveReplyEndsAtOnceWhenTheRequestIsNotSupported) {
    link.QueueI2cResult(5);
    link.QueueI2cReply(DataReply(0x06, {}));
    EXPECT_FALSE(Receive());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 1u);
    EXPECT_THAT(out, Each(0xAA));
}

TEST_F(CommandChannelTest, ReceiveReplyRefusesBadReplies) {
    struct Case {
        const char* name;
        ScriptedRead read;
        uint8_t marker0;
        uint8_t marker1;
    };
    std::vector<uint8_t> badChecksum = DataReply(0x06, {0x01});
    badChecksum.back() ^= 0x01;
    std::vector<uint8_t> otherOpcode = DataReply(0x06, {0x01});
    otherOpcode[2] = 0xC3;
    const Case cases[] = {
        {"wrong checksum", {GFX_OK, badChecksum}, 0x00, 0xFF},
        {"no vendor opcode", {GFX_OK, otherOpcode}, 0xAA, 0xAA},
        {"shorter than a framed reply", {GFX_OK, {0x6E, 0x82, 0xC2, 0x00, 0x00}}, 0xAA, 0xAA},
        {"two header bytes only", {GFX_OK, {0x6E, 0x7E}}, 0xAA, 0xAA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        out.assign(64, 0xAA);
        link.QueueI2cRead(c.read);
        EXPECT_FALSE(Receive());
        EXPECT_EQ(out[0], c.marker0);
        EXPECT_EQ(out[1], c.marker1);
    }
}

TEST_F(CommandChannelTest, ReceiveReplyChecksumFollowsTheConfiguredAddress) {
    control.ddcAddress = 0x70;
    link.QueueI2cReply(ChipReply({0x04, 0x06, 0x01}, 0x70));
    EXPECT_TRUE(Receive());
    control.ddcAddress = 0x6E;
    link.QueueI2cReply(ChipReply({0x04, 0x06, 0x01}, 0x70));
    EXPECT_FALSE(Receive());
}

TEST_F(CommandChannelTest, ReceiveReplyNeverWritesPastTheCallersBuffer) {
    // A reply with a long payload and a small output buffer.
    link.QueueI2cReply(DataReply(0x52, std::vector<uint8_t>(100, 0x33)));
    std::vector<uint8_t> small(8, 0xAA);
    size_t length = 0;
    EXPECT_TRUE(control.ReceiveReply(small, &length));
    EXPECT_EQ(length, 102u);
    EXPECT_THAT(std::vector<uint8_t>(small.begin() + 2, small.end()), Each(0x33));

    // No buffer at all: only the length and the checks (an empty span has no storage).
    link.QueueI2cReply(DataReply(0x52, std::vector<uint8_t>(10, 0x33)));
    EXPECT_TRUE(control.ReceiveReply(std::span<uint8_t>(), &length));
    EXPECT_EQ(length, 12u);
}

TEST_F(CommandChannelTest, ReplyLengthIsBoundedByWhatTheBufferHolds) {
    // The backend claims more bytes than the capacity it was given.
    link.QueueI2cRead({GFX_OK, DataReply(0x06, {0x01}), 4000});
    EXPECT_FALSE(Receive());

    // A backend announcing a capacity beyond rxBuffer still reads into rxBuffer only.
    ScriptedLink wide(100000);
    wide.QueueI2cReply(DataReply(0x06, {0x01}));
    control.gfx = &wide;
    EXPECT_TRUE(Receive());
    EXPECT_EQ(wide.events()[0].length, 512);
}

TEST_F(CommandChannelTest, ReceiveReplyMayWriteIntoRxBufferItself) {
    link.QueueI2cReply(DataReply(0x06, {0x11, 0x22, 0x33}));
    ASSERT_TRUE(control.ReceiveReply(control.rxBuffer));
    EXPECT_THAT(std::vector<uint8_t>(control.rxBuffer, control.rxBuffer + 5),
                ElementsAre(0x06, 0x06, 0x11, 0x22, 0x33));
}

// --- acknowledgement waits ---

TEST_F(CommandChannelTest, WaitAckTimingAndCount) {
    link.QueueI2cResult(GFX_BUSY);
    link.QueueI2cReply(kNullMessage);
    link.QueueI2cResult(GFX_BAD_REPLY);
    link.QueueI2cReply(kAckReply);
    EXPECT_TRUE(control.WaitAck());
    EXPECT_THAT(clock.waits(), ElementsAre(SleepOf(40), BusyOf(10), SleepOf(30)));
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 4u);
}

TEST_F(CommandChannelTest, WaitAckReadsAtMost20Times) {
    for (int i = 0; i < 19; ++i) {
        link.QueueI2cReply(kNullMessage);
    }
    link.QueueI2cReply(kAckReply);
    EXPECT_TRUE(control.WaitAck());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 20u);

    for (int i = 0; i < 20; ++i) {
        link.QueueI2cReply(kNullMessage);
    }
    link.QueueI2cReply(kAckReply);
    EXPECT_FALSE(control.WaitAck());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 40u);
    EXPECT_EQ(link.PendingI2cReads(), 1u);
}

TEST_F(CommandChannelTest, WaitAckRejectsRepliesThatAreNotTheAcknowledgement) {
    const std::vector<uint8_t> otherCode = ChipReply({0x03, 0x0D});
    std::vector<uint8_t> badChecksum = kAckReply;
    badChecksum.back() = 0x77;
    for (const auto& reply : {otherCode, badChecksum}) {
        link.QueueI2cReply(reply);
        EXPECT_FALSE(control.WaitAck()) << HexBytes(reply);
        link.QueueI2cReply(reply);
        EXPECT_FALSE(control.WaitAckFast()) << HexBytes(reply);
    }
    // A long reply ends the loop even though it is no acknowledgement.
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 4u);
}

TEST_F(CommandChannelTest, WaitAckIgnoresAnAcknowledgementLeftFromAnEarlierRead) {
    link.QueueI2cReply(kAckReply);
    ASSERT_TRUE(control.WaitAck());
    // Nothing but failures now: the old bytes in rxBuffer must not count.
    EXPECT_FALSE(control.WaitAck());
    EXPECT_FALSE(control.WaitAckFast());
}

TEST_F(CommandChannelTest, WaitAckFastOnIntelStartsAtOnceAndPauses5ms) {
    link.QueueI2cResult(GFX_BUSY);
    link.QueueI2cReply(kNullMessage);
    link.QueueI2cResult(GFX_BAD_REPLY);
    link.QueueI2cReply(kAckReply);
    EXPECT_TRUE(control.WaitAckFast());
    EXPECT_THAT(clock.waits(), ElementsAre(BusyOf(5), BusyOf(5)));
}

TEST_F(CommandChannelTest, WaitAckFastOnNvidiaOrAmdPauses10msFirst) {
    PaceLikeNvidia();
    link.QueueI2cReply(kNullMessage);
    link.QueueI2cReply(kAckReply);
    EXPECT_TRUE(control.WaitAckFast());
    EXPECT_THAT(journal, ElementsAre("busy 10ms", "I2cRead -> 0 6E 80 BE", "busy 5ms",
                                     "I2cRead -> 0 " + HexBytes(kAckReply)));
}

TEST_F(CommandChannelTest, WaitAckFastReadsAtMost50Times) {
    for (int i = 0; i < 50; ++i) {
        link.QueueI2cResult(GFX_BUSY);
    }
    link.QueueI2cReply(kAckReply);
    EXPECT_FALSE(control.WaitAckFast());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 50u);
    EXPECT_THAT(clock.waits(), Each(BusyOf(5)));
    EXPECT_EQ(clock.waits().size(), 50u);
}

TEST_F(CommandChannelTest, OnlyNvidiaAmdOrTheirStandInArePaced) {
    struct Case {
        const char* name;
        GfxLib* gfx;
        bool standIn;
        bool paced;
    };
    const Case cases[] = {
        {"Intel", &control.gfxIntel, false, false},
        {"Intel LS-PCON", &control.gfxIntelSkylake, false, false},
        {"NVIDIA", &control.gfxNvidia, false, true},
        {"AMD", &control.gfxAmd, false, true},
        {"scripted link", &link, false, false},
        {"scripted link standing in", &link, true, true},
        {"no backend", nullptr, false, false},
        {"no backend, stand-in set", nullptr, true, false},
    };
    for (const Case& c : cases) {
        control.gfx = c.gfx;
        control.nvidiaOrAmdStandIn = c.standIn ? &link : nullptr;
        EXPECT_EQ(control.GfxIsNvidiaOrAmd(), c.paced) << c.name;
    }
}

// --- ReadMemory ---

std::vector<uint8_t> AddressBytes(uint32_t address, uint32_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((address + i) * 7);
    }
    return bytes;
}

TEST_F(CommandChannelTest, ReadMemoryCutsPiecesAt96BytesAnd64KiBBoundaries) {
    AnswerMemoryReads(AddressBytes);
    std::vector<uint8_t> data(200);
    ASSERT_TRUE(control.ReadMemory(0xFFF0, data.data(), 200));
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(MemoryReadsSent(),
                ElementsAre(P{0xFFF0, 16}, P{0x10000, 16}, P{0x10010, 16}, P{0x10020, 16},
                            P{0x10030, 16}, P{0x10040, 16}, P{0x10050, 16}, P{0x10060, 88}));
    EXPECT_EQ(data, AddressBytes(0xFFF0, 200));
}

TEST_F(CommandChannelTest, ReadMemoryOfPlainRange) {
    AnswerMemoryReads(AddressBytes);
    std::vector<uint8_t> data(300);
    ASSERT_TRUE(control.ReadMemory(0x401000, data.data(), 300));
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(MemoryReadsSent(),
                ElementsAre(P{0x401000, 96}, P{0x401060, 96}, P{0x4010C0, 96}, P{0x401120, 12}));
    EXPECT_EQ(data, AddressBytes(0x401000, 300));
}

TEST_F(CommandChannelTest, ReadMemoryOfNothingTransfersNothing) {
    EXPECT_TRUE(control.ReadMemory(0x1000, nullptr, 0));
    EXPECT_TRUE(link.events().empty());
}

TEST_F(CommandChannelTest, ReadMemoryRefusesRangesItCannotRead) {
    uint8_t data[32];
    EXPECT_FALSE(control.ReadMemory(0x1000, data, -1));
    EXPECT_FALSE(control.ReadMemory(0x1000, nullptr, 4));
    // The range would wrap past the end of the address space.
    EXPECT_FALSE(control.ReadMemory(0xFFFFFFF0u, data, 32));
    EXPECT_TRUE(link.events().empty());
}

TEST_F(CommandChannelTest, ReadMemoryCopiesNoMoreThanAsked) {
    // The chip sends 20 bytes more than each piece asked for.
    AnswerMemoryReads(
        [](uint32_t address, uint32_t size) { return AddressBytes(address, size + 20); });
    std::vector<uint8_t> buffer(100 + 16, 0xEE);
    ASSERT_TRUE(control.ReadMemory(0x2000, buffer.data(), 100));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 100),
              AddressBytes(0x2000, 100));
    EXPECT_THAT(std::vector<uint8_t>(buffer.begin() + 100, buffer.end()), Each(0xEE));
}

TEST_F(CommandChannelTest, ReadMemoryFailsAPieceThatComesBackShort) {
    struct Case {
        const char* name;
        std::function<std::vector<uint8_t>(uint32_t, uint32_t)> reply;
    };
    const Case cases[] = {
        {"fewer data bytes",
         [](uint32_t a, uint32_t s) { return DataReply(0x52, AddressBytes(a, s - 1)); }},
        // n announces the full piece but the reply holds less.
        {"n larger than the reply",
         [](uint32_t a, uint32_t s) {
             std::vector<uint8_t> payload = {static_cast<uint8_t>(s + 3), 0x52};
             const auto data = AddressBytes(a, s - 2);
             payload.insert(payload.end(), data.begin(), data.end());
             return ChipReply(payload);
         }},
        // The reply holds the bytes but n says fewer of them are data.
        {"n smaller than the piece",
         [](uint32_t a, uint32_t s) {
             std::vector<uint8_t> payload = {static_cast<uint8_t>(s + 2), 0x52};
             const auto data = AddressBytes(a, s);
             payload.insert(payload.end(), data.begin(), data.end());
             return ChipReply(payload);
         }},
        {"n below 3",
         [](uint32_t, uint32_t) {
             return ChipReply({0x02, 0x52});
         }},
        {"no echo", [](uint32_t a, uint32_t s) { return DataReply(0x53, AddressBytes(a, s)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        link.onWrite = [&c](ScriptedLink& l, const LinkEvent& e) {
            l.QueueI2cReply(c.reply(BigEndian32(e.data, 7), BigEndian32(e.data, 11)));
        };
        std::vector<uint8_t> buffer(16, 0xEE);
        EXPECT_FALSE(control.ReadMemory(0x3000, buffer.data(), 16));
    }
}

TEST_F(CommandChannelTest, ReadMemoryStopsAtTheFirstFailedPiece) {
    int pieces = 0;
    link.onWrite = [&pieces](ScriptedLink& l, const LinkEvent& e) {
        if (++pieces == 1) {
            l.QueueI2cReply(DataReply(0x52, AddressBytes(BigEndian32(e.data, 7), 96)));
        }
        // Later pieces get no reply.
    };
    std::vector<uint8_t> buffer(200, 0xEE);
    EXPECT_FALSE(control.ReadMemory(0x5000, buffer.data(), 200));
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 96), AddressBytes(0x5000, 96));
}

// --- ReadRegister ---

TEST_F(CommandChannelTest, ReadRegisterReturnsTheValueOrItsSentinels) {
    struct Case {
        const char* name;
        std::vector<uint8_t> reply;  // empty: no reply at all
        uint32_t value;
    };
    const Case cases[] = {
        {"value", DataReply(0x50, {0x00, 0x02, 0x64, 0x29, 0x00, 0x00, 0x01, 0x30}), 0x130},
        {"other address echoed", DataReply(0x50, {0x00, 0x02, 0x64, 0x2A, 0x00, 0x00, 0x01, 0x30}),
         0},
        {"wrong echo", DataReply(0x52, {0x00, 0x02, 0x64, 0x29, 0x00, 0x00, 0x01, 0x30}),
         0xFFFFFFFF},
        {"too short for a value", DataReply(0x50, {0x00, 0x02, 0x64, 0x29, 0x00}), 0xFFFFFFFF},
        {"no reply", {}, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.reply.empty()) {
            link.QueueI2cReply(c.reply);
        }
        EXPECT_EQ(control.ReadRegister(0x26429), c.value);
        EXPECT_THAT(link.I2cWrites().back(), ElementsAre(0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x50,
                                                         0x00, 0x02, 0x64, 0x29, 0x6C));
    }
    link.QueueI2cWriteResult(GFX_BUSY);
    link.QueueI2cReply(DataReply(0x50, {0x00, 0x02, 0x64, 0x29, 0x00, 0x00, 0x01, 0x30}));
    EXPECT_EQ(control.ReadRegister(0x26429), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace zorvan::testing
