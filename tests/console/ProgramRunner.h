#pragma once
// Runs a built program the way a user does: from a folder of its own that holds a copy of
// the program, its Config.ini and whatever files a test puts there, and captures what the
// user sees (standard output, the exit status, the files left behind).
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvan::testing {

struct RunOptions {
    // Working directory; empty: the program folder. A relative path is taken from the
    // program folder.
    std::filesystem::path workingDirectory;
    // The program's first command-line word; empty: "./" followed by the program name
    // when the working directory is the program folder, else the full path.
    std::string argv0;
    // Environment variables to set. ZORVAN_TRACE, NO_COLOR and CLICOLOR_FORCE are cleared
    // unless given here, so runs do not depend on the caller's environment.
    std::map<std::string, std::string> environment;
    // A disk that fills up: no file the program writes may grow beyond this many bytes
    // (the write fails with EFBIG instead).
    std::optional<uint64_t> fileSizeLimit;
    // File permissions hold for the program even when the tests run as root.
    bool obeyFilePermissions = false;
};

struct RunResult {
    int exitStatus = -1;  // -1 when the program did not exit normally
    int signal = 0;       // the signal that ended it, if any
    std::string output;   // standard output, byte for byte
    std::string errors;   // standard error
};

// A program started in the background: what it showed is collected when it has ended.
class StartedProgram {
public:
    StartedProgram(pid_t pid, int outFd, int errFd) : pid_(pid), outFd_(outFd), errFd_(errFd) {}
    ~StartedProgram();  // kills the program if it still runs
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // Ends it at once, as a user's kill -9 or a crash would.
    void Kill();
    // Waits for its end.
    RunResult Wait();

private:
    pid_t pid_;
    int outFd_;
    int errFd_;
    bool ended_ = false;
};

class ProgramRunner {
public:
    // Makes a fresh folder and copies the program (from ZORVAN_BIN_DIR) into it.
    explicit ProgramRunner(const std::string& programName = "ZorvanISP");
    ~ProgramRunner();
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path ProgramPath() const { return folder_ / programName_; }

    // Files relative to the program folder (folders on the way are made).
    void WriteConfig(const std::string& text) const { WriteFile("Config.ini", text); }
    void WriteFile(const std::filesystem::path& relative, const std::string& bytes) const;
    void MakeFolder(const std::filesystem::path& relative) const;
    void CopyIn(const std::filesystem::path& source, const std::filesystem::path& relative) const;
    void Remove(const std::filesystem::path& relative) const;
    bool Exists(const std::filesystem::path& relative) const;
    // nullopt when the file does not exist or cannot be read.
    std::optional<std::string> ReadFile(const std::filesystem::path& relative) const;

    // The log file in the working directory of a run (default: the program folder).
    std::optional<std::string> ReadLog(const std::filesystem::path& workingDirectory = {}) const;

    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
    // Starts the program and returns while it runs.
    std::unique_ptr<StartedProgram> Start(const std::vector<std::string>& args,
                                          const RunOptions& options = {}) const;

private:
    std::filesystem::path Resolve(const std::filesystem::path& relative) const;

    std::string programName_;
    std::filesystem::path folder_;
};

}  // namespace zorvan::testing
