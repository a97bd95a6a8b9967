#pragma once
// Our own layer over the AMD Display Library: the library is loaded by file name and its
// entry points are looked up by name, as on a PC with the AMD driver; the calls the AMD
// backend makes are methods here. Tests and the simulator install a driver of their own.
#include <cstdint>

namespace zorvan::adl {

inline constexpr int ADL_OK = 0;
inline constexpr int ADL_ERR = -1;
inline constexpr int ADL_ERR_NOT_INIT = -2;
inline constexpr int ADL_ERR_INVALID_PARAM = -3;
inline constexpr int ADL_ERR_INVALID_ADL_IDX = -5;
inline constexpr int ADL_ERR_NULL_POINTER = -9;

// Record layouts the AMD backend reads and fills (little-endian int32 fields).
inline constexpr int kAdapterInfoSize = 1572;
inline constexpr int kAdapterInfoOffsetIndex = 4;
inline constexpr int kDisplayInfoSize = 552;
inline constexpr int kDisplayInfoOffsetLogicalIndex = 0;
inline constexpr int kDisplayInfoOffsetLogicalAdapter = 8;
inline constexpr int kDisplayInfoOffsetConnector = 540;
inline constexpr int kDisplayInfoOffsetValue = 548;
inline constexpr uint32_t kDisplayConnected = 0x1;
inline constexpr uint32_t kDisplayMapped = 0x2;
inline constexpr uint32_t kConnectorDisplayPort = 15;
inline constexpr uint32_t kConnectorEmbeddedDisplayPort = 16;

// The native AUX request record.
inline constexpr int kNativeAuxSize = 36;
inline constexpr int kNativeAuxOffsetSize = 0;
inline constexpr int kNativeAuxOffsetStatus = 4;
inline constexpr int kNativeAuxOffsetCommand = 8;
inline constexpr int kNativeAuxOffsetAddress = 12;
inline constexpr int kNativeAuxOffsetLength = 16;
inline constexpr int kNativeAuxOffsetData = 20;
inline constexpr int kNativeAuxMaxData = 16;
inline constexpr uint32_t kNativeAuxRead = 2;
inline constexpr uint32_t kNativeAuxWrite = 3;
inline constexpr uint32_t kNativeAuxStatusDone = 1;
inline constexpr uint32_t kNativeAuxStatusDeferred = 9;

// DDC block access as the backend asks for it: I2C over the display's DDC line.
inline constexpr int kDdcBlockOption = 32;
inline constexpr int kDdcBlockCommandIndex = 0;

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
    virtual int NumberOfAdaptersGet(int* count) = 0;
    // info: a zero-filled array of records of kAdapterInfoSize bytes, `size` bytes in all.
    virtual int AdapterInfoGet(uint8_t* info, int size) = 0;
    virtual int AdapterActiveGet(int adapterIndex, int* status) = 0;
    // *displays receives an array of *count records of kDisplayInfoSize bytes, allocated
    // through the callback of MainControlCreate; the caller frees it with std::free.
    virtual int DisplayInfoGet(int adapterIndex, int* count, uint8_t** displays,
                               int forceDetect) = 0;
    // send[0] is the 8-bit I2C address: even, the rest of `send` is written; odd,
    // *receiveLength bytes are read into `receive`.
    virtual int DdcBlockAccessGet(int adapterIndex, int displayIndex, int option,
                                  int commandIndex, int sendLength, const uint8_t* send,
                                  int* receiveLength, uint8_t* receive) = 0;
    // request: a kNativeAuxSize record, its status (and a read's data) filled in place.
    virtual int NativeAuxChannelAccess(int adapterIndex, int displayIndex, uint8_t* request) = 0;
};

// The driver the backend talks to: the installed one, else the platform's own loader.
Driver& ActiveDriver();
// Installs a driver (not owned); null restores the platform loader.
void InstallDriver(Driver* driver);

}  // namespace zorvan::adl
