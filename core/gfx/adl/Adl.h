#pragma once
// Our own layer over the AMD Display Library: the library is loaded by file name and its
// entry points are looked up by name, as on a PC with the AMD driver; the calls the AMD
// backend makes are methods here. Tests and the simulator install a driver of their own.
#include <cstdint>

namespace zorvan::adl {

inline constexpr int ADL_OK = 0;
inline constexpr int ADL_ERR = -1;

// File names of the library, 64-bit first.
inline constexpr const wchar_t* kLibraryName = L"atiadlxx.dll";
inline constexpr const wchar_t* kLibraryNameFallback = L"atiadlxy.dll";

// Entry points, in the order the backend looks them up.
inline constexpr const char* kEntryPoints[] = {
    "ADL_Main_Control_Create",
    "ADL_Main_Control_Destroy",
    "ADL_Adapter_NumberOfAdapters_Get",
    "ADL_Adapter_AdapterInfo_Get",
    "ADL_Display_DisplayInfo_Get",
    "ADL_Adapter_Active_Get",
    "ADL_Display_NativeAUXChannel_Access",
    "ADL_Display_DDCBlockAccess_Get",
};
// The first six serve enumeration; then native AUX, then DDC block access.
inline constexpr int kEnumerationEntryPoints = 6;
inline constexpr int kNativeAuxEntryPoint = 6;
inline constexpr int kDdcBlockEntryPoint = 7;

// The memory callback ADL allocates its result arrays with.
using AllocCallback = void* (*)(int size);

class Driver {
public:
    virtual ~Driver() = default;
    // Loads the library by file name; false when it cannot be loaded.
    virtual bool Load(const wchar_t* fileName) = 0;
    // Unloads the library loaded last.
    virtual void Unload() = 0;
    // Whether the loaded library exports the named entry point.
    virtual bool HasEntryPoint(const char* name) = 0;
    virtual int MainControlCreate(AllocCallback callback, int connectedAdaptersOnly) = 0;
    virtual int MainControlDestroy() = 0;
};

// The driver the backend talks to: the installed one, else the platform's own loader.
Driver& ActiveDriver();
// Installs a driver (not owned); null restores the platform loader.
void InstallDriver(Driver* driver);

}  // namespace zorvan::adl
