#pragma once
// What the simulated AMD Display Library knows of its interface, written from the
// library's side: its file name and entry points, the result codes, the records it fills
// and checks (sizes and offsets of little-endian int32 fields) and the codes inside them.
// Nothing here comes from the host's layer: a mistake there must not be repeated here.
#include <cstddef>
#include <cstdint>

namespace zorvan::sim {

// Result codes of the calls.
inline constexpr int kAdlOk = 0;
inline constexpr int kAdlErr = -1;
inline constexpr int kAdlErrNotInit = -2;
inline constexpr int kAdlErrInvalidParam = -3;
inline constexpr int kAdlErrInvalidAdlIdx = -5;
inline constexpr int kAdlErrNullPointer = -9;

// The 64-bit library, the only one this PC has, and what it exports.
inline constexpr const wchar_t* kAdlLibraryFile = L"atiadlxx.dll";
inline constexpr const char* kAdlExports[] = {
    "ADL_Main_Control_Create",
    "ADL_Main_Control_Destroy",
    "ADL_Adapter_NumberOfAdapters_Get",
    "ADL_Adapter_AdapterInfo_Get",
    "ADL_Display_DisplayInfo_Get",
    "ADL_Adapter_Active_Get",
    "ADL_Display_NativeAUXChannel_Access",
    "ADL_Display_DDCBlockAccess_Get",
};

// Adapter information record.
inline constexpr size_t kAdlAdapterInfoSize = 1572;
inline constexpr size_t kAdlAdapterOffsetSize = 0;
inline constexpr size_t kAdlAdapterOffsetIndex = 4;

// Display information record.
inline constexpr size_t kAdlDisplayInfoSize = 552;
inline constexpr size_t kAdlDisplayOffsetLogicalIndex = 0;
inline constexpr size_t kAdlDisplayOffsetPhysicalIndex = 4;
inline constexpr size_t kAdlDisplayOffsetLogicalAdapter = 8;
inline constexpr size_t kAdlDisplayOffsetPhysicalAdapter = 12;
inline constexpr size_t kAdlDisplayOffsetConnector = 540;
inline constexpr size_t kAdlDisplayOffsetValue = 548;
// Display-info value bits. (Connector types are the virtual PC's: AdlDisplaySpec.)
inline constexpr uint32_t kAdlDisplayConnected = 0x1;
inline constexpr uint32_t kAdlDisplayMapped = 0x2;

// Native AUX request record.
inline constexpr uint32_t kAdlNativeAuxSize = 36;
inline constexpr size_t kAdlNativeAuxOffsetSize = 0;
inline constexpr size_t kAdlNativeAuxOffsetStatus = 4;
inline constexpr size_t kAdlNativeAuxOffsetCommand = 8;
inline constexpr size_t kAdlNativeAuxOffsetAddress = 12;
inline constexpr size_t kAdlNativeAuxOffsetLength = 16;
inline constexpr size_t kAdlNativeAuxOffsetData = 20;
inline constexpr uint32_t kAdlNativeAuxMaxData = 16;
inline constexpr uint32_t kAdlNativeAuxRead = 2;
inline constexpr uint32_t kAdlNativeAuxWrite = 3;
// Status the record returns.
inline constexpr uint32_t kAdlAuxStatusDone = 1;
inline constexpr uint32_t kAdlAuxStatusRefused = 2;
inline constexpr uint32_t kAdlAuxStatusNoReply = 3;
inline constexpr uint32_t kAdlAuxStatusDeferred = 9;

// DDC block access: the first send byte is the I2C address byte, its bit 0 the direction
// (0x6E writes to the chip at 0x37, 0x6F reads from it).
inline constexpr uint8_t kAdlI2cReadBit = 0x01;
// The longest DDC block the library moves.
inline constexpr int kAdlMaxDdcBlock = 256;

}  // namespace zorvan::sim
