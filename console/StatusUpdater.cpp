#include "console/StatusUpdater.h"

#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {

std::wstring ProgressText(int32_t done, int32_t total) {
    // 64-bit, so done * 100 cannot overflow for large counts; truncated toward zero.
    const int64_t percent = total == 0 ? 0 : int64_t{done} * 100 / total;
    std::wstring text = L"\b\b\b\b";
    if (percent < 100) {
        text += L' ';
    }
    if (percent < 10) {
        text += L' ';
    }
    return text + Format(L"%lld%%", static_cast<long long>(percent));
}

void StatusUpdater::UpdateProgress(int32_t done, int32_t total) {
    platform::Print(ProgressText(done, total));
}

}  // namespace zorvan::console
