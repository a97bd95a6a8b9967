// The secure ISP operations against a scripted link: the memory-write packets of the ESM
// download and the driver signature, their acknowledgement retries, the ESM status and the
// fixed packets that start the secure process and the signed driver.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/control/ControlFixture.h"

namespace zorvan::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

uint8_t Checksum(const std::vector<uint8_t>& bytes) {
    uint8_t x = 0x6E;
    for (const uint8_t b : bytes) {
        x = static_cast<uint8_t>(x ^ b);
    }
    return x;
}

// What a memory-write packet carries, read back from its bytes.
struct MemoryWrite {
    uint32_t address;
    uint8_t countByte;
    std::vector<uint8_t> data;
};

MemoryWrite Decode(const std::vector<uint8_t>& packet) {
    EXPECT_GE(packet.size(), 12u);
    EXPECT_EQ(packet[0], 0x51);
    EXPECT_EQ(packet[1], 0x80 | (packet.size() - 3)) << "length byte";
    EXPECT_EQ(packet[2], 0xC2);
    EXPECT_EQ(packet[6], 0x53);
    EXPECT_EQ(packet.back(), Checksum({packet.begin(), packet.end() - 1}));
    const uint32_t address = static_cast<uint32_t>(packet[7]) << 24 |
                             static_cast<uint32_t>(packet[8]) << 16 |
                             static_cast<uint32_t>(packet[9]) << 8 | packet[10];
    return {address, packet[5], {packet.begin() + 11, packet.end() - 1}};
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
    return out;
}

// A reply long enough to end an acknowledgement wait that is no acknowledgement.
const std::vector<uint8_t> kNotAnAck = DataReply(0x52, {0x00});

class SecureIspTest : public ControlTest {
protected:
    SecureIspTest() { control.delegate = &progress; }

    void LoadEsm(uint32_t payloadLength) {
        payload = Pattern(payloadLength, 0x21);
        control.esmImage = {static_cast<uint8_t>(payloadLength),
                            static_cast<uint8_t>(payloadLength >> 8),
                            static_cast<uint8_t>(payloadLength >> 16),
                            static_cast<uint8_t>(payloadLength >> 24)};
        control.esmImage.insert(control.esmImage.end(), payload.begin(), payload.end());
        // The loader's value: the file length, replaced by the download.
        control.esmLength = static_cast<int32_t>(control.esmImage.size());
    }

    // Every write is answered by `failures[k]` failed waits (for the k-th write; none once the
    // list ends) and then an acknowledgement.
    void AnswerWrites(std::vector<int> failures) {
        link.onWrite = [failures, k = size_t{0}](ScriptedLink& l, const LinkEvent& e) mutable {
            if (e.op != LinkOp::kI2cWrite) {
                return;
            }
            const int failed = k < failures.size() ? failures[k] : 0;
            ++k;
            for (int i = 0; i < failed; ++i) {
                l.QueueI2cReply(kNotAnAck);
            }
            l.QueueI2cReply(kAckReply);
        };
    }

    std::vector<MemoryWrite> Written() const {
        std::vector<MemoryWrite> out;
        for (const auto& packet : link.I2cWrites()) {
            out.push_back(Decode(packet));
        }
        return out;
    }

    Progress progress;
    std::vector<uint8_t> payload;
};

// --- ESM download ---

// One expected memory-write packet: where its data comes from in the payload, how many
// bytes follow and the count byte announcing them (data length + 7 unless stated).
struct EsmPacket {
    uint32_t offset;
    uint32_t length;
    uint8_t countByte = 0;

    uint8_t ExpectedCountByte() const {
        return countByte != 0 ? countByte : static_cast<uint8_t>(length + 7);
    }
};

struct EsmCase {
    const char* name;
    uint32_t payloadLength;
    std::vector<EsmPacket> packets;
    std::vector<std::pair<int32_t, int32_t>> progress;
};

class EsmDownloadTest : public SecureIspTest, public ::testing::WithParamInterface<EsmCase> {};

