#pragma once
// Before a command runs: are the files it needs there? Turns -Run into a plain or a
// secure run and drops the optional certificate and CMDB steps whose files are missing.
#include <string>

#include "console/ConsoleCommand.h"
#include "core/config/IspConfig.h"

namespace zorvan {
class ZorvanControl;
}

namespace zorvan::console {

// Paths and secure ISP come from the control; the feature switches and firmwareReady of
// `config` may be switched off or recomputed, and `command` may change from CMD_RUN to
// CMD_RUN_ISP or CMD_RUN_SECURE_ISP. `message` receives the text to show (on failure the
// reason; on success empty, or warnings followed by the Run header).
bool CheckRequiredFiles(const ZorvanControl& control, IspConfig& config, ConsoleCommand& command,
                        std::wstring& message);

}  // namespace zorvan::console
