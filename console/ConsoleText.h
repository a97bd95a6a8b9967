#pragma once
// How the console says things: plain lines that also go to the log, and lines in the
// warning or success colours. Every coloured passage ends in the normal attribute.
#include <string>

namespace zorvan::console {

// Prints the text and appends the same text to the log.
void PrintAndLog(const std::wstring& text);
// Prints the text in the warning colour (0xE9); not logged.
void PrintWarning(const std::wstring& text);
// Prints the text in the success colour (0xA9); not logged.
void PrintSuccess(const std::wstring& text);

}  // namespace zorvan::console
