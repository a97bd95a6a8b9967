#include "sim/chip/secure/Signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>

namespace zorvan::sim {
namespace {

constexpr int kKeyBits = 2048;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Bio = std::unique_ptr<BIO, BioFree>;
using Digest = std::unique_ptr<EVP_MD_CTX, DigestFree>;

Key ReadKey(std::string_view pem, bool privateKey) {
    if (pem.empty() || pem.size() > 1u << 16) {
        return nullptr;
    }
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        return nullptr;
    }
    Key key(privateKey ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                       : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA ||
        EVP_PKEY_get_bits(key.get()) != kKeyBits) {
        return nullptr;
    }
    return key;
}

// Sets PKCS#1 v1.5 padding explicitly: it is OpenSSL's default for RSA, but the check must
// not depend on a default.
bool UsePkcs1(EVP_PKEY_CTX* ctx) {
    return ctx != nullptr && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0;
}

}  // namespace

bool VerifySignature(const BytePieces& message, std::span<const uint8_t> signature,
                     std::string_view publicKeyPem) {
    if (signature.size() != kRsaSignatureSize) {
        return false;
    }
    const Key key = ReadKey(publicKeyPem, false);
    const Digest ctx(EVP_MD_CTX_new());
    if (!key || !ctx) {
        return false;
    }
    EVP_PKEY_CTX* pctx = nullptr;
    if (EVP_DigestVerifyInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.get()) != 1 ||
        !UsePkcs1(pctx)) {
        return false;
    }
    for (std::span<const uint8_t> piece : message) {
        if (!piece.empty() && EVP_DigestVerifyUpdate(ctx.get(), piece.data(), piece.size()) != 1) {
            return false;
        }
    }
    return EVP_DigestVerifyFinal(ctx.get(), signature.data(), signature.size()) == 1;
}

std::vector<uint8_t> SignMessage(const BytePieces& message, std::string_view privateKeyPem) {
    const Key key = ReadKey(privateKeyPem, true);
    const Digest ctx(EVP_MD_CTX_new());
    if (!key || !ctx) {
        return {};
    }
    EVP_PKEY_CTX* pctx = nullptr;
    if (EVP_DigestSignInit(ctx.get(), &pctx, EVP_sha256(), nullptr, key.get()) != 1 ||
        !UsePkcs1(pctx)) {
        return {};
    }
    for (std::span<const uint8_t> piece : message) {
        if (!piece.empty() && EVP_DigestSignUpdate(ctx.get(), piece.data(), piece.size()) != 1) {
            return {};
        }
    }
    size_t size = 0;
    if (EVP_DigestSignFinal(ctx.get(), nullptr, &size) != 1 || size != kRsaSignatureSize) {
        return {};
    }
    std::vector<uint8_t> signature(size);
    if (EVP_DigestSignFinal(ctx.get(), signature.data(), &size) != 1 || size != kRsaSignatureSize) {
        return {};
    }
    return signature;
}

std::string_view ChipPublicKeyPem() {
    static constexpr char kPem[] =
        "-----BEGIN PUBLIC KEY-----\n"
        "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAoqVgSXnJuA+wALSd5WwP\n"
        "krfdG2FAEMLub4LZMGJWXrS64hzS//5/l41viQXJU0zkt3iZXLcwb4Zw0vgbsYxT\n"
        "ZYicm5gZKfAVK0pH86+lrBIYHgTX1iAlYFANJPEka7bUn0qa4o82aavsUkwYzUQR\n"
        "Bc2utLaWXMF1W12dqiHQj541Mo/34sJIo4aNPt81+14t6hgCO9U//zYfBUM8FgIY\n"
        "+H4uRduCgzC7HKBvBI4Q7JneQmxDSFeYVJDvAbs6rJKvZoDn9t6FqlqpDXKoUZ0r\n"
        "umn43kRe4FV+CavzuLhh9Ugf/2A6U/bWEmGlZ7bUi36T3ZKel/Ak27IgFBUtPWKR\n"
        "9wIDAQAB\n"
        "-----END PUBLIC KEY-----\n";
    return {kPem, sizeof kPem - 1};
}

}  // namespace zorvan::sim
