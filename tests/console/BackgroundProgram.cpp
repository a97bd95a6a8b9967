#include "tests/console/BackgroundProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace zorvan::testing {
namespace fs = std::filesystem;

namespace {

constexpr const char* kClearedVariables[] = {"ZORVAN_TRACE", "NO_COLOR", "CLICOLOR_FORCE"};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

BackgroundProgram::BackgroundProgram(const fs::path& program, const std::vector<std::string>& args,
                                     const fs::path& workingDirectory,
                                     const std::map<std::string, std::string>& environment) {
    std::string pattern = (fs::temp_directory_path() / "zorvan-background-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    outFile_ = fs::path(pattern) / "stdout";
    errFile_ = fs::path(pattern) / "stderr";

    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool drop = environment.count(name) != 0;
        for (const char* cleared : kClearedVariables) {
            drop = drop || name == cleared;
        }
        if (!drop) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        envStrings.push_back(name + "=" + value);
    }
    // Everything the child needs is ready before the fork.
    std::vector<char*> argv;
    for (std::string& s : argStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    const std::string path = program.string();
    const std::string cwd = workingDirectory.string();
    const std::string out = outFile_.string();
    const std::string err = errFile_.string();

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || ::dup2(in, STDIN_FILENO) < 0 ||
            ::dup2(o, STDOUT_FILENO) < 0 || ::dup2(e, STDERR_FILENO) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            ::_exit(127);
        }
        ::execve(path.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
}

BackgroundProgram::~BackgroundProgram() {
    if (!ended_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ignored;
    fs::remove_all(outFile_.parent_path(), ignored);
}

bool BackgroundProgram::Running() {
    if (ended_) {
        return false;
    }
    const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
    ended_ = done == pid_;
    return !ended_;
}

RunResult BackgroundProgram::Wait() {
    while (!ended_) {
        const pid_t done = ::waitpid(pid_, &status_, 0);
        ended_ = done == pid_ || (done < 0 && errno != EINTR);
    }
    RunResult result;
    if (WIFEXITED(status_)) {
        result.exitStatus = WEXITSTATUS(status_);
    } else if (WIFSIGNALED(status_)) {
        result.signal = WTERMSIG(status_);
    }
    result.output = ReadText(outFile_);
    result.errors = ReadText(errFile_);
    return result;
}

}  // namespace zorvan::testing
