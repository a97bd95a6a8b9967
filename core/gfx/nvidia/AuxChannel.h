#pragma once
// One DP AUX request through the NVIDIA driver, with the driver-level retry rules.
#include <cstdint>

#include "core/gfx/nvapi/Records.h"
#include "core/gfx/nvidia/DeviceList.h"

namespace zorvan::nvidia {

// Attempts before a request that keeps being deferred is reported busy.
inline constexpr int kAuxAttempts = 3;
// Pause after each deferral.
inline constexpr uint16_t kDeferPauseUs = 5000;

// A request to `device` of `type` at `address` for `size` data bytes (1..16), its data
// cleared.
nvapi::DpAuxRequest MakeAuxRequest(const Device& device, uint32_t type, uint32_t address,
                                   uint32_t size);

// Sends the request. 0 when the sink took it (then, for reads, request.data holds the
// bytes read); 1002 when refused; 1003 after three deferrals; for a failed call 1 when
// the driver marked the reply 255, else the driver's status. request.data is left as it
// was when the request fails.
int32_t RunAuxRequest(const Device& device, nvapi::DpAuxRequest& request);

}  // namespace zorvan::nvidia
