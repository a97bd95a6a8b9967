// The key files: the search of a folder by the names of its entries, and the depot loader
// of the key-server client library on the file it finds, plain and encrypted. The first
// byte picks which:
//   0  names, one a line, made files of a folder that is searched for a serial number
//      (the first four bytes of the rest, most significant first)
//   1  a plain depot file, loaded by dalCreate and searched for the first record's identity
//   2  an encrypted depot (IV and ciphertext) under the key of the demo password; the key
//      is derived once, as its 131072 rounds are no part of what is checked here
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/cert/KeyFile.h"
#include "core/cert/dal/Dal.h"
#include "core/cert/dal/Depot.h"
#include "core/cert/dal/DepotCipher.h"
#include "core/platform/Text.h"
#include "fuzz/support/DepotKey.h"
#include "fuzz/support/Scratch.h"
#include "fuzz/targets/Require.h"

namespace {

using namespace zorvan;

constexpr size_t kMaxNames = 16;
constexpr size_t kMaxNameBytes = 200;

// A name the file system takes as one entry of the folder.
bool UsableName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameBytes && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void SearchFolder(std::string_view input) {
    const std::filesystem::path folder = fuzz::ScratchFolder() + "keys";
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directory(folder, ignored);
    int32_t serial = 0;
    if (input.size() >= 4) {
        serial = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(input[0])) << 24 |
                                      static_cast<uint32_t>(static_cast<uint8_t>(input[1])) << 16 |
                                      static_cast<uint32_t>(static_cast<uint8_t>(input[2])) << 8 |
                                      static_cast<uint8_t>(input[3]));
        input.remove_prefix(4);
    }
    for (size_t made = 0; made < kMaxNames && !input.empty(); ++made) {
        const size_t end = input.find('\n');
        const std::string_view name = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        cert::SerialRange range;
        cert::ParseKeyFileName(FromUtf8(name), range);
        if (UsableName(name)) {
            std::FILE* file = std::fopen((folder / std::string(name)).c_str(), "wb");
            if (file != nullptr) {
                std::fclose(file);
            }
        }
    }
    std::wstring found;
    if (cert::FindKeyFile(FromUtf8(folder.string()), serial, found)) {
        cert::SerialRange range;
        fuzz::Require(cert::ParseKeyFileName(found, range) && range.first <= serial &&
                      serial <= range.last);
    }
}

void LoadPlainDepot(const uint8_t* data, size_t size) {
    const std::wstring path = fuzz::WriteScratchFile("depot.bin", std::span(data, size));
    const std::string native = ToUtf8(path);
    dalSetDepotFile(native.c_str());
    DalConfig config{};
    config.serverCount = 1;
    std::strcpy(config.servers[0], "127.0.0.1:8443");
    DalContext* context = nullptr;
    const DalResult created = dalCreate(&context, &config);
    if (created != DAL_SUCCESS) {
        fuzz::Require(context == nullptr);
        return;
    }
    fuzz::Require(size > 0 && size % DAL_CERTIFICATE_RECORD_SIZE == 0);
    // The first record's identity is found, and as that record.
    dal::SecretBytes record;
    fuzz::Require(dal::ProcessDepot().FindCertificate(data + 2, record) &&
                  record.size() == DAL_CERTIFICATE_RECORD_SIZE &&
                  std::memcmp(record.data() + 2, data + 2, DAL_IDENTITY_SIZE) == 0);
    fuzz::Require(dalDestroy(&context, false) == DAL_SUCCESS && context == nullptr);
}

void DecryptDepot(const uint8_t* data, size_t size) {
    if (size < dal::DEPOT_IV_SIZE) {
        return;
    }
    dal::SecretBytes table;
    if (!dal::DecryptTable(fuzz::DemoDepotKey(), data, data + dal::DEPOT_IV_SIZE,
                           size - dal::DEPOT_IV_SIZE, table)) {
        return;
    }
    fuzz::Require(table.size() < size);
    std::vector<uint8_t> again;
    fuzz::Require(
        dal::EncryptTable(fuzz::DemoDepotKey(), data, table.data(), table.size(), again) &&
        again.size() == size - dal::DEPOT_IV_SIZE);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::DemoDepotKey();  // its 131072 rounds once, before the first input is timed
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    switch (data[0] % 3) {
        case 0:
            SearchFolder(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
            break;
        case 1:
            LoadPlainDepot(data + 1, size - 1);
            break;
        default:
            DecryptDepot(data + 1, size - 1);
            break;
    }
    return 0;
}
