// -WriteCmdb: the CMDB file written into its erased block through the ISP driver and
// verified through it.
#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "console/steps/IspSteps.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {
namespace {

bool WriteCmdb(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!control.LoadCmdbFile(message) || !control.LoadDriverFile(message)) {
        return false;
    }
    if (!control.EnterIspMode()) {
        message = L"Reset Zorvan failed!\r\n";
        return false;
    }
    PrintAndLog(L"Start CMDB writing process...\r\n");
    if (!LoadAndRunIspDriver(session, message) || !ReadMailboxAndFlashId(session, message)) {
        return false;
    }
    platform::Print(L"Erasing CMDB......");
    if (!control.EraseFlash(ERASE_CMDB)) {
        platform::Print(L" [failed!]\r\n");
        AppendLog(L"Erasing CMDB...... failed!\r\n");
        message.clear();
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Erasing flash...... Done\r\n");
    if (!WriteCmdbStep(session, message) || !VerifyCmdbStep(session, message)) {
        return false;
    }
    PrintSuccess(message);
    AppendLog(message);
    return true;
}

}  // namespace

bool WriteCmdbCommand(ConsoleSession& session) {
    session.config.secureIsp = false;
    session.control.secureIsp = 0;
    std::wstring message;
    const bool written = WriteCmdb(session, message);
    if (!written) {
        PrintFailedBanner(message);
        AppendLog(message);
    }
    ResetSystemIfConfigured(session);
    return written;
}

}  // namespace zorvan::console
