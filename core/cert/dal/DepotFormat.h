#pragma once
// Depot files as stored: the plain table itself, or a 16-byte salt, a 16-byte IV and the
// table encrypted under the key derived from the password.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/cert/dal/DepotCipher.h"
#include "core/cert/dal/SecretBytes.h"

namespace zorvan::dal {

// What an encrypted depot keeps after loading so that it can be written back unchanged in
// form. An empty key means a plain depot.
struct DepotSecrets {
    uint8_t salt[DEPOT_SALT_SIZE] = {};
    uint8_t iv[DEPOT_IV_SIZE] = {};
    SecretBytes key;
};

// A fresh random salt and IV and the key for `password`; false on failure.
bool NewDepotSecrets(std::string_view password, DepotSecrets& secrets);

// File content to table. Without a password (null) the table is the content; with one the
// content must hold salt, IV and a ciphertext that decrypts under the derived key. False on
// any failure; `table` and `secrets` are then empty.
bool DecodeDepot(SecretBytes content, const char* password, SecretBytes& table,
                 DepotSecrets& secrets);

// Table to file content: the table itself when `secrets` has no key, else salt, IV and the
// encrypted table.
bool EncodeDepot(const SecretBytes& table, const DepotSecrets& secrets,
                 std::vector<uint8_t>& content);

}  // namespace zorvan::dal
