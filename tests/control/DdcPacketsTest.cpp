// Framing of vendor commands and replies, and the stored packet and request table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "core/control/DdcPackets.h"
#include "core/control/StoredPackets.h"

namespace zorvan {
namespace {

using ::testing::ElementsAreArray;

std::vector<uint8_t> Build(const std::vector<uint8_t>& command, uint8_t address = 0x6E) {
    std::vector<uint8_t> out(ddc::kMaxCommandPacket + 8, 0xEE);
    const size_t n = ddc::BuildCommandPacket(address, command, out);
    out.resize(n);
    return out;
}

struct PacketCase {
    const char* name;
    std::vector<uint8_t> command;
    uint8_t address;
    std::vector<uint8_t> packet;
};

TEST(DdcPacketsTest, FramesVendorCommandsByteForByte) {
    const PacketCase cases[] = {
        {"type query",
         {0x06, 0xC8, 0x02},
         0x6E,
         {0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB3}},
        {"one byte", {0x09}, 0x6E, {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72}},
        {"other address changes only the checksum",
         {0x09},
         0x70,
         {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x6C}},
        {"read register",
         {0x50, 0x00, 0x02, 0x64, 0x29},
         0x6E,
         {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x50, 0x00, 0x02, 0x64, 0x29, 0x6C}},
        {"read memory",
         {0x52, 0x00, 0x01, 0xB5, 0x03, 0x00, 0x00, 0x00, 0x0A},
         0x6E,
         {0x51, 0x8D, 0xC2, 0x00, 0x00, 0x0B, 0x52, 0x00, 0x01, 0xB5, 0x03, 0x00, 0x00, 0x00, 0x0A,
          0x94}},
    };
    for (const PacketCase& c : cases) {
        EXPECT_THAT(Build(c.command, c.address), ElementsAreArray(c.packet)) << c.name;
    }
}

TEST(DdcPacketsTest, CommandLengthLimitIsTheSevenBitCount) {
    const std::vector<uint8_t> longest(125, 0x11);
    const std::vector<uint8_t> packet = Build(longest);
    ASSERT_EQ(packet.size(), 132u);
    EXPECT_EQ(packet[5], 0x7F);  // n = 127
    std::vector<uint8_t> before(packet.begin(), packet.end() - 1);
    EXPECT_EQ(packet.back(), ddc::XorBytes(0x6E, before));

    EXPECT_TRUE(Build(std::vector<uint8_t>(126, 0x11)).empty());
    EXPECT_TRUE(Build({}).empty());

    // Too small an output buffer is refused and left alone.
    std::vector<uint8_t> small(9, 0xEE);
    EXPECT_EQ(ddc::BuildCommandPacket(0x6E, std::vector<uint8_t>{0x06, 0xC8, 0x02}, small), 0u);
    EXPECT_EQ(small, std::vector<uint8_t>(9, 0xEE));
}

TEST(DdcPacketsTest, CountByteMayAnnounceMoreThanFollows) {
    const std::vector<uint8_t> write = {0x53, 0x00, 0x32, 0x01, 0x00, 0xAB};
    const struct {
        const char* name;
        size_t announced;
        std::vector<uint8_t> packet;
    } cases[] = {
        // Length byte and checksum cover the six command bytes sent; n announces 120.
        {"more", 120, {0x51, 0x8A, 0xC2, 0x00, 0x00, 0x7A, 0x53, 0x00, 0x32, 0x01, 0x00, 0xAB, 0xC6}},
        {"fewer counts the command itself",
         2,
         {0x51, 0x8A, 0xC2, 0x00, 0x00, 0x08, 0x53, 0x00, 0x32, 0x01, 0x00, 0xAB, 0xB4}},
        {"beyond the seven-bit count", 126, {}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out(ddc::kMaxCommandPacket, 0xEE);
        out.resize(ddc::BuildCommandPacket(0x6E, write, out, c.announced));
        EXPECT_THAT(out, ElementsAreArray(c.packet)) << c.name;
    }
}

TEST(DdcPacketsTest, AcceptsOnlyTheExactAcknowledgement) {
    struct Case {
        const char* name;
        std::vector<uint8_t> reply;
        bool ack;
    };
    const Case cases[] = {
        {"acknowledgement", {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76}, true},
        {"other code, right checksum", {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0D, 0x77}, false},
        {"wrong checksum", {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x77}, false},
        {"other opcode", {0x6E, 0x85, 0xC3, 0x00, 0x00, 0x03, 0x0C, 0x77}, false},
        {"null message", {0x6E, 0x80, 0xBE}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ddc::IsAcknowledgement(c.reply), c.ack) << c.name;
    }
}

TEST(DdcPacketsTest, ReplyChecksumUsesConfiguredAddressAndImpliedLength) {
    // The acknowledgement ends in 76; bytes 0 and 1 do not enter, the configured address and
    // the length the byte count implies stand in for them.
    const std::vector<uint8_t> reply = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x00};
    EXPECT_EQ(ddc::ExpectedReplyChecksum(0x6E, reply), 0x76);
    std::vector<uint8_t> lying = reply;
    lying[0] = 0x00;
    lying[1] = 0xFF;
    EXPECT_EQ(ddc::ExpectedReplyChecksum(0x6E, lying), 0x76);
    EXPECT_EQ(ddc::ExpectedReplyChecksum(0x70, reply), 0x76 ^ 0x6E ^ 0x70);
}

// The stored table is what the chip receives: every stored checksum must already be right for
// the default address, and the variable bytes sit where the senders fill them in.
TEST(StoredPacketsTest, StoredChecksumsAreRightForTheDefaultAddress) {
    const FixedPacket* packets[] = {&kEnterIspPacket,       &kIspModePacket,
                                    &kRunDriverPacket,      &kStartSignedDriverPacket,
                                    &kClearEsmHandlePacket, &kStartSecureIspPacket,
                                    &kEsmStatusPacket,      &kBootStartSecProcPacket,
                                    &kStartSecProcPacket,   &kSecureCommand76Packet};
    for (const FixedPacket* p : packets) {
        const std::vector<uint8_t> bytes(p->bytes.begin(), p->bytes.begin() + p->count);
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(bytes[1], 0x80 | (p->count - 3));
        EXPECT_EQ(bytes[5], p->count - 5);
        const std::vector<uint8_t> head(bytes.begin(), bytes.end() - 1);
        EXPECT_EQ(bytes.back(), ddc::XorBytes(0x6E, head));
    }
}

TEST(StoredPacketsTest, PreparedCopyCarriesTheCallersBytes) {
    std::array<uint8_t, 12> out{};
    const uint8_t runAt[] = {0x20, 0x00};
    ASSERT_TRUE(PreparePacket(kRunDriverPacket, runAt, 0x6E, out));
    EXPECT_THAT(std::vector<uint8_t>(out.begin(), out.begin() + 10),
                ElementsAreArray({0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x20, 0x00, 0x42}));

    const uint8_t length[] = {0x00, 0x01, 0xF4, 0x00};
    ASSERT_TRUE(PreparePacket(kStartSecProcPacket, length, 0x6E, out));
    EXPECT_THAT(
        std::vector<uint8_t>(out.begin(), out.end()),
        ElementsAreArray({0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x72, 0x00, 0x01, 0xF4, 0x00, 0xF4}));

    // The table itself never changes.
    EXPECT_EQ(kRunDriverPacket.bytes[7], 0x18);

    // The number of variable bytes must be the packet's own.
    out.fill(0xEE);
    EXPECT_FALSE(PreparePacket(kRunDriverPacket, {}, 0x6E, out));
    EXPECT_FALSE(PreparePacket(kEnterIspPacket, runAt, 0x6E, out));
    EXPECT_EQ(out[0], 0xEE);
}

TEST(StoredPacketsTest, MailboxRequestsCarryLengthAndXor) {
    EXPECT_THAT(ReadFlashRequest(0x07E000, 57).view(),
                ElementsAreArray({0x07, 0x1B, 0x07, 0xE0, 0x00, 0x39, 0xC2}));
    EXPECT_THAT(EraseRequest(0xFFFF).view(), ElementsAreArray({0x05, 0x19, 0xFF, 0xFF, 0x1C}));
    EXPECT_THAT(EraseRequest(0xFFA3).view(), ElementsAreArray({0x05, 0x19, 0xFF, 0xA3, 0x40}));
    EXPECT_THAT(BlockHeader(0x47E000, 0x1F8),
                ElementsAreArray({0x00, 0x47, 0xE0, 0x00, 0x00, 0x00, 0x01, 0xF8}));

    // Stored requests whose last byte is computed.
    for (const MailboxRequest* r : {&kProgramRequest10, &kProgramRequest76, &kProgramRequest77,
                                    &kProgramRequest78, &kSystemResetRequest}) {
        const auto bytes = r->view();
        EXPECT_EQ(bytes.back(), ddc::XorBytes(0, bytes.first(bytes.size() - 1)));
    }
    EXPECT_EQ(kFlashIdRequest.view().size(), 9u);
}

}  // namespace
}  // namespace zorvan
