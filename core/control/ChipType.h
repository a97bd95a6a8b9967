#pragma once
// The chip family code that identity, version texts and the procedures branch on.
#include <cstdint>

namespace zorvan {

enum ChipType : int32_t {
    CHIP_NONE = -1,  // no valid answer to the first type query
    CHIP_VEXA1100 = 0,
    CHIP_VEXA1150 = 1,
    CHIP_ZORVAN_IROM = 2,  // type 0 answered from the boot ROM, no application runs
    CHIP_TALVOR = 3,
    CHIP_VIREEN = 4,
    CHIP_LUMOX = 5,
    CHIP_UNKNOWN = 255,  // answered, but matches no family
};

}  // namespace zorvan
