#pragma once
// The console program from start to exit: configuration, log start, banner, adapter
// report, the one option, the file check and the dispatch.
#include <string>
#include <vector>

namespace zorvan::console {

// args[0] is the program name as typed. Returns the exit status: 0, unless the
// configuration sets ExitStatus=1 (then 1 for a failed operation, 2 for a command line that
// names no operation).
int RunConsoleApp(const std::vector<std::wstring>& args);

}  // namespace zorvan::console
