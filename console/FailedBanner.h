#pragma once
#include <string>

namespace zorvan::console {

// The red FAILED art, then the message in the warning colour. Logs nothing: callers log
// the message themselves.
void PrintFailedBanner(const std::wstring& message);

}  // namespace zorvan::console
