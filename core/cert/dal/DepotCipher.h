#pragma once
// The cryptography of encrypted depot files: the key is PBKDF2-HMAC-SHA256 of the password
// over a 16-byte salt, and the table is AES-256-CBC with standard block padding.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/cert/dal/SecretBytes.h"

namespace zorvan::dal {

inline constexpr size_t DEPOT_SALT_SIZE = 16;
inline constexpr size_t DEPOT_IV_SIZE = 16;
inline constexpr size_t DEPOT_KEY_SIZE = 32;
inline constexpr int DEPOT_KDF_ITERATIONS = 131072;

// The key for a password (its bytes without a terminator) and salt; empty on failure.
SecretBytes DeriveDepotKey(std::string_view password, const uint8_t* salt);

// AES-256-CBC with padding. Decryption fails on a wrong key (bad padding), on input that is
// not a whole number of blocks and on empty input. Both return false on any failure.
bool EncryptTable(const SecretBytes& key, const uint8_t* iv, const uint8_t* table, size_t size,
                  std::vector<uint8_t>& cipher);
bool DecryptTable(const SecretBytes& key, const uint8_t* iv, const uint8_t* cipher, size_t size,
                  SecretBytes& table);

// Fills `out` with cryptographically strong random bytes (fresh salts and IVs).
bool RandomBytes(uint8_t* out, size_t size);

}  // namespace zorvan::dal
