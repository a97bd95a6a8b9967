#include "core/cert/dal/DepotFormat.h"

#include <cstring>
#include <utility>

namespace zorvan::dal {

bool NewDepotSecrets(std::string_view password, DepotSecrets& secrets) {
    secrets.key.Clear();
    if (!RandomBytes(secrets.salt, sizeof secrets.salt) ||
        !RandomBytes(secrets.iv, sizeof secrets.iv)) {
        return false;
    }
    secrets.key = DeriveDepotKey(password, secrets.salt);
    return !secrets.key.empty();
}

bool DecodeDepot(SecretBytes content, const char* password, SecretBytes& table,
                 DepotSecrets& secrets) {
    table.Clear();
    secrets = DepotSecrets();
    if (password == nullptr) {
        table = std::move(content);
        return true;
    }
    const size_t header = DEPOT_SALT_SIZE + DEPOT_IV_SIZE;
    if (content.size() <= header) {
        return false;
    }
    DepotSecrets loaded;
    std::memcpy(loaded.salt, content.data(), DEPOT_SALT_SIZE);
    std::memcpy(loaded.iv, content.data() + DEPOT_SALT_SIZE, DEPOT_IV_SIZE);
    loaded.key = DeriveDepotKey(password, loaded.salt);
    if (loaded.key.empty() || !DecryptTable(loaded.key, loaded.iv, content.data() + header,
                                            content.size() - header, table)) {
        return false;
    }
    secrets = std::move(loaded);
    return true;
}

bool EncodeDepot(const SecretBytes& table, const DepotSecrets& secrets,
                 std::vector<uint8_t>& content) {
    content.clear();
    if (secrets.key.empty()) {
        content.assign(table.data(), table.data() + table.size());
        return true;
    }
    std::vector<uint8_t> cipher;
    if (!EncryptTable(secrets.key, secrets.iv, table.data(), table.size(), cipher)) {
        return false;
    }
    content.reserve(DEPOT_SALT_SIZE + DEPOT_IV_SIZE + cipher.size());
    content.insert(content.end(), secrets.salt, secrets.salt + DEPOT_SALT_SIZE);
    content.insert(content.end(), secrets.iv, secrets.iv + DEPOT_IV_SIZE);
    content.insert(content.end(), cipher.begin(), cipher.end());
    return true;
}

}  // namespace zorvan::dal
