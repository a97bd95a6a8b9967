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
    int NumberOfAdaptersGet(int*) override { return ADL_ERR_NOT_INIT; }
    int AdapterInfoGet(uint8_t*, int) override { return ADL_ERR_NOT_INIT; }
    int AdapterActiveGet(int, int*) override { return ADL_ERR_NOT_INIT; }
    int DisplayInfoGet(int, int*, uint8_t**, int) override { return ADL_ERR_NOT_INIT; }
    int DdcBlockAccessGet(int, int, int, int, int, const uint8_t*, int*, uint8_t*) override {
        return ADL_ERR_NOT_INIT;
    }
    int NativeAuxChannelAccess(int, int, uint8_t*) override { return ADL_ERR_NOT_INIT; }
};

}  // namespace

Driver& PlatformDriver() {
    static MissingLibrary driver;
    return driver;
}

}  // namespace zorvan::adl
