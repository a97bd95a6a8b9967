#pragma once
// The commands of zorvan-sim. Each takes the words after its own name, writes its
// results to `out` and its complaints to `err`, and returns the process exit status.
#include <ostream>
#include <string>
#include <vector>

namespace zorvan::simtool {

inline constexpr int SIMTOOL_EXIT_OK = 0;
inline constexpr int SIMTOOL_EXIT_FAILED = 1;     // a message on `err` says why
inline constexpr int SIMTOOL_EXIT_BAD_USAGE = 2;  // the usage goes to `err`

// args: the whole command line without the program name.
int RunSimTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

int RunInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunDumpFlash(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPowerCycle(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunAssets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage text, one command a line.
const char* UsageText();

}  // namespace zorvan::simtool
