#include "core/config/Log.h"

#include <locale.h>

#include <string>

#include "core/platform/Files.h"
#include "core/platform/Text.h"

namespace zorvan {

std::wstring logFilePath = kLogFileName;

void AppendLog(const std::wstring& text) {
    // An empty text still opens (and so creates) the file, as every append does.
    const std::string bytes = ToUtf8(text);
    (void)platform::AppendToFile(logFilePath, bytes.data(), bytes.size());
}

void DeleteLogFile() { platform::DeleteFileQuietly(logFilePath); }

void AppendLogSeparator() {
    AppendLog(L"====================================\r\n");
    AppendLog(LogTimeStamp());
    AppendLog(L"\r\n====================================\r\n");
}

std::wstring FormatLogTimeStamp(const std::tm& time) {
    // The stamp has the form of "%c" in the C locale of the Windows runtime: month/day/
    // two-digit year and 24-hour time. glibc's "%c" differs, but its C-locale "%x %X" is
    // that form. An explicit C locale keeps the program's own locale out of it.
    const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (c == static_cast<locale_t>(nullptr)) {
        return std::wstring();
    }
    char buffer[128];
    const size_t n = ::strftime_l(buffer, sizeof buffer, "%x %X", &time, c);
    ::freelocale(c);
    return FromUtf8(std::string_view(buffer, n));
}

std::wstring LogTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &local) == nullptr) {
        return std::wstring();
    }
    return FormatLogTimeStamp(local);
}

}  // namespace zorvan
