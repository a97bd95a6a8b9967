#pragma once
// The AUX data blocks of the Intel driver's object and the transfers both Intel backends
// build from them: one data-block exchange per AUX transaction, set-data for the even
// command codes, get-data for the odd ones, with the driver's busy status retried.
#include <cstdint>

#include "core/gfx/cui/Cui.h"

namespace zorvan::cui {

// DisplayPort AUX request command codes.
inline constexpr uint32_t kCmdI2cWrite = 0;
inline constexpr uint32_t kCmdI2cRead = 1;
inline constexpr uint32_t kCmdI2cWriteMot = 4;
inline constexpr uint32_t kCmdI2cReadMot = 5;
inline constexpr uint32_t kCmdNativeWrite = 8;
inline constexpr uint32_t kCmdNativeRead = 9;

// Driver status words.
inline constexpr uint32_t kStatusSuccess = 0;
inline constexpr uint32_t kStatusNotSupported = 5;
inline constexpr uint32_t kStatusBusy = 70;

// Calls of one transaction before a sink that stays busy is reported busy, and the pause
// after each busy answer.
inline constexpr int kDataBlockCalls = 6;
inline constexpr uint16_t kBusyPauseUs = 5000;

// Where a data block keeps its fields.
struct BlockLayout {
    const Guid* guid;
    uint32_t size;
    uint32_t offsetDevice;
    uint32_t offsetCommand;
    uint32_t offsetLength;
    uint32_t offsetAddress;
    uint32_t offsetData;
    const char* traceVendor;
};

// The 32-byte AUX block of the Intel backend and the 160-byte LS-PCON block.
extern const BlockLayout kAuxBlock;
extern const BlockLayout kLspconBlock;
inline constexpr uint32_t kMaxBlockSize = 160;

// The transfers on one object and one block layout, as both backends run them. The
// device id goes into the block's device field. Results: 0; -1 without an object; 1003
// when busy; the driver's status word; for a failed call with a status of 0, its HRESULT.
class DataBlockLink {
  public:
    DataBlockLink(Interface* object, const BlockLayout& layout, uint32_t mailboxAddress)
        : object_(object), layout_(layout), mailboxAddress_(mailboxAddress) {}

    int32_t I2cWrite(uint32_t deviceId, uint32_t address, const uint8_t* data, int32_t length);
    int32_t I2cRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t capacity,
                    int32_t* length);
    int32_t AuxWrite(uint32_t deviceId, uint32_t address, const uint8_t* data, int32_t length);
    int32_t AuxRead(uint32_t deviceId, uint32_t address, uint8_t* buffer, int32_t length);

    // One transaction of `size` bytes (1..16). `data` is sent for a write command and
    // receives the bytes of a successful read.
    int32_t Transact(uint32_t deviceId, uint32_t command, uint32_t address, uint8_t* data,
                     int32_t size);

  private:
    Interface* object_;
    const BlockLayout& layout_;
    uint32_t mailboxAddress_;
};

}  // namespace zorvan::cui
