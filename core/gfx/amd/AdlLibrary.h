#pragma once
// The process-wide AMD library state: the layer it was loaded through and whether its
// context exists. Init fills it, teardown releases it, the transfers and the display
// search use it.
#include "core/gfx/adl/Adl.h"

namespace zorvan::amd {

struct AdlLibrary {
    adl::Driver* library = nullptr;  // the layer the library was loaded through; null: none
    bool contextCreated = false;     // ADL_Main_Control_Create succeeded
};

AdlLibrary& Library();

// The driver to call, or null while no ADL context exists.
adl::Driver* ReadyDriver();

// Destroys a created context and unloads a loaded library.
void ReleaseLibrary();

// The memory callback handed to ADL: C heap memory, which the backend frees.
void* AllocateForAdl(int size);

}  // namespace zorvan::amd
