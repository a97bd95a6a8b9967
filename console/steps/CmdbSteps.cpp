#include "console/steps/IspSteps.h"

#include <algorithm>

#include "console/ConsoleText.h"
#include "console/steps/VerifySteps.h"
#include "core/config/Log.h"
#include "core/control/Cmdb.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {

bool WriteCmdbStep(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    platform::Print(L"Flash writing CMDB......   0%");
    int32_t progress = 0;
    uint32_t step = 0;
    if (!control.ProgramFlash(control.cmdbImage.data(), control.cmdbLength, PROGRAM_CODE_NORMAL,
                              kCmdbFlashOffset, &progress, control.cmdbLength, &step)) {
        platform::Print(L" [failed!]\r\n");
        message = Format(L"Flash writing CMDB failed! (step: 0x%x)\r\n", step);
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Flash writing CMDB... Done\r\n");
    const WrittenRange written = {
        kCmdbFlashOffset,
        std::span<const uint8_t>(control.cmdbImage).first(
            std::min(control.cmdbImage.size(), static_cast<size_t>(control.cmdbLength)))};
    return VerifyAfterWriteStep(session, L"Verifying CMDB", {&written, 1}, message);
}

bool VerifyCmdbStep(ConsoleSession& session, std::wstring& message) {
    const bool verified = session.control.VerifyCmdb(false);
    message = verified ? L"CMDB... Verified successfully!\r\n" : L"CMDB... Verify failed!\r\n";
    return verified;
}

bool WriteAndVerifyCmdbStep(ConsoleSession& session, std::wstring& message) {
    if (!WriteCmdbStep(session, message) || !VerifyCmdbStep(session, message)) {
        return false;
    }
    PrintSuccess(message);
    AppendLog(message);
    return true;
}

void LoadCmdbFileStep(ConsoleSession& session, uint16_t attribute) {
    std::wstring ignored;
    if (session.control.LoadCmdbFile(ignored)) {
        return;
    }
    const std::wstring warning = L"Loading CMDB file failed!\r\n";
    platform::SetTextAttribute(attribute);
    platform::Print(warning);
    platform::SetTextAttribute(platform::kAttrNormal);
    AppendLog(warning);
    session.config.programCmdb = false;
}

}  // namespace zorvan::console
