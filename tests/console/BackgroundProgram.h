#pragma once
// A built program started in the background, for tests that need two programs at once: its
// standard output and error go to files, and the test waits for it (or asks whether it
// still runs) when it needs to.
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {

class BackgroundProgram {
  public:
    // Starts `program` in `workingDirectory` with the arguments; the environment is the
    // caller's without ZORVAN_TRACE, NO_COLOR and CLICOLOR_FORCE, plus `environment`.
    BackgroundProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const std::filesystem::path& workingDirectory,
                      const std::map<std::string, std::string>& environment = {});
    // A program still running is killed.
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool Running();
    // Waits for the end; output and errors as the program left them.
    RunResult Wait();

  private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::filesystem::path outFile_;
    std::filesystem::path errFile_;
};

}  // namespace zorvan::testing
