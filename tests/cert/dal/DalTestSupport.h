#pragma once
// Shared helpers of the key-server client library's tests: a scratch folder per test,
// certificate records, configurations and depots.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "core/cert/dal/Dal.h"
#include "tools/depot/DepotTool.h"

namespace zorvan::dal::test {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;
using Identity = std::array<uint8_t, DAL_IDENTITY_SIZE>;

// A chip identity: model "1100", six further bytes from `tag`, the serial, two check bytes.
inline Identity MakeIdentity(uint32_t serial, uint8_t tag = 0x40) {
    Identity id{'1', '1', '0', '0'};
    for (size_t i = 4; i < 10; ++i) {
        id[i] = static_cast<uint8_t>(tag + i);
    }
    id[10] = static_cast<uint8_t>(serial >> 24);
    id[11] = static_cast<uint8_t>(serial >> 16);
    id[12] = static_cast<uint8_t>(serial >> 8);
    id[13] = static_cast<uint8_t>(serial);
    id[14] = 0x5A;
    id[15] = 0xA5;
    return id;
}

// A certificate record for `id`, its other bytes a pattern that differs per `seed`.
inline Bytes MakeRecord(const Identity& id, uint8_t seed) {
    Bytes record(DAL_CERTIFICATE_RECORD_SIZE);
    for (size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    }
    record[0] = 'K';
    record[1] = 'q';
    std::memcpy(record.data() + 2, id.data(), id.size());
    return record;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A cleared configuration with the given server entries (each copied whole into its slot).
inline DalConfig MakeConfig(std::initializer_list<const char*> servers,
                            const char* password = nullptr) {
    DalConfig config{};
    config.credentialsPath = "/keys/credentials";
    for (const char* server : servers) {
        std::strncpy(config.servers[config.serverCount], server, DAL_SERVER_ENTRY_SIZE);
        ++config.serverCount;
    }
    config.depotPassword = password;
    return config;
}

class DalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-dal-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (context_ != nullptr) {
            dalDestroy(&context_, true);
        }
        dalSetDepotFile(nullptr);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::string WriteFile(const std::string& name, const Bytes& bytes) const {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // A depot of `table` made by the depot tool, encrypted when a password is given.
    std::string MakeDepot(const std::string& name, const Bytes& table,
                          const char* password = nullptr) const {
        const std::string path = PathOf(name);
        const std::string pw = password != nullptr ? password : "";
        std::string error;
        EXPECT_TRUE(zorvan::depot::MakeDepotFile(path, table.data(), table.size(),
                                                 password != nullptr ? &pw : nullptr, error))
            << error;
        return path;
    }

    // Names the depot and creates `context_` with one well-formed server entry.
    DalResult Open(const std::string& depot, const char* password = nullptr) {
        dalSetDepotFile(depot.c_str());
        const DalConfig config = MakeConfig({"localhost:1000"}, password);
        return dalCreate(&context_, &config);
    }

    // Selects a certificate and returns a copy of the object's bytes.
    Bytes Select(const Identity& id, DalObject* objectOut = nullptr) {
        DalObject object{};
        EXPECT_EQ(dalSelect(context_, DAL_PRODUCT_CERTIFICATE, id.data(), &object), DAL_SUCCESS);
        if (objectOut != nullptr) {
            *objectOut = object;
        }
        return object.data != nullptr ? Bytes(object.data, object.data + object.length) : Bytes();
    }

    fs::path dir_;
    DalContext* context_ = nullptr;
};

}  // namespace zorvan::dal::test
