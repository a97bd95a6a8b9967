#include "core/platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/platform/Text.h"

namespace zorvan::platform {

wchar_t PathSeparator() { return L'/'; }

std::string NativePath(const std::wstring& path) { return ToUtf8(path); }

std::wstring ProgramPath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return std::wstring();
    }
    return FromUtf8(std::string_view(buffer.data(), static_cast<size_t>(n)));
}

std::wstring ProgramFolder() {
    const std::wstring path = ProgramPath();
    const size_t slash = path.find_last_of(PathSeparator());
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    return path.substr(0, slash + 1);
}

bool IsAbsolutePath(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    if (path[0] == L'/') {
        return true;
    }
    // Windows forms, recognised everywhere so a Config.ini written there reads the same here.
    if (path.size() >= 2 && path[1] == L':') {
        return true;
    }
    return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

bool PathExists(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
    struct stat st {};
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

FileType TypeOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return FileType::kRegular;
    }
    if (S_ISDIR(mode)) {
        return FileType::kFolder;
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return FileType::kDevice;
    }
    if (S_ISFIFO(mode)) {
        return FileType::kFifo;
    }
    if (S_ISSOCK(mode)) {
        return FileType::kSocket;
    }
    return FileType::kOther;
}

FileProblem SystemProblem(int error) {
    FileProblem problem;
    problem.error =
        error == ENOENT || error == ENOTDIR ? FileError::kMissing : FileError::kUnreadable;
    problem.systemError = error;
    return problem;
}

FileProblem Unwritable(int error) {
    FileProblem problem;
    problem.error = FileError::kUnwritable;
    problem.systemError = error;
    return problem;
}

FileProblem NotRegular(mode_t mode) {
    FileProblem problem;
    problem.error = FileError::kNotRegular;
    problem.type = TypeOf(mode);
    return problem;
}

const wchar_t* TypeName(FileType type) {
    switch (type) {
        case FileType::kFolder:
            return L"a folder";
        case FileType::kDevice:
            return L"a device";
        case FileType::kFifo:
            return L"a FIFO";
        case FileType::kSocket:
            return L"a socket";
        case FileType::kRegular:
        case FileType::kOther:
            break;
    }
    return nullptr;
}

std::wstring SizeText(uint64_t bytes) {
    constexpr uint64_t kKiB = 1024;
    if (bytes >= kKiB * kKiB && bytes % (kKiB * kKiB) == 0) {
        return Format(L"%llu MiB", static_cast<unsigned long long>(bytes / (kKiB * kKiB)));
    }
    if (bytes >= kKiB && bytes % kKiB == 0) {
        return Format(L"%llu KiB", static_cast<unsigned long long>(bytes / kKiB));
    }
    return Format(L"%llu bytes", static_cast<unsigned long long>(bytes));
}

bool WriteAll(int fd, const uint8_t* p, size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path leads to through its symbolic links (the path itself when it is none or
// does not exist yet); empty with errno set when the links go round in circles or cannot
// be read.
std::string FollowLinks(std::string path) {
    constexpr int kMaxLinks = 40;  // as the kernel allows
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n <= 0) {
            return std::string();
        }
        const std::string link(target.data(), static_cast<size_t>(n));
        path = link[0] == '/' ? link : FolderOf(path) + "/" + link;
    }
    errno = ELOOP;
    return std::string();
}

// The mode bits a new file gets from open(…, 0666): the umask, read without changing it
// for longer than two calls.
mode_t NewFileMode() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

// A written file's folder entry outlives a crash only once the folder itself is flushed.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::wstring DescribeFileProblem(const std::wstring& path, const FileProblem& problem) {
    switch (problem.error) {
        case FileError::kNone:
            return std::wstring();
        case FileError::kMissing:
            return Format(L"\"%s\" does not exist", path.c_str());
        case FileError::kNotRegular:
            if (const wchar_t* type = TypeName(problem.type)) {
                return Format(L"\"%s\" is %s, not a regular file", path.c_str(), type);
            }
            return Format(L"\"%s\" is not a regular file", path.c_str());
        case FileError::kTooLarge:
            return Format(L"\"%s\" is larger than %s", path.c_str(),
                          SizeText(problem.limit).c_str());
        case FileError::kUnwritable:
            return Format(L"\"%s\" cannot be written (%hs)", path.c_str(),
                          std::strerror(problem.systemError));
        case FileError::kUnreadable:
            break;
    }
    return Format(L"\"%s\" cannot be read (%hs)", path.c_str(), std::strerror(problem.systemError));
}

InputFile::InputFile(const std::wstring& path) : InputFile(NativePath(path)) {}

