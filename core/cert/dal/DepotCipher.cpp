#include "core/cert/dal/DepotCipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace zorvan::dal {
namespace {

// The library's configuration is read once, before the first use of a cipher.
bool CryptoReady() {
    static const bool ready = OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr) == 1;
    return ready;
}

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// The EVP interface counts in int; one block of padding must still fit.
bool FitsCipherLength(size_t size) {
    return size <= static_cast<size_t>(INT_MAX) - 32;
}

}  // namespace

void WipeBytes(void* data, size_t size) {
    if (data != nullptr && size != 0) {
        OPENSSL_cleanse(data, size);
    }
}

SecretBytes DeriveDepotKey(std::string_view password, const uint8_t* salt) {
    if (!CryptoReady() || password.size() > static_cast<size_t>(INT_MAX)) {
        return SecretBytes();
    }
    SecretBytes key(DEPOT_KEY_SIZE);
    const int ok = PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                                     static_cast<int>(DEPOT_SALT_SIZE), DEPOT_KDF_ITERATIONS,
                                     EVP_sha256(), static_cast<int>(key.size()), key.data());
    if (ok != 1) {
        return SecretBytes();
    }
    return key;
}

bool EncryptTable(const SecretBytes& key, const uint8_t* iv, const uint8_t* table, size_t size,
                  std::vector<uint8_t>& cipher) {
    if (!CryptoReady() || key.size() != DEPOT_KEY_SIZE || !FitsCipherLength(size)) {
        return false;
    }
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) != 1) {
        return false;
    }
    cipher.assign(size + EVP_MAX_BLOCK_LENGTH, 0);
    int written = 0;
    int last = 0;
    if (EVP_EncryptUpdate(context.get(), cipher.data(), &written, table, static_cast<int>(size)) !=
            1 ||
        EVP_EncryptFinal_ex(context.get(), cipher.data() + written, &last) != 1) {
        cipher.clear();
        return false;
    }
    cipher.resize(static_cast<size_t>(written) + static_cast<size_t>(last));
    return true;
}

bool DecryptTable(const SecretBytes& key, const uint8_t* iv, const uint8_t* cipher, size_t size,
                  SecretBytes& table) {
    table.Clear();
    if (!CryptoReady() || key.size() != DEPOT_KEY_SIZE || size == 0 || !FitsCipherLength(size)) {
        return false;
    }
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) != 1) {
        return false;
    }
    SecretBytes plain(size + EVP_MAX_BLOCK_LENGTH);
    int written = 0;
    int last = 0;
    if (EVP_DecryptUpdate(context.get(), plain.data(), &written, cipher, static_cast<int>(size)) !=
            1 ||
        EVP_DecryptFinal_ex(context.get(), plain.data() + written, &last) != 1) {
        return false;  // `plain` wipes what was decrypted so far
    }
    plain.Truncate(static_cast<size_t>(written) + static_cast<size_t>(last));
    table = std::move(plain);
    return true;
}

bool RandomBytes(uint8_t* out, size_t size) {
    return CryptoReady() && size <= static_cast<size_t>(INT_MAX) &&
           RAND_bytes(out, static_cast<int>(size)) == 1;
}

}  // namespace zorvan::dal
