#include "core/gfx/adl/Adl.h"

#include "core/gfx/adl/PlatformDriver.h"

namespace zorvan::adl {
namespace {

Driver* g_installed = nullptr;

}  // namespace

Driver& ActiveDriver() { return g_installed != nullptr ? *g_installed : PlatformDriver(); }

void InstallDriver(Driver* driver) { g_installed = driver; }

}  // namespace zorvan::adl
