#pragma once
// A promise of the code under test that no input may break: a broken one is a finding.

namespace zorvan::fuzz {

inline void Require(bool promise) {
    if (!promise) {
        __builtin_trap();
    }
}

}  // namespace zorvan::fuzz
