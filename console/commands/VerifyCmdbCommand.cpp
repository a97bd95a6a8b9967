// -VerifyCmdb: the CMDB block compared with the file through the chip's own firmware, then
// its state. No ISP driver, no reset.
#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {
namespace {

void Fail(const std::wstring& message) {
    PrintFailedBanner(message);
    AppendLog(message);
}

}  // namespace

bool VerifyCmdbCommand(ConsoleSession& session) {
    ZorvanControl& control = session.control;
    std::wstring loaderMessage;
    if (!control.LoadCmdbFile(loaderMessage)) {
        Fail(L"Loading CMDB file failed!\r\n" + loaderMessage);
        return false;
    }
    if (!control.VerifyCmdb(true)) {
        Fail(L"CMDB... Verification failed!\r\n");
        return false;
    }
    const std::wstring verified = L"CMDB... Verified successfully!\r\n";
    std::wstring text;
    if (control.CheckCmdb(text) == CMDB_OK) {
        platform::Print(text);
        PrintSuccess(verified);
    } else {
        PrintWarning(text);
    }
    AppendLog(text);
    AppendLog(verified);
    return true;
}

}  // namespace zorvan::console
