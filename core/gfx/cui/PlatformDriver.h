#pragma once
// COM and the Intel automation object as the platform provides them; one source file per
// platform.
#include "core/gfx/cui/Cui.h"

namespace zorvan::cui {

Driver& PlatformDriver();

}  // namespace zorvan::cui
