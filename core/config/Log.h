#pragma once
// The log file: one UTF-8 transcript (no byte-order mark) that every completed status
// line is appended to. The file is opened and closed for each text, so it is complete up
// to the last line however the program ends.
#include <ctime>
#include <string>

namespace zorvan {

inline constexpr wchar_t kLogFileName[] = L"ZorvanQuillon.log";

// Set once at start-up (kLogFileName: a bare name, so the log lies in the working folder).
extern std::wstring logFilePath;

// Appends the text whole. A log that cannot be opened or written is silently skipped.
void AppendLog(const std::wstring& text);

// Deletes the log file; a missing file or a failed delete is ignored.
void DeleteLogFile();

// Appends the separator block that opens a continued log: a line of equals signs, the
// local time stamp, and the closing line.
void AppendLogSeparator();

// The local time as "12/31/21 23:59:07", whatever locale the program runs in.
std::wstring LogTimeStamp();
std::wstring FormatLogTimeStamp(const std::tm& time);

}  // namespace zorvan
