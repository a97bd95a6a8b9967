#include "core/gfx/amd/AdlLibrary.h"

#include <cstdlib>

namespace zorvan::amd {

AdlLibrary& Library() {
    static AdlLibrary state;
    return state;
}

adl::Driver* ReadyDriver() {
    const AdlLibrary& state = Library();
    return state.contextCreated ? state.library : nullptr;
}

// Only a created context is destroyed: when Init stopped at a missing entry point the
// destroy call may be one of those missing.
void ReleaseLibrary() {
    AdlLibrary& state = Library();
    if (state.library != nullptr) {
        if (state.contextCreated) {
            state.library->MainControlDestroy();
        }
        state.library->Unload();
    }
    state = AdlLibrary{};
}

void* AllocateForAdl(int size) {
    return std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

}  // namespace zorvan::amd
