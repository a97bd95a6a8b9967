#pragma once
// Verify after write (VerifyAfterWrite=1): after a write step, what it wrote is read back
// through the running ISP driver and compared.
#include <span>
#include <string>

#include "console/ConsoleSession.h"
#include "core/control/FlashVerify.h"

namespace zorvan::console {

// With the switch on: "<label>......   0%" with progress and the ranges read back; the
// first difference (or unreadable piece) fails with `message` naming its address and the
// two bytes. With it off: nothing, true.
bool VerifyAfterWriteStep(ConsoleSession& session, const std::wstring& label,
                          std::span<const WrittenRange> ranges, std::wstring& message);

}  // namespace zorvan::console
