#include "core/gfx/cui/Cui.h"

#include "core/gfx/cui/PlatformDriver.h"

namespace zorvan::cui {
namespace {

Driver* g_installed = nullptr;

}  // namespace

Driver& ActiveDriver() { return g_installed != nullptr ? *g_installed : PlatformDriver(); }

void InstallDriver(Driver* driver) { g_installed = driver; }

HResult CreateCuiObject(std::unique_ptr<Interface>* object) {
    Driver& driver = ActiveDriver();
    driver.CoInitialize();
    object->reset();
    HResult hr = driver.CreateInstance(kProgId, object);
    if (hr >= 0 && *object == nullptr) {
        hr = kHrClassString;
    }
    if (hr < 0) {
        object->reset();
    }
    return hr;
}

}  // namespace zorvan::cui
