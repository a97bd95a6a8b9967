#pragma once
// The console program from start to exit: configuration, log start, banner, adapter
// report, the one option, the file check and the dispatch.
#include <string>
#include <vector>

namespace zorvan::console {

// args[0] is the program name as typed. Returns the exit status, always 0: the outcome
// is told in text only.
int RunConsoleApp(const std::vector<std::wstring>& args);

}  // namespace zorvan::console
