#pragma once
// The AMD backend's two kinds of link transaction: DDC block access for I2C and native
// AUX channel access for DPCD, each with its own result rules.
#include <cstdint>

#include "core/gfx/adl/Adl.h"

namespace zorvan::amd {

// The largest I2C block one DDC block access moves.
inline constexpr int32_t kDdcBlockSize = 131;
// Native AUX: deferrals before a request is reported busy, and the pause after each.
inline constexpr int kNativeAuxAttempts = 3;
inline constexpr uint16_t kDeferPauseUs = 5000;

// The ADL adapter and display index a device id names.
struct Target {
    int adapter;
    int display;
};
Target SplitDeviceId(uint32_t deviceId);

// One DDC block write of `length` bytes (1..131) to the 8-bit I2C address `address`.
// Returns the ADL result as it is.
int32_t DdcBlockWrite(adl::Driver& driver, Target target, uint8_t address, const uint8_t* data,
                      int32_t length);
// One DDC block read of `length` bytes (1..131) from the read address `address` into
// `buffer` (131 bytes, cleared first). Returns the ADL result as it is.
int32_t DdcBlockRead(adl::Driver& driver, Target target, uint8_t address, uint8_t* buffer,
                     int32_t length);

// One native AUX request with the deferral rule: 0 done; 1003 after three deferrals;
// 3000 + the ADL result for a failed call; 4000 + the status for any other status. A
// read's bytes go to `readInto` (`size` bytes) only when it is done.
int32_t NativeAux(adl::Driver& driver, Target target, uint32_t command, uint32_t address,
                  const uint8_t* writeData, uint8_t* readInto, int32_t size);

}  // namespace zorvan::amd