TEST_P(EsmDownloadTest, SendsGroupsOf256BytesThenTheRestInItsForm) {
    const EsmCase& c = GetParam();
    LoadEsm(c.payloadLength);
    AnswerWrites({});
    ASSERT_TRUE(control.DownloadEsm());

    const std::vector<MemoryWrite> written = Written();
    ASSERT_EQ(written.size(), c.packets.size());
    for (size_t i = 0; i < written.size(); ++i) {
        const EsmPacket& expected = c.packets[i];
        SCOPED_TRACE("packet " + std::to_string(i));
        EXPECT_EQ(written[i].address, 0x320000u + expected.offset);
        EXPECT_EQ(written[i].countByte, expected.ExpectedCountByte());
        EXPECT_EQ(written[i].data,
                  std::vector<uint8_t>(payload.begin() + expected.offset,
                                       payload.begin() + expected.offset + expected.length));
    }
    EXPECT_EQ(progress.reports, c.progress);
    EXPECT_EQ(control.esmLength, static_cast<int32_t>(c.payloadLength))
        << "the payload length replaces the file length";
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, EsmDownloadTest,
    ::testing::Values(
        // One group, then a rest of 256 bytes: 115, 115 and a last packet of 26 (0x21).
        EsmCase{"Bytes512", 512,
                {{0, 115}, {115, 115}, {230, 26}, {256, 115}, {371, 115}, {486, 26}},
                {{256, 512}, {512, 512}}},
        // Two groups, then 188 bytes: 115 and a last packet of 73 (0x50).
        EsmCase{"Bytes700", 700,
                {{0, 115}, {115, 115}, {230, 26}, {256, 115}, {371, 115}, {486, 26},
                 {512, 115}, {627, 73}},
                {{256, 700}, {512, 700}, {700, 700}}},
        // 116 bytes: still exact, 115 and a last packet of 1 (0x08), nothing after it.
        EsmCase{"Bytes372", 372,
                {{0, 115}, {115, 115}, {230, 26}, {256, 115}, {371, 1}},
                {{256, 372}, {372, 372}}},
        // A rest of at most 115 bytes: its packet keeps the count byte 0x7A of 115 bytes,
        // and an empty packet (count byte 7) at the ESM's end follows.
        EsmCase{"Bytes300", 300,
                {{0, 115}, {115, 115}, {230, 26}, {256, 44, 0x7A}, {300, 0}},
                {{256, 300}, {300, 300}}},
        EsmCase{"Bytes257", 257,
                {{0, 115}, {115, 115}, {230, 26}, {256, 1, 0x7A}, {257, 0}},
                {{256, 257}, {257, 257}}},
        EsmCase{"Bytes371", 371,
                {{0, 115}, {115, 115}, {230, 26}, {256, 115}, {371, 0}},
                {{256, 371}, {371, 371}}},
        EsmCase{"Bytes1048", 1048,
                {{0, 115}, {115, 115}, {230, 26}, {256, 115}, {371, 115}, {486, 26},
                 {512, 115}, {627, 115}, {742, 26}, {768, 115}, {883, 115}, {998, 26},
                 {1024, 24, 0x7A}, {1048, 0}},
                {{256, 1048}, {512, 1048}, {768, 1048}, {1024, 1048}, {1048, 1048}}}),
    [](const auto& p) { return std::string(p.param.name); });

struct AckCase {
    const char* name;
    uint32_t payloadLength;
    std::vector<int> failedWaits;  // per packet, before its acknowledgement
    size_t packetsSent;
};

class EsmAckTest : public SecureIspTest, public ::testing::WithParamInterface<AckCase> {};

TEST_P(EsmAckTest, GroupPacketsGetThreeWaitsAndRestPacketsOne) {
    const AckCase& c = GetParam();
    LoadEsm(c.payloadLength);
    AnswerWrites(c.failedWaits);
    EXPECT_FALSE(control.DownloadEsm());
    EXPECT_EQ(link.I2cWrites().size(), c.packetsSent) << "nothing after the unacknowledged packet";
}