InputFile::InputFile(const std::string& nativePath) {
    if (nativePath.empty()) {
        problem_ = SystemProblem(ENOENT);
        return;
    }
    // Looking first keeps devices from being opened at all; opening without waiting and
    // looking again refuses whatever was put in the file's place meanwhile.
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0) {
        problem_ = SystemProblem(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        problem_ = NotRegular(st.st_mode);
        return;
    }
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem_ = SystemProblem(errno);
        return;
    }
    if (::fstat(fd, &st) != 0) {
        problem_ = SystemProblem(errno);
        ::close(fd);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        problem_ = NotRegular(st.st_mode);
        ::close(fd);
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        problem_ = SystemProblem(errno);
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

size_t InputFile::Read(uint8_t* out, size_t size) {
    if (fd_ < 0 || size == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, out, size);
        if (n >= 0) {
            return static_cast<size_t>(n);
        }
        if (errno != EINTR) {
            problem_.error = FileError::kUnreadable;
            problem_.systemError = errno;
            return 0;
        }
    }
}

FileContent ReadWholeFile(const std::wstring& path, uint64_t maxBytes) {
    FileContent content;
    InputFile file(path);
    if (!file.IsOpen()) {
        content.problem = file.Problem();
        return content;
    }
    const auto tooLarge = [maxBytes](uint64_t size) {
        FileContent refused;
        refused.problem.error = FileError::kTooLarge;
        refused.problem.size = size;
        refused.problem.limit = maxBytes;
        return refused;
    };
    if (file.Size() > maxBytes) {
        return tooLarge(file.Size());
    }
    // One byte more than the size is asked for, so the end shows at once; a file whose size
    // says nothing (a kernel file) or that grows meanwhile is read on, never past the limit.
    const uint64_t limit = std::min<uint64_t>(maxBytes, SIZE_MAX - 1);
    std::vector<uint8_t>& bytes = content.bytes;
    size_t have = 0;
    try {
        bytes.resize(static_cast<size_t>(file.Size()) + 1);
        while (size_t n = file.Read(bytes.data() + have, bytes.size() - have)) {
            have += n;
            if (have > limit) {
                return tooLarge(have);
            }
            if (have == bytes.size()) {
                bytes.resize(static_cast<size_t>(
                    std::min<uint64_t>(limit + 1, std::max<uint64_t>(2 * have, 65536))));
            }
        }
    } catch (const std::bad_alloc&) {
        content.bytes.clear();
        content.problem = SystemProblem(ENOMEM);
        return content;
    }
    if (file.Problem().error != FileError::kNone) {
        content.bytes.clear();
        content.problem = file.Problem();
        return content;
    }
    bytes.resize(have);
    return content;
}

FileProblem ReplaceFileAtomically(const std::string& nativePath, const uint8_t* data, size_t size) {
    if (nativePath.empty()) {
        return SystemProblem(ENOENT);
    }
    const std::string target = FollowLinks(nativePath);
    if (target.empty()) {
        return SystemProblem(errno);
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        return SystemProblem(errno);
    }
    if (exists && !S_ISREG(st.st_mode)) {
        return NotRegular(st.st_mode);
    }
    std::string temporary = target + ".tmpXXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return Unwritable(errno);
    }
    bool ok = true;
    if (exists) {
        // Best effort: only the owner's own groups, or root, may hand the file on.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    } else {
        ok = ::fchmod(fd, NewFileMode()) == 0;
    }
    ok = ok && WriteAll(fd, data, size);
    ok = ok && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        error = error != 0 ? error : errno;
        ::unlink(temporary.c_str());
        return Unwritable(error != 0 ? error : EIO);
    }
    SyncFolder(FolderOf(target));
    return FileProblem();
}

bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    struct stat sa {};
    struct stat sb {};
    return !a.empty() && !b.empty() && ::stat(NativePath(a).c_str(), &sa) == 0 &&
           ::stat(NativePath(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data) {
    std::FILE* f = std::fopen(NativePath(path).c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

bool AppendToFile(const std::wstring& path, const void* data, size_t size) {
    const int fd =
        ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size);
    ::close(fd);
    return ok;
}

void DeleteFileQuietly(const std::wstring& path) {
    if (!path.empty()) {
        ::unlink(NativePath(path).c_str());
    }
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    DIR* dir = ::opendir(NativePath(folder).c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        names.push_back(FromUtf8(name));
    }
    ::closedir(dir);
    return names;
}

std::wstring CurrentFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        return std::wstring();
    }
    std::wstring folder = FromUtf8(buffer.data());
    if (folder.empty() || folder.back() != PathSeparator()) {
        folder.push_back(PathSeparator());
    }
    return folder;
}

}  // namespace zorvan::platform
