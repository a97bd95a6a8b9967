#pragma once
// The key of the encrypted depots in the key files' corpus: the demo password over a fixed
// salt, derived once per process.
#include "core/cert/dal/DepotCipher.h"
#include "core/cert/dal/SecretBytes.h"

namespace zorvan::fuzz {

inline const dal::SecretBytes& DemoDepotKey() {
    static const uint8_t salt[dal::DEPOT_SALT_SIZE] = {'z', 'o', 'r', 'v', 'a', 'n', ' ', 'd',
                                                       'e', 'm', 'o', ' ', 's', 'a', 'l', 't'};
    static const dal::SecretBytes key = dal::DeriveDepotKey("demo password", salt);
    return key;
}

}  // namespace zorvan::fuzz
