// The Customized Data Block record and its status check through chip memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/platform/Text.h"
#include "tests/control/ControlFixture.h"

namespace zorvan::testing {
namespace {

using Record = std::array<uint8_t, 128>;

Record MakeRecord(std::initializer_list<uint8_t> head) {
    Record record{};
    std::copy(head.begin(), head.end(), record.begin());
    return record;
}

Record WithChecksum(Record record) {
    record[127] = CmdbChecksum(record);
    return record;
}

TEST(CmdbRecordTest, ChecksumMakesTheRecordSumToZero) {
    const Record record = WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 1, 0, 1, 0}));
    EXPECT_EQ(record[127], 0xE8);
    unsigned sum = 0;
    for (const uint8_t b : record) {
        sum += b;
    }
    EXPECT_EQ(sum % 256, 0u);
}

TEST(CmdbRecordTest, ClassifiesRecords) {
    Record empty;
    empty.fill(0xFF);
    Record emptyHead = WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4}));
    std::fill(emptyHead.begin(), emptyHead.begin() + 10, 0xFF);
    Record nineFF = empty;
    nineFF[9] = 0x00;
    Record sumOne = WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4}));
    sumOne[127] = static_cast<uint8_t>(sumOne[127] + 1);
    struct Case {
        const char* name;
        Record record;
        CmdbStatus status;
    };
    const Case cases[] = {
        {"good", WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4})), CMDB_OK},
        {"erased", empty, CMDB_EMPTY},
        {"first ten bytes erased, rest not", emptyHead, CMDB_EMPTY},
        {"only nine bytes erased", nineFF, CMDB_BAD_SIGNATURE},
        {"fourth byte not B, checksum right", WithChecksum(MakeRecord({'C', 'M', 'D', 'X'})),
         CMDB_BAD_SIGNATURE},
        {"lower case", WithChecksum(MakeRecord({'c', 'm', 'd', 'b'})), CMDB_BAD_SIGNATURE},
        {"sum is 1", sumOne, CMDB_BAD_CHECKSUM},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EvaluateCmdb(c.record), c.status) << c.name;
    }
}

class CheckCmdbTest : public ControlTest {
protected:
    void ServeRecord(const Record& record) {
        AnswerMemoryReads([this, record](uint32_t address, uint32_t size) {
            const uint32_t base = control.flashStartAddress + 0x7E000;
            EXPECT_GE(address, base);
            EXPECT_LE(address + size, base + 128);
            return std::vector<uint8_t>(record.begin() + (address - base),
                                        record.begin() + (address - base + size));
        });
    }
};

TEST_F(CheckCmdbTest, AppendsTheStatusLine) {
    Record empty;
    empty.fill(0xFF);
    Record sumOne = WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4}));
    sumOne[127] = static_cast<uint8_t>(sumOne[127] + 1);
    struct Case {
        Record record;
        CmdbStatus status;
        std::wstring line;
    };
    const Case cases[] = {
        {WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4})), CMDB_OK,
         L"CMDB: Ver:2.1  (Custom Ver: 3.4)\r\n"},
        {WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 12, 0, 255, 7})), CMDB_OK,
         L"CMDB: Ver:12.0  (Custom Ver: 255.7)\r\n"},
        {empty, CMDB_EMPTY, L"CMDB: No data!\r\n"},
        {WithChecksum(MakeRecord({'C', 'M', 'D', 'X'})), CMDB_BAD_SIGNATURE,
         L"CMDB: Signature not correct!\r\n"},
        {sumOne, CMDB_BAD_CHECKSUM, L"CMDB: Checksum error!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.line));
        ServeRecord(c.record);
        std::wstring text = L"Serial: 1500\r\n";
        EXPECT_EQ(control.CheckCmdb(text), c.status);
        EXPECT_EQ(text, L"Serial: 1500\r\n" + c.line);
    }
}

TEST_F(CheckCmdbTest, ReadsTheRecordAtTheMappedFlash) {
    control.flashStartAddress = 0x400000;
    ServeRecord(WithChecksum(MakeRecord({'C', 'M', 'D', 'B', 2, 1, 3, 4})));
    std::wstring text;
    control.CheckCmdb(text);
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(MemoryReadsSent(), ::testing::ElementsAre(P{0x47E000, 96}, P{0x47E060, 32}));
}

TEST_F(CheckCmdbTest, UnreadableFlashIsReported) {
    std::wstring text = L"x";
    EXPECT_EQ(control.CheckCmdb(text), CMDB_READ_FAILED);
    EXPECT_EQ(text, L"xCMDB: Flash reading failed!\r\n");
}

}  // namespace
}  // namespace zorvan::testing
