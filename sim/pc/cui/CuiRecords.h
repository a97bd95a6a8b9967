#pragma once
// What the simulated Intel driver object knows of its interface, written from the driver's
// side: its ProgID, the HRESULTs and status words it returns, the data-block GUIDs and the
// layouts of the two AUX data blocks (little-endian 32-bit fields) with their command
// codes. Only the GUID's type comes from the host's driver layer (the interface passes it);
// its values, like everything else here, must not repeat a mistake of the host's.
#include <cstdint>

#include "core/gfx/cui/Cui.h"

namespace zorvan::sim {

inline constexpr const wchar_t* kCuiProgId = L"Igfxext.CUIExternal";

// HRESULTs.
inline constexpr cui::HResult kCuiOk = 0;
inline constexpr cui::HResult kCuiNoMoreItems = 1;  // S_FALSE: no device with that index
inline constexpr cui::HResult kCuiClassString = static_cast<cui::HResult>(0x800401F3u);
inline constexpr cui::HResult kCuiInvalidArg = static_cast<cui::HResult>(0x80070057u);
inline constexpr cui::HResult kCuiPointer = static_cast<cui::HResult>(0x80004003u);

// Data-block GUIDs: the 32-byte AUX block and the 160-byte LS-PCON block.
inline constexpr cui::Guid kCuiAuxBlockGuid{
    0xBFB9816C, 0xAEB0, 0x434B, {0x99, 0xF3, 0x0F, 0x94, 0xE6, 0xBE, 0xBF, 0x0D}};
inline constexpr cui::Guid kCuiLspconBlockGuid{
    0xC3E437B6, 0x53F9, 0x42AA, {0xA5, 0x40, 0x87, 0x1F, 0x1E, 0x10, 0x7D, 0xFD}};

// Where a block keeps its fields. The address field holds the DPCD address, or the
// device's 8-bit I2C address in its write form (bit 0 clear: the command gives the
// direction).
struct CuiBlockLayout {
    uint32_t size;
    uint32_t device;  // the device UID, or the LS-PCON port id
    uint32_t command;
    uint32_t length;
    uint32_t address;
    uint32_t data;
};
inline constexpr CuiBlockLayout kCuiAuxLayout{32, 0, 4, 8, 12, 16};
// Bytes 4 to 15 of the LS-PCON block are zero.
inline constexpr CuiBlockLayout kCuiLspconLayout{160, 0, 16, 20, 24, 28};
inline constexpr uint32_t kCuiLargestBlock = 160;

// DisplayPort AUX request command codes.
inline constexpr uint32_t kCuiI2cWrite = 0;
inline constexpr uint32_t kCuiI2cRead = 1;
inline constexpr uint32_t kCuiI2cWriteMot = 4;
inline constexpr uint32_t kCuiI2cReadMot = 5;
inline constexpr uint32_t kCuiNativeWrite = 8;
inline constexpr uint32_t kCuiNativeRead = 9;

// Status words of a data-block call.
inline constexpr uint32_t kCuiStatusDone = 0;
inline constexpr uint32_t kCuiStatusRefused = 1;
inline constexpr uint32_t kCuiStatusNoReply = 2;
inline constexpr uint32_t kCuiStatusUnknownDevice = 3;
inline constexpr uint32_t kCuiStatusNotSupported = 5;
inline constexpr uint32_t kCuiStatusBusy = 70;

}  // namespace zorvan::sim
