#include "sim/chip/ChipFamily.h"

#include <cctype>

namespace zorvan::sim {
namespace {

// The type query's first two value bytes: 0x28 marks the KQ11xx silicon and 0x26 Vireen
// in the answer to C8 02; 0x43 marks Talvor and a second byte 0x64 Lumox in the answer to
// 80 02. Lumox also answers 0x43 there, like its Talvor ancestor.
constexpr FamilyProfile kProfiles[] = {
    {ChipFamily::Kq1100, "KQ1100", {0x28, 0x11}, {0x11, 0x00}, 0x21, "KQ1100", "KQROM1", 1, 2,
     "1100"},
    {ChipFamily::Kq1150, "KQ1150", {0x28, 0x11}, {0x11, 0x50}, 0x21, "KQ1150", "KQROM1", 1, 2,
     "1100"},
    {ChipFamily::Talvor, "TALVOR", {0x43, 0x10}, {0x43, 0x10}, 0x0A, "TLV330", "TLVGG0", 3, 1,
     "T330"},
    {ChipFamily::Vireen, "VIREEN", {0x26, 0x02}, {0x26, 0x02}, 0x12, "VRN200", "VRNROM", 2, 0,
     "V200"},
    {ChipFamily::Lumox, "LUMOX", {0x4C, 0x64}, {0x43, 0x64}, 0x56, "LMX300", "LMXROM", 1, 0,
     "L300"},
    {ChipFamily::Foreign, "FOREIGN", {0x31, 0x00}, {0x31, 0x00}, 0x10, "ZX9000", "ZXROM0", 1, 0,
     "9000"},
};

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

const FamilyProfile& ProfileOf(ChipFamily family) {
    for (const FamilyProfile& p : kProfiles) {
        if (p.family == family) {
            return p;
        }
    }
    return kProfiles[0];
}

std::optional<ChipFamily> FamilyFromName(std::string_view name) {
    for (const FamilyProfile& p : kProfiles) {
        if (SameNoCase(name, p.name)) {
            return p.family;
        }
    }
    return std::nullopt;
}

std::string FamilyName(ChipFamily family) { return ProfileOf(family).name; }

bool IsKnownFamilyCode(uint8_t code) {
    for (const FamilyProfile& p : kProfiles) {
        if (static_cast<uint8_t>(p.family) == code) {
            return true;
        }
    }
    return false;
}

}  // namespace zorvan::sim
