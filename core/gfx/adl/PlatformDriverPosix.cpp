// Platforms without the AMD Display Library: neither library file loads, as on a PC
// without the AMD driver.
#include "core/gfx/adl/PlatformDriver.h"

namespace zorvan::adl {
namespace {

class MissingLibrary final : public Driver {
public:
    bool Load(const wchar_t*) override { return false; }
    void Unload() override {}
    bool HasEntryPoint(const char*) override { return false; }
    int MainControlCreate(AllocCallback, int) override { return ADL_ERR; }
    int MainControlDestroy() override { return ADL_ERR; }
};

}  // namespace

Driver& PlatformDriver() {
    static MissingLibrary driver;
    return driver;
}

}  // namespace zorvan::adl
