// Depots agree with the openssl command line: what it encrypts the library opens, and what
// the depot tool encrypts it decrypts.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "tests/cert/dal/DalTestSupport.h"

namespace zorvan::dal::test {
namespace {

constexpr char kOpenssl[] = "/usr/bin/openssl";
constexpr char kPassword[] = "correct horse";

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string hex;
    char digits[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        hex += digits;
    }
    return hex;
}

// Runs a shell command and returns what it printed; fails the test on a non-zero status.
std::string RunShell(const std::string& command) {
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return output;
}

class DepotOpensslTest : public DalTest {
  protected:
    void SetUp() override {
        if (!fs::exists(kOpenssl)) {
            GTEST_SKIP() << "no openssl command line";
        }
        DalTest::SetUp();
    }

    // The depot key as `openssl kdf` derives it, in hexadecimal.
    static std::string KeyHex(const uint8_t* salt) {
        std::string key =
            RunShell(std::string(kOpenssl) +
                     " kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt 'pass:" + kPassword +
                     "' -kdfopt hexsalt:" + Hex(salt, 16) + " -kdfopt iter:131072 PBKDF2");
        std::string hex;
        for (const char c : key) {
            if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
                hex.push_back(c);
            }
        }
        EXPECT_EQ(hex.size(), 64u) << key;
        return hex;
    }

    const Identity identity_ = MakeIdentity(1777);
    const Bytes table_ = Concat({MakeRecord(MakeIdentity(1776), 5), MakeRecord(identity_, 6)});
};

TEST_F(DepotOpensslTest, ADepotEncryptedByOpensslOpensWithThePassword) {
    const Bytes salt = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                        0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    const Bytes iv = {0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87,
                      0x78, 0x69, 0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F};
    const std::string table = WriteFile("table.bin", table_);
    const std::string cipher = PathOf("cipher.bin");
    RunShell(std::string(kOpenssl) + " enc -aes-256-cbc -K " + KeyHex(salt.data()) + " -iv " +
             Hex(iv.data(), iv.size()) + " -in " + table + " -out " + cipher);
    const std::string depot = WriteFile("depot.bin", Concat({salt, iv, ReadFile(cipher)}));

    ASSERT_EQ(Open(depot, kPassword), DAL_SUCCESS);
    EXPECT_EQ(Select(identity_), Bytes(table_.begin() + 422, table_.end()));
}

TEST_F(DepotOpensslTest, ADepotMadeByTheToolDecryptsWithOpenssl) {
    const std::string depot = MakeDepot("depot.bin", table_, kPassword);
    const Bytes file = ReadFile(depot);
    ASSERT_GT(file.size(), 32u);
    const std::string cipher = WriteFile("cipher.bin", Bytes(file.begin() + 32, file.end()));
    const std::string plain = PathOf("plain.bin");
    RunShell(std::string(kOpenssl) + " enc -d -aes-256-cbc -K " + KeyHex(file.data()) + " -iv " +
             Hex(file.data() + 16, 16) + " -in " + cipher + " -out " + plain);
    EXPECT_EQ(ReadFile(plain), table_);
}

}  // namespace
}  // namespace zorvan::dal::test
