// -FullErase: the whole SPI flash erased through the ISP driver. Its failures are told in
// the normal colour, without the banner.
#include "console/ConsoleText.h"
#include "console/Procedures.h"
#include "console/steps/IspSteps.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

bool EraseWholeFlash(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!control.LoadDriverFile(message)) {
        return false;
    }
    if (!control.EnterIspMode()) {
        message = L"Reset Zorvan failed!\r\n";
        return false;
    }
    if (!LoadAndRunIspDriver(session, message) || !ReadMailboxAndFlashId(session, message)) {
        return false;
    }
    platform::Print(Format(L"Erasing flash (0x%X)...... ", ERASE_FULL));
    if (!control.EraseFlash(ERASE_FULL)) {
        platform::Print(L" [failed!]\r\n");
        AppendLog(Format(L"Erasing flash (0x%X)...... Failed\r\n", ERASE_FULL));
        message.clear();
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(Format(L"Erasing flash (0x%X)...... Done\r\n", ERASE_FULL));
    return true;
}

}  // namespace

bool FullEraseCommand(ConsoleSession& session) {
    std::wstring message;
    const bool erased = EraseWholeFlash(session, message);
    if (!erased) {
        PrintAndLog(message);
    }
    ResetSystemIfConfigured(session);
    return erased;
}

}  // namespace zorvan::console
