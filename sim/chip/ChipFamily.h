#pragma once
// The chip families the virtual chip can be, and what each answers as silicon (its type
// queries, its boot ROM) independently of the firmware in its flash.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvan::sim {

enum class ChipFamily : uint8_t {
    Kq1100 = 1,
    Kq1150 = 2,
    Talvor = 3,
    Vireen = 4,
    Lumox = 5,
    // A newer member of the line that the host tools do not know: it answers the type
    // queries with values that match no known family.
    Foreign = 0x7F,
};

// The two value bytes a type query (vendor code 0x06) answers with.
using TypeQueryAnswer = std::array<uint8_t, 2>;

struct FamilyProfile {
    ChipFamily family;
    const char* name;            // as zorvan-sim and the state summary spell it
    TypeQueryAnswer queryC8;     // answer to 06 C8 02
    TypeQueryAnswer query80;     // answer to 06 80 02
    uint8_t hwRevision;          // default hardware revision ("cut") byte of new chips
    const char* appId;           // identification string of the family's application images
    const char* romId;           // identification string the boot ROM reports
    uint8_t romMajor;            // boot ROM version, reported in the identification block
    uint8_t romMinor;
    const char* otpModel;        // 4-character model number in the OTP identity block
};

const FamilyProfile& ProfileOf(ChipFamily family);

// Names are matched without regard to case ("kq1100", "TALVOR").
std::optional<ChipFamily> FamilyFromName(std::string_view name);
std::string FamilyName(ChipFamily family);
bool IsKnownFamilyCode(uint8_t code);

}  // namespace zorvan::sim
