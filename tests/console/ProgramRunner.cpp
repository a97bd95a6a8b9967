#include "tests/console/ProgramRunner.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace zorvan::testing {
namespace fs = std::filesystem;

namespace {

// Variables that change what the programs print or write; a run sets them only on request.
constexpr const char* kClearedVariables[] = {"ZORVAN_TRACE", "NO_COLOR", "CLICOLOR_FORCE"};

std::vector<std::string> BuildEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool drop = extra.count(name) != 0;
        for (const char* cleared : kClearedVariables) {
            drop = drop || name == cleared;
        }
        if (!drop) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : extra) {
        env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// In the child, before exec: the limits a run asked for. Root keeps its rights over files
// unless they leave the capability bounding set, which exec then honours.
void ApplyLimits(const RunOptions& options) {
    if (options.fileSizeLimit) {
        const rlimit limit{static_cast<rlim_t>(*options.fileSizeLimit),
                           static_cast<rlim_t>(*options.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
    }
    if (options.obeyFilePermissions) {
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
            ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
        }
    }
}

}  // namespace

StartedProgram::~StartedProgram() {
    if (!ended_) {
        Kill();
        Wait();
    }
}

void StartedProgram::Kill() {
    if (!ended_) {
        ::kill(pid_, SIGKILL);
    }
}

RunResult StartedProgram::Wait() {
    RunResult result;
    if (ended_) {
        return result;
    }
    Drain(outFd_, errFd_, result.output, result.errors);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ProgramRunner::ProgramRunner(const std::string& programName) : programName_(programName) {
    std::string pattern = (fs::temp_directory_path() / "zorvan-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder_ = pattern;
    const fs::path program = ProgramPath();
    fs::copy_file(fs::path(ZORVAN_BIN_DIR) / programName_, program);
    fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
}

ProgramRunner::~ProgramRunner() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

fs::path ProgramRunner::Resolve(const fs::path& relative) const {
    return relative.is_absolute() ? relative : folder_ / relative;
}

void ProgramRunner::WriteFile(const fs::path& relative, const std::string& bytes) const {
    const fs::path path = Resolve(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void ProgramRunner::MakeFolder(const fs::path& relative) const {
    fs::create_directories(Resolve(relative));
}

void ProgramRunner::CopyIn(const fs::path& source, const fs::path& relative) const {
    const fs::path path = Resolve(relative);
    fs::create_directories(path.parent_path());
    fs::copy(source, path, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void ProgramRunner::Remove(const fs::path& relative) const { fs::remove_all(Resolve(relative)); }

bool ProgramRunner::Exists(const fs::path& relative) const { return fs::exists(Resolve(relative)); }

std::optional<std::string> ProgramRunner::ReadFile(const fs::path& relative) const {
    const fs::path path = Resolve(relative);
    if (!fs::is_regular_file(path)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    }
    return bytes;
}

std::optional<std::string> ProgramRunner::ReadLog(const fs::path& workingDirectory) const {
    return ReadFile(Resolve(workingDirectory) / "ZorvanQuillon.log");
}

RunResult ProgramRunner::Run(const std::vector<std::string>& args,
                             const RunOptions& options) const {
    return Start(args, options)->Wait();
}

std::unique_ptr<StartedProgram> ProgramRunner::Start(const std::vector<std::string>& args,
                                                     const RunOptions& options) const {
    const fs::path workingDirectory =
        options.workingDirectory.empty() ? folder_ : Resolve(options.workingDirectory);
    std::string argv0 = options.argv0;
    if (argv0.empty()) {
        argv0 = workingDirectory == folder_ ? "./" + programName_ : ProgramPath().string();
    }
    std::vector<std::string> argStrings{argv0};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = BuildEnvironment(options.environment);
    // Everything the child needs is ready before the fork.
    std::vector<char*> argvPointers = Pointers(argStrings);
    std::vector<char*> envPointers = Pointers(envStrings);
    const std::string program = ProgramPath().string();
    const std::string cwd = workingDirectory.string();

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 ||
            ::dup2(outPipe[1], STDOUT_FILENO) < 0 || ::dup2(errPipe[1], STDERR_FILENO) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            ::_exit(127);
        }
        ApplyLimits(options);
        ::execve(program.c_str(), argvPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    return std::make_unique<StartedProgram>(pid, outPipe[0], errPipe[0]);
}

}  // namespace zorvan::testing
