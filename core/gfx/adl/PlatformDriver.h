#pragma once
// The AMD Display Library loader as the platform provides it; one source file per platform.
#include "core/gfx/adl/Adl.h"

namespace zorvan::adl {

Driver& PlatformDriver();

}  // namespace zorvan::adl
