// Chip type queries and the identification block with its description per family.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/control/ControlFixture.h"

namespace zorvan::testing {
namespace {

using ::testing::ElementsAre;

class ChipIdentityTest : public ControlTest {
protected:
    // The identification block: six id bytes, revision, major, minor, build.
    static std::vector<uint8_t> Block(const char (&id)[7], uint8_t rev, uint8_t major,
                                      uint8_t minor, uint8_t build) {
        std::vector<uint8_t> block(10);
        for (size_t i = 0; i < 6; ++i) {
            block[i] = static_cast<uint8_t>(id[i]);
        }
        block[6] = rev;
        block[7] = major;
        block[8] = minor;
        block[9] = build;
        return block;
    }

    // The chip answers the block through chip memory at 0x1B503 and at DPCD 0x503.
    void ServeBlock(const std::vector<uint8_t>& block) {
        AnswerMemoryReads([block](uint32_t address, uint32_t size) {
            EXPECT_EQ(address, 0x1B503u);
            EXPECT_EQ(size, 10u);
            return block;
        });
        link.unscriptedAuxRead = {GFX_OK, block};
    }
};

TEST_F(ChipIdentityTest, GetChipTypeDecidesFromTheTwoQueries) {
    const std::vector<uint8_t> none;
    struct Case {
        const char* name;
        std::vector<uint8_t> first;   // reply to 06 C8 02 (empty: none)
        std::vector<uint8_t> second;  // reply to 06 80 02 (empty: none)
        ChipType type;
        size_t queries;
    };
    const Case cases[] = {
        {"no answer", none, none, CHIP_NONE, 1},
        {"wrong echo", DataReply(0x07, {0xC8, 0x02, 0x28, 0x00}), none, CHIP_NONE, 1},
        {"Vexa1100", DataReply(0x06, {0xC8, 0x02, 0x28, 0x00}), none, CHIP_VEXA1100, 1},
        {"Vireen", DataReply(0x06, {0xC8, 0x02, 0x26, 0x00}), none, CHIP_VIREEN, 1},
        {"second query unanswered", DataReply(0x06, {0xC8, 0x02, 0x43, 0x64}), none, CHIP_UNKNOWN,
         2},
        {"second query wrong echo", DataReply(0x06, {0xC8, 0x02, 0x00, 0x00}),
         DataReply(0x05, {0x80, 0x02, 0x43, 0x00}), CHIP_UNKNOWN, 2},
        {"Lumox wins over Talvor", DataReply(0x06, {0xC8, 0x02, 0x00, 0x00}),
         DataReply(0x06, {0x80, 0x02, 0x43, 0x64}), CHIP_LUMOX, 2},
        {"Talvor", DataReply(0x06, {0xC8, 0x02, 0x00, 0x00}),
         DataReply(0x06, {0x80, 0x02, 0x43, 0x00}), CHIP_TALVOR, 2},
        {"neither", DataReply(0x06, {0xC8, 0x02, 0x00, 0x00}),
         DataReply(0x06, {0x80, 0x02, 0x44, 0x63}), CHIP_UNKNOWN, 2},
        // The second reply is too short to hold bytes 4 and 5: the first reply's bytes must
        // not stand in for them.
        {"short second reply", DataReply(0x06, {0xC8, 0x02, 0x43, 0x64}), DataReply(0x06, {}),
         CHIP_UNKNOWN, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink fresh;
        control.gfx = &fresh;
        fresh.onWrite = [&c, count = 0](ScriptedLink& l, const LinkEvent&) mutable {
            const std::vector<uint8_t>& reply = ++count == 1 ? c.first : c.second;
            if (!reply.empty()) {
                l.QueueI2cReply(reply);
            }
        };
        EXPECT_EQ(control.GetChipType(), c.type);
        const auto writes = fresh.I2cWrites();
        ASSERT_EQ(writes.size(), c.queries);
        EXPECT_THAT(writes[0],
                    ElementsAre(0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0xC8, 0x02, 0xB3));
        if (c.queries == 2) {
            EXPECT_THAT(writes[1],
                        ElementsAre(0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x06, 0x80, 0x02, 0xFB));
        }
    }
}

TEST_F(ChipIdentityTest, DescribesEveryFamily) {
    struct Case {
        const char* name;
        ChipType in;
        std::vector<uint8_t> block;
        std::wstring text;
        ChipType out;
        uint32_t version;
    };
    const Case cases[] = {
        {"Vexa1100 app", CHIP_VEXA1100, Block("KQ1100", 0x12, 1, 5, 0),
         L"Zorvan App: KQ1100 v1.05  (cut1.2)", CHIP_VEXA1100, 0x000105},
        {"Vexa1100 app with build", CHIP_VEXA1100, Block("KQ1100", 0x21, 2, 3, 1),
         L"Zorvan App: KQ1100 v2.03.1  (cut2.1)", CHIP_VEXA1100, 0x010203},
        {"Vexa1150 app", CHIP_VEXA1100, Block("KQ1150", 0x10, 1, 12, 0),
         L"Zorvan App: KQ1150 v1.12  (cut1.0)", CHIP_VEXA1150, 0x00010C},
        {"boot ROM", CHIP_VEXA1100, Block("KQ1101", 0x10, 2, 1, 9), L"Zorvan IROM v2.1",
         CHIP_ZORVAN_IROM, 0x090201},
        {"Talvor boot ROM", CHIP_TALVOR, Block("TLVGGX", 0x00, 2, 3, 1), L"Talvor iROM: v258.3",
         CHIP_TALVOR, 0x010203},
        // Talvor versions are packed 2/9/5 bits: 0xA591 is 2, 300, 17.
        {"Talvor app", CHIP_TALVOR, Block("TLV100", 0x3C, 0xA5, 0x91, 0),
         L"Talvor App: TLV100 v2.300.17  (HWver=0x3C)", CHIP_TALVOR, 0x00A591},
        {"Lumox", CHIP_LUMOX, Block("LMX200", 0x32, 1, 0x0A, 0), L"Lumox: LMX200 v1.0A  (cut-1.-3)",
         CHIP_LUMOX, 0x00010A},
        {"Vireen", CHIP_VIREEN, Block("VRN300", 0x21, 3, 4, 5), L"Vireen: VRN300 v3.04  (cut2.0)",
         CHIP_VIREEN, 0x050304},
        {"unknown", CHIP_UNKNOWN, Block("ABCDEF", 0x07, 1, 2, 0), L"ABCDEF v1.02  (HWver=0x07)",
         CHIP_UNKNOWN, 0x000102},
        {"id ends at a zero byte", CHIP_UNKNOWN, Block("KQ1\0XY", 0xA0, 1, 2, 0),
         L"KQ1 v1.02  (HWver=0xA0)", CHIP_UNKNOWN, 0x000102},
        {"no type", CHIP_NONE, Block("QQQQQQ", 0x01, 0, 0, 0), L"QQQQQQ   (HWver=0x01)", CHIP_NONE,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServeBlock(c.block);
        ChipType type = c.in;
        std::wstring text = L"old";
        control.GetChipInfo(type, text);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(type, c.out);
        EXPECT_EQ(control.chipVersion, c.version);
    }
}

TEST_F(ChipIdentityTest, Type0ReadsChipMemoryFirstThenDpcdThenMemoryAgain) {
    const std::vector<uint8_t> block = Block("KQ1100", 0x12, 1, 5, 0);
    // Memory reads fail twice; DPCD fails once; the third try (memory again) answers.
    int memoryReads = 0;
    link.onWrite = [&](ScriptedLink& l, const LinkEvent&) {
        if (++memoryReads == 2) {
            l.QueueI2cReply(DataReply(0x52, block));
        }
    };
    link.QueueAuxRead({GFX_BUSY, {}});
    ChipType type = CHIP_VEXA1100;
    std::wstring text;
    control.GetChipInfo(type, text);
    EXPECT_EQ(text, L"Zorvan App: KQ1100 v1.05  (cut1.2)");
    std::vector<LinkOp> order;
    for (const LinkEvent& e : link.events()) {
        if (e.op != LinkOp::kI2cRead) {
            order.push_back(e.op);
        }
    }
    EXPECT_THAT(order, ElementsAre(LinkOp::kI2cWrite, LinkOp::kAuxRead, LinkOp::kI2cWrite));
    const LinkEvent aux = link.EventsOf(LinkOp::kAuxRead)[0];
    EXPECT_EQ(aux.address, 0x503u);
    EXPECT_EQ(aux.length, 10);
}

TEST_F(ChipIdentityTest, OtherTypesReadDpcdFirstThenChipMemory) {
    const std::vector<uint8_t> block = Block("VRN300", 0x21, 3, 4, 5);
    link.QueueAuxRead({GFX_BAD_REPLY, {}});
    AnswerMemoryReads([&block](uint32_t, uint32_t) { return block; });
    ChipType type = CHIP_VIREEN;
    std::wstring text;
    control.GetChipInfo(type, text);
    EXPECT_EQ(text, L"Vireen: VRN300 v3.04  (cut2.0)");
    EXPECT_EQ(link.events().front().op, LinkOp::kAuxRead);
    EXPECT_EQ(MemoryReadsSent().size(), 1u);

    // DPCD answers: no memory read at all.
    ScriptedLink dpcd;
    dpcd.QueueAuxRead({GFX_OK, block});
    control.gfx = &dpcd;
    control.GetChipInfo(type, text);
    EXPECT_EQ(text, L"Vireen: VRN300 v3.04  (cut2.0)");
    EXPECT_EQ(dpcd.CountOf(LinkOp::kI2cWrite), 0u);
}

TEST_F(ChipIdentityTest, UnreadableBlockGivesNotAvailable) {
    for (const ChipType in : {CHIP_VEXA1100, CHIP_TALVOR}) {
        control.chipVersion = 0x010203;
        ChipType type = in;
        std::wstring text = L"old";
        control.GetChipInfo(type, text);
        EXPECT_EQ(text, L"N/A");
        EXPECT_EQ(type, in);
        EXPECT_EQ(control.chipVersion, 0u);
    }
    // Type 0 tried memory, DPCD, memory; the others DPCD, memory.
    EXPECT_EQ(link.CountOf(LinkOp::kAuxRead), 2u);
    EXPECT_EQ(link.CountOf(LinkOp::kI2cWrite), 3u);
}

}  // namespace
}  // namespace zorvan::testing
