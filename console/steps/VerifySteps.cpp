#include "console/steps/VerifySteps.h"

#include "core/config/Log.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {

bool VerifyAfterWriteStep(ConsoleSession& session, const std::wstring& label,
                          std::span<const WrittenRange> ranges, std::wstring& message) {
    if (!session.config.verifyAfterWrite) {
        return true;
    }
    platform::Print(label + L"......   0%");
    const VerifyOutcome outcome = VerifyWrittenFlash(session.control, ranges);
    if (outcome.kind != VerifyOutcome::Kind::kEqual) {
        platform::Print(L" [failed!]\r\n");
        message = VerifyFailureText(outcome);
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(label + L"...... Done\r\n");
    return true;
}

}  // namespace zorvan::console
