#pragma once
// Firmware versions as text. A version is 24 bits: build in bits 16-23, major in bits 8-15,
// minor in bits 0-7 (Talvor packs 2, 9 and 5 bits instead).
#include <cstdint>
#include <string>

#include "core/control/ChipType.h"

namespace zorvan {

// "v1.05", "v2.03.1" (build shown for Vexa1100/1150 only), "v1.0A" (Lumox), "v0.9.5" (Talvor);
// empty for version 0.
std::wstring FormatVersion(ChipType type, uint32_t version);

// Puts the family name ("Vexa1100 ", "Talvor ", ...) in front of the text; other codes leave
// it unchanged.
void ChipFamilyName(ChipType type, std::wstring& text);

}  // namespace zorvan
