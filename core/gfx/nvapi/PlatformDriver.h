#pragma once
// The NVIDIA driver interface as the platform provides it. One source file per platform
// defines it; the loader for the driver's own library lives there.
#include "core/gfx/nvapi/NvApi.h"

namespace zorvan::nvapi {

Driver& PlatformDriver();

}  // namespace zorvan::nvapi
