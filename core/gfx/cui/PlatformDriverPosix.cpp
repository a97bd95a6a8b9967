// Platforms without COM: the ProgID names no class, as on a PC without the Intel driver.
#include "core/gfx/cui/PlatformDriver.h"

namespace zorvan::cui {
namespace {

class MissingComponent final : public Driver {
public:
    void CoInitialize() override {}
    HResult CreateInstance(const wchar_t*, std::unique_ptr<Interface>* object) override {
        if (object != nullptr) {
            object->reset();
        }
        return kHrClassString;
    }
    bool EnumDisplayAdapter(uint32_t, std::wstring*) override { return false; }
};

}  // namespace

Driver& PlatformDriver() {
    static MissingComponent driver;
    return driver;
}

}  // namespace zorvan::cui
