#pragma once
// RSA-2048 signatures with PKCS#1 v1.5 padding over SHA-256, the form the chip's boot ROM
// checks for the signed ISP driver and the firmware image. A message may come in pieces;
// they are hashed as one stream, so a signed range with a hole needs no copy.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zorvan::sim {

using BytePieces = std::vector<std::span<const uint8_t>>;

inline constexpr size_t kRsaSignatureSize = 256;

// True when `signature` is a valid signature of `message` under the PEM public key (an
// RSA key of 2048 bits; any other key, or a signature of another size, never verifies).
bool VerifySignature(const BytePieces& message, std::span<const uint8_t> signature,
                     std::string_view publicKeyPem);

// The signature of `message` under the PEM private key (RSA, 2048 bits); empty when the
// key cannot be used.
std::vector<uint8_t> SignMessage(const BytePieces& message, std::string_view privateKeyPem);

// The public key in the chip's boot ROM: the public half of the simulator's demo key pair.
std::string_view ChipPublicKeyPem();

}  // namespace zorvan::sim