INSTANTIATE_TEST_SUITE_P(
    Rests, EsmAckTest,
    ::testing::Values(
        // Group packets: two failed waits each are still fine.
        AckCase{"ExactRestPacket", 512, {2, 2, 2, 0, 1}, 5},
        AckCase{"ShortRestPacket", 300, {2, 2, 2, 1}, 4},
        AckCase{"EmptyPacket", 300, {0, 0, 0, 0, 1}, 5}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SecureIspTest, ThreeFailedWaitsEndTheEsmDownload) {
    LoadEsm(512);
    AnswerWrites({0, 3});
    EXPECT_FALSE(control.DownloadEsm()) << "three failed waits end the download";
    EXPECT_EQ(link.I2cWrites().size(), 2u);
}

TEST_F(SecureIspTest, RefusesAnEsmImageThatDoesNotHoldWhatItAnnounces) {
    for (const std::vector<uint8_t>& image :
         {std::vector<uint8_t>{}, std::vector<uint8_t>{0x00, 0x02},
          // announces 512, holds 511
          [] {
              std::vector<uint8_t> v = {0x00, 0x02, 0x00, 0x00};
              v.resize(4 + 511, 0xAA);
              return v;
          }(),
          // 256 bytes: less than the first group
          [] {
              std::vector<uint8_t> v = {0x00, 0x01, 0x00, 0x00};
              v.resize(4 + 256, 0xAA);
              return v;
          }()}) {
        control.esmImage = image;
        EXPECT_FALSE(control.DownloadEsm());
    }
    EXPECT_TRUE(link.I2cWrites().empty());
}

// --- driver signature ---

TEST_F(SecureIspTest, DriverSignatureIsTheNext256BytesAfterTheDriverInThreePackets) {
    const std::vector<uint8_t> code = Pattern(0x3000 + 256, 0x40);
    control.driverImage = {0x00, 0x30, 0x00, 0x00};
    control.driverImage.insert(control.driverImage.end(), code.begin(), code.end());
    control.driverPayload = control.driverImage.data() + 4;
    control.driverLength = 0x3000;
    AnswerWrites({2, 2, 2});

    ASSERT_TRUE(control.SendDriverSignature());
    const std::vector<MemoryWrite> written = Written();
    ASSERT_EQ(written.size(), 3u);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0x31D2BC, 115}, {0x31D32F, 115}, {0x31D3A2, 26}};
    uint32_t offset = 0x3000;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(written[i].address, expected[i].first);
        EXPECT_EQ(written[i].data, std::vector<uint8_t>(code.begin() + offset,
                                                        code.begin() + offset + expected[i].second));
        offset += expected[i].second;
    }
    EXPECT_EQ(control.driverPayload, control.driverImage.data() + 4 + 0x3000)
        << "the payload pointer stays on the signature";
}

TEST_F(SecureIspTest, DriverSignatureFailsAfterThreeFailedWaits) {
    control.driverImage.assign(4 + 0x100 + 256, 0x11);
    control.driverPayload = control.driverImage.data() + 4;
    control.driverLength = 0x100;
    AnswerWrites({0, 3});
    EXPECT_FALSE(control.SendDriverSignature());
    EXPECT_EQ(link.I2cWrites().size(), 2u);
}

TEST_F(SecureIspTest, DriverWithoutSignatureBytesSendsNothing) {
    // A file whose code fills it to the end has no signature to send.
    control.driverLength = 0x100;
    control.driverImage.assign(4 + 0x100 + 255, 0x11);
    control.driverPayload = control.driverImage.data() + 4;
    EXPECT_FALSE(control.SendDriverSignature());
    EXPECT_TRUE(link.I2cWrites().empty());
}

// --- ESM status ---

struct StatusCase {
    const char* name;
    std::vector<uint8_t> reply;
    bool running;
    uint32_t status;
};

