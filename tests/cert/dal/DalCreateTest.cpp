#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "tests/cert/dal/DalTestSupport.h"

namespace zorvan::dal::test {
namespace {

class DalCreateTest : public DalTest {
  protected:
    void SetUp() override {
        DalTest::SetUp();
        depot_ = MakeDepot("keys.bin", MakeRecord(MakeIdentity(1500), 1));
        dalSetDepotFile(depot_.c_str());
    }

    DalResult Create(const DalConfig& config) { return dalCreate(&context_, &config); }

    std::string depot_;
};

TEST_F(DalCreateTest, ChecksEveryServerEntry) {
    const struct {
        const char* entry;
        DalResult expected;
    } cases[] = {
        {"localhost:1000", DAL_SUCCESS},
        {"localhost:999", DAL_ERR_INVALID_INPUT},
        {"localhost:65535", DAL_SUCCESS},
        {"localhost:65536", DAL_ERR_INVALID_INPUT},
        {"localhost:4294968296", DAL_ERR_INVALID_INPUT},  // 2^32 + 1000 must not wrap
        {"127.0.0.1:8443", DAL_SUCCESS},
        {"localhost", DAL_ERR_INVALID_INPUT},
        {":1000", DAL_ERR_INVALID_INPUT},
        {"localhost:", DAL_ERR_INVALID_INPUT},
        {"localhost:port", DAL_ERR_INVALID_INPUT},
        {"localhost:-1000", DAL_ERR_INVALID_INPUT},
        {"", DAL_ERR_INVALID_INPUT},
        {"no-such-host.invalid:1000", DAL_ERR_INVALID_INPUT},
        {"localhost:00000000001000", DAL_SUCCESS},  // 24 characters fill the entry exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(Create(MakeConfig({c.entry})), c.expected);
        if (context_ != nullptr) {
            EXPECT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
        }
    }
}

TEST_F(DalCreateTest, RefusesAnEntryRunningOnIntoTheNext) {
    // 25 characters: whole, or cut to the entry's 24, they name a valid server; only their
    // length makes them wrong.
    DalConfig config = MakeConfig({"", ""});
    const char text[] = "localhost:000000000010005";
    std::memcpy(&config.servers[0][0], text, DAL_SERVER_ENTRY_SIZE);
    std::memcpy(&config.servers[1][0], text + DAL_SERVER_ENTRY_SIZE,
                sizeof text - DAL_SERVER_ENTRY_SIZE);
    config.serverCount = 1;
    EXPECT_EQ(Create(config), DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(context_, nullptr);
}

TEST_F(DalCreateTest, TheLastEntryMayFillItsField) {
    DalConfig config{};
    config.serverCount = DAL_MAX_SERVERS;
    for (auto& entry : config.servers) {
        std::strcpy(entry, "localhost:1000");
    }
    // No terminator: the text ends with the table.
    std::memcpy(config.servers[DAL_MAX_SERVERS - 1], "localhost:00000000001000",
                DAL_SERVER_ENTRY_SIZE);
    EXPECT_EQ(Create(config), DAL_SUCCESS);
}

TEST_F(DalCreateTest, EveryEntryMustPassNotJustTheFirst) {
    EXPECT_EQ(Create(MakeConfig({"localhost:1000", "127.0.0.1:2000", "localhost:999"})),
              DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(Create(MakeConfig({"localhost:1000", "127.0.0.1:2000"})), DAL_SUCCESS);
}

TEST_F(DalCreateTest, RefusesMissingArgumentsAndServerCountsOutOfRange) {
    DalConfig config = MakeConfig({"localhost:1000"});
    EXPECT_EQ(dalCreate(nullptr, &config), DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(dalCreate(&context_, nullptr), DAL_ERR_INVALID_INPUT);
    for (const uint32_t count : {0u, DAL_MAX_SERVERS + 1u, 0xFFFFFFFFu}) {
        config.serverCount = count;
        EXPECT_EQ(Create(config), DAL_ERR_INVALID_INPUT) << count;
    }
    EXPECT_EQ(context_, nullptr);
}

TEST_F(DalCreateTest, AnUnreadableDepotFailsBeforeTheServersAreChecked) {
    dalSetDepotFile(PathOf("missing.bin").c_str());
    EXPECT_EQ(Create(MakeConfig({"localhost:999"})), DAL_ERR_FILE_ACCESS);
}

// Depot files that must not open: each gives "Unable to access required file".
class DalDepotRefusedTest : public DalTest {};

TEST_F(DalDepotRefusedTest, PlainDepots) {
    const Bytes record = MakeRecord(MakeIdentity(1500), 1);
    const Bytes twoAndAByte = Concat({record, record, Bytes(1, 0x00)});
    fs::create_directory(PathOf("folder"));
    ASSERT_EQ(::mkfifo(PathOf("fifo.bin").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", PathOf("zero.bin"));
    // Whole records, but more of them than any key file holds: refused unread.
    fs::resize_file(WriteFile("huge.bin", {}), 20000 * DAL_CERTIFICATE_RECORD_SIZE);
    const struct {
        const char* what;
        std::string path;
    } cases[] = {
        {"missing", PathOf("missing.bin")},
        {"empty", WriteFile("empty.bin", {})},
        {"a folder", PathOf("folder")},
        {"a FIFO (never waited on)", PathOf("fifo.bin")},
        {"a link to an endless device", PathOf("zero.bin")},
        {"larger than 8 MiB", PathOf("huge.bin")},
        {"short of one record", WriteFile("short.bin", Bytes(record.begin(), record.end() - 1))},
        {"a torn last record", WriteFile("torn.bin", twoAndAByte)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Open(c.path), DAL_ERR_FILE_ACCESS);
        EXPECT_EQ(context_, nullptr);
    }
}

TEST_F(DalDepotRefusedTest, NoDepotNamed) {
    dalSetDepotFile(nullptr);
    const DalConfig config = MakeConfig({"localhost:1000"});
    EXPECT_EQ(dalCreate(&context_, &config), DAL_ERR_FILE_ACCESS);
}

TEST_F(DalDepotRefusedTest, EncryptedDepots) {
    const Bytes table =
        Concat({MakeRecord(MakeIdentity(1500), 1), MakeRecord(MakeIdentity(1501), 2)});
    const std::string good = MakeDepot("good.bin", table, "secret");
    const Bytes file = ReadFile(good);
    ASSERT_EQ(file.size(), 32u + 848u);  // 844 bytes padded to whole blocks

    Bytes badPadding = file;
    badPadding[file.size() - 17] ^= 0xFF;  // flips the last padding byte
    const std::string plain = MakeDepot("plain.bin", table);

    const struct {
        const char* what;
        std::string path;
        const char* password;
    } cases[] = {
        {"wrong password", good, "Secret"},
        {"empty password", good, ""},
        {"no password", good, nullptr},
        {"truncated ciphertext", WriteFile("cut.bin", Bytes(file.begin(), file.end() - 5)),
         "secret"},
        {"one block missing", WriteFile("block.bin", Bytes(file.begin(), file.end() - 16)),
         "secret"},
        {"salt and IV only", WriteFile("header.bin", Bytes(file.begin(), file.begin() + 32)),
         "secret"},
        {"shorter than salt and IV", WriteFile("tiny.bin", Bytes(file.begin(), file.begin() + 20)),
         "secret"},
        {"bad padding", WriteFile("padding.bin", badPadding), "secret"},
        {"plain depot given a password", plain, "secret"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Open(c.path, c.password), DAL_ERR_FILE_ACCESS);
        EXPECT_EQ(context_, nullptr);
    }
    EXPECT_EQ(Open(good, "secret"), DAL_SUCCESS);
}

}  // namespace
}  // namespace zorvan::dal::test
