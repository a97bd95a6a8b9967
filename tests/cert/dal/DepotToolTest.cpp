#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cert/dal/DalTestSupport.h"
#include "tools/depot/DepotTool.h"

namespace zorvan::dal::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Args = std::vector<std::string>;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome RunMake(const Args& args) {
    std::ostringstream out, err;
    const int status = zorvan::depot::RunDepotMake(args, out, err);
    return {status, out.str(), err.str()};
}

Outcome RunSelect(const Args& args) {
    std::ostringstream out, err;
    const int status = zorvan::depot::RunDepotSelect(args, out, err);
    return {status, out.str(), err.str()};
}

std::string HexOf(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string HexOf(const Identity& id) {
    return HexOf(Bytes(id.begin(), id.end()));
}

class DepotToolTest : public DalTest {
  protected:
    void SetUp() override {
        DalTest::SetUp();
        records_ = WriteFile("records.bin", Concat({firstRecord_, secondRecord_}));
    }

    const Identity first_ = MakeIdentity(1500);
    const Identity second_ = MakeIdentity(1501);
    const Bytes firstRecord_ = MakeRecord(first_, 1);
    const Bytes secondRecord_ = MakeRecord(second_, 2);
    std::string records_;
};

TEST_F(DepotToolTest, APlainDepotIsTheRecordsAndSelectPrintsOneAsHex) {
    const std::string depot = PathOf("keys.bin");
    const Outcome made = RunMake({depot, "--records", records_});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(ReadFile(depot), ReadFile(records_));

    const Outcome selected = RunSelect({depot, "--identity", HexOf(second_)});
    EXPECT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(selected.out, HexOf(secondRecord_) + "\n");
    EXPECT_EQ(selected.err, "");
}

TEST_F(DepotToolTest, AnIdentityWithoutARecordPrintsZeros) {
    const std::string depot = PathOf("keys.bin");
    ASSERT_EQ(RunMake({depot, "--records", records_}).status, 0);
    std::string upper = HexOf(MakeIdentity(0xABCDEF01));
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const Outcome selected = RunSelect({depot, "--identity", upper});
    EXPECT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(selected.out, std::string(2 * DAL_CERTIFICATE_RECORD_SIZE, '0') + "\n");
}

TEST_F(DepotToolTest, AnEncryptedDepotOpensOnlyWithItsPassword) {
    const std::string depot = PathOf("keys.bin");
    const std::string again = PathOf("again.bin");
    ASSERT_EQ(RunMake({depot, "--records", records_, "--password", "hunter2"}).status, 0);
    ASSERT_EQ(RunMake({"--password", "hunter2", "--records", records_, again}).status, 0);
    // A fresh salt and IV for every depot made.
    EXPECT_NE(ReadFile(depot), ReadFile(again));
    EXPECT_NE(ReadFile(depot), ReadFile(records_));

    const Outcome right = RunSelect({depot, "--identity", HexOf(first_), "--password", "hunter2"});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(right.out, HexOf(firstRecord_) + "\n");

    const Args wrong[] = {
        {depot, "--identity", HexOf(first_), "--password", "hunter3"},
        {depot, "--identity", HexOf(first_)},
    };
    for (const Args& args : wrong) {
        const Outcome refused = RunSelect(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, "dalCreate failed: 0x6408 (Unable to access required file)\n");
        EXPECT_THAT(refused.err, Not(HasSubstr("hunter")));
    }
}

TEST_F(DepotToolTest, BadArgumentsPrintTheUsage) {
    const std::string id = HexOf(first_);
    const Args badMake[] = {
        {},
        {"out.bin"},
        {"out.bin", "--records"},
        {"--records", records_},
        {"out.bin", "other.bin", "--records", records_},
        {"out.bin", "--records", records_, "--records", records_},
        {"out.bin", "--records", records_, "--identity", id},
    };
    for (const Args& args : badMake) {
        const Outcome outcome = RunMake(args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_THAT(outcome.err, HasSubstr("usage: zorvan-sim depot make OUT --records FILE"));
    }
    const Args badSelect[] = {
        {"keys.bin"},
        {"keys.bin", "--identity", id.substr(1)},
        {"keys.bin", "--identity", id + "0"},
        {"keys.bin", "--identity", "g" + id.substr(1)},
        {"keys.bin", "--identity", id, "--records", records_},
    };
    for (const Args& args : badSelect) {
        const Outcome outcome = RunSelect(args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_THAT(outcome.err, HasSubstr("usage: zorvan-sim depot select IN --identity HEX"));
    }
    EXPECT_FALSE(fs::exists("out.bin"));
}

TEST_F(DepotToolTest, RecordFilesThatAreNotWholeRecordsAreRefused) {
    const struct {
        const char* what;
        std::string path;
        const char* message;
    } cases[] = {
        {"missing", PathOf("missing.bin"), "cannot read records file"},
        {"empty", WriteFile("empty.bin", {}), "cannot read records file"},
        {"torn", WriteFile("torn.bin", Concat({firstRecord_, Bytes(78, 1)})),
         "the records are 500 bytes, not a whole number of 422-byte records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string depot = PathOf("keys.bin");
        const Outcome outcome = RunMake({depot, "--records", c.path, "--password", "hunter2"});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_THAT(outcome.err, HasSubstr(c.message));
        EXPECT_THAT(outcome.err, Not(HasSubstr("hunter2")));
        EXPECT_FALSE(fs::exists(depot));
    }
}

TEST_F(DepotToolTest, AnUnwritableDepotIsReported) {
    const Outcome outcome = RunMake({PathOf("gone/keys.bin"), "--records", records_});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_THAT(outcome.err, HasSubstr("cannot write \"" + PathOf("gone/keys.bin") + "\""));
}

TEST_F(DepotToolTest, SelectReportsALibraryErrorWithItsCodeAndName) {
    const Outcome outcome = RunSelect({PathOf("missing.bin"), "--identity", HexOf(first_)});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "dalCreate failed: 0x6408 (Unable to access required file)\n");
}

}  // namespace
}  // namespace zorvan::dal::test