class EsmStatusTest : public SecureIspTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(EsmStatusTest, RunningNeedsTheEchoAndBit0x40) {
    const StatusCase& c = GetParam();
    if (!c.reply.empty()) {
        link.QueueI2cReply(c.reply);
    }
    uint32_t status = 0xDEAD;
    EXPECT_EQ(control.CheckEsmStatus(status), c.running);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(link.I2cWrites().front(),
              (std::vector<uint8_t>{0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x77, 0x0C}));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EsmStatusTest,
    ::testing::Values(
        StatusCase{"Running", DataReply(0x77, {0x00, 0x00, 0x00, 0x40}), true, 0x40},
        StatusCase{"RunningAmongOtherBits", DataReply(0x77, {0x12, 0x34, 0x56, 0xC1}), true,
                   0x123456C1},
        StatusCase{"OtherBitOnly", DataReply(0x77, {0x00, 0x00, 0x00, 0x80}), false, 0x80},
        StatusCase{"WrongEcho", DataReply(0x78, {0x00, 0x00, 0x00, 0x40}), false, 0},
        StatusCase{"TooShort", DataReply(0x77, {0x00, 0x40}), false, 0},
        StatusCase{"NoReply", {}, false, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// --- fixed packets ---

TEST_F(SecureIspTest, FixedPacketsCarryTheirParameters) {
    link.unscriptedI2cRead = {GFX_OK, kAckReply};
    control.esmLength = 0x1F400;
    control.ramWriteAddress = 0x2468;
    ASSERT_TRUE(control.ClearEsmHandle());
    ASSERT_TRUE(control.StartSecureIsp());
    ASSERT_TRUE(control.BootStartSecProc());
    ASSERT_TRUE(control.StartSecProc());
    ASSERT_TRUE(control.StartSignedDriver());

    const auto sealed = [](std::vector<uint8_t> p) {
        p.push_back(Checksum(p));
        return p;
    };
    EXPECT_THAT(
        link.I2cWrites(),
        ElementsAre(sealed({0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x07, 0x09, 0xC0, 0x00, 0x00}),
                    sealed({0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x71}),
                    sealed({0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x78, 0x00, 0x02, 0x00, 0xD0}),
                    sealed({0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x72, 0x00, 0x01, 0xF4, 0x00}),
                    sealed({0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x75, 0x24, 0x68})));
}

TEST_F(SecureIspTest, FixedPacketsFailWithoutAcknowledgement) {
    link.unscriptedI2cRead = {GFX_OK, kNullMessage};
    EXPECT_FALSE(control.ClearEsmHandle());
    EXPECT_FALSE(control.StartSecureIsp());
    EXPECT_FALSE(control.BootStartSecProc());
    EXPECT_FALSE(control.StartSecProc());
    EXPECT_FALSE(control.StartSignedDriver());
}

// --- command 0x76 ---

TEST_F(SecureIspTest, Command76WaitsForItsEchoThroughBusyAndShortReads) {
    link.QueueI2cResult(GFX_BUSY);
    link.QueueI2cReply(kNullMessage);
    link.QueueI2cReply(DataReply(0x76, {0x01}));
    ASSERT_TRUE(control.SecureCommand76());
    EXPECT_EQ(link.I2cWrites().front(),
              (std::vector<uint8_t>{0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x76, 0x0D}));
    const std::vector<std::string> waits(journal.begin() + 1, journal.end());
    EXPECT_THAT(waits, ElementsAre("sleep 40ms", ::testing::StartsWith("I2cRead -> 1003"),
                                   "busy 10ms", ::testing::StartsWith("I2cRead -> 0"), "sleep 30ms",
                                   ::testing::StartsWith("I2cRead -> 0")));
}

TEST_F(SecureIspTest, Command76FailsOnAnotherEcho) {
    link.QueueI2cReply(kAckReply);
    EXPECT_FALSE(control.SecureCommand76()) << "an acknowledgement echoes 0x0C";
}

TEST_F(SecureIspTest, Command76GivesUpAfterAHundredReads) {
    link.unscriptedI2cRead = {GFX_BUSY, {}};
    EXPECT_FALSE(control.SecureCommand76());
    EXPECT_EQ(link.CountOf(LinkOp::kI2cRead), 100u);
}

}  // namespace
}  // namespace zorvan::testing
