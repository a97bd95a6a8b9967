#include "core/gfx/nvapi/NvApi.h"

#include "core/gfx/nvapi/PlatformDriver.h"

namespace zorvan::nvapi {
namespace {

Driver* g_installed = nullptr;

}  // namespace

Driver& ActiveDriver() { return g_installed != nullptr ? *g_installed : PlatformDriver(); }

void InstallDriver(Driver* driver) { g_installed = driver; }

}  // namespace zorvan::nvapi
