#pragma once
// The simulator's demo key pair, private half: it signs the demo ISP driver and the demo
// firmware images, which the virtual chip checks against the public half in its boot ROM
// (ChipPublicKeyPem). The key is fixed, and PKCS#1 v1.5 signatures are deterministic, so
// the demo files come out byte for byte the same on every build.
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/chip/secure/Signature.h"

namespace zorvan::sim {

std::string_view DemoPrivateKeyPem();

// The 256-byte signature of `message` under the demo key.
std::vector<uint8_t> SignWithDemoKey(const BytePieces& message);

}  // namespace zorvan::sim
