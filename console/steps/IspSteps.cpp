#include "console/steps/IspSteps.h"

#include <algorithm>

#include "console/ConsoleText.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {

bool DownloadIspDriverStep(ConsoleSession& session, bool secure, std::wstring& message) {
    platform::Print(L"Loading ISP driver......   0%");
    if (!session.control.DownloadIspDriver(secure)) {
        platform::Print(L" [failed!]\r\n");
        message = L"Load ISP driver failed!\r\n";
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Loading ISP driver...... Done\r\n");
    return true;
}

bool LoadAndRunIspDriver(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!DownloadIspDriverStep(session, false, message)) {
        return false;
    }
    if (!control.RunIspDriver()) {
        message = L"Run ISP driver failed!\r\n";
        return false;
    }
    platform::SleepMs(static_cast<uint32_t>(std::max(session.config.ispDriverRunDelay, 0)));
    return true;
}

bool ReadMailboxAndFlashId(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    control.ReadMailbox();
    platform::Print(L"Get Flash ID ...... ");
    uint16_t flashId = 0;
    std::wstring text;
    if (!control.ReadFlashId(flashId, text)) {
        platform::Print(L" [failed!]\r\n");
        message = L"Get FlashID failed!\r\n";
        return false;
    }
    platform::Print(L" [done!]\r\n");
    // The first ID byte the driver answers is shown as the high byte.
    const unsigned shown = static_cast<unsigned>((flashId & 0xFF) << 8 | flashId >> 8);
    PrintAndLog(Format(L"SPI Flash ID: 0x%04X\r\n", shown));
    return true;
}

void ResetSystemIfConfigured(ConsoleSession& session) {
    if (!session.config.runResetOne) {
        return;
    }
    PrintAndLog(session.control.SystemReset() ? L"System Reset ... Done!\r\n"
                                              : L"System Reset ... Not available!\r\n");
}

}  // namespace zorvan::console
