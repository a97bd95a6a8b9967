#pragma once
// File services the programs use, on wide-text paths (UTF-8 on POSIX).
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::platform {

// The platform's path separator ('\\' on Windows, '/' elsewhere).
wchar_t PathSeparator();

// Full path of the running program; empty when it cannot be obtained.
std::wstring ProgramPath();
// The program's folder, with its trailing separator; empty when unknown.
std::wstring ProgramFolder();

// True when a path names an absolute location (POSIX: starts with '/'; Windows: a drive
// colon or two leading backslashes).
bool IsAbsolutePath(const std::wstring& path);

// True when a file or a folder of that path exists; an empty path does not exist.
bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// What a file turned out to be, when it is not what a reader or writer takes.
enum class FileType : uint8_t { kRegular, kFolder, kDevice, kFifo, kSocket, kOther };

enum class FileError : uint8_t {
    kNone,
    kMissing,     // nothing of that name (or a folder on the way is missing)
    kNotRegular,  // a folder, a device, a FIFO or a socket: never read or replaced
    kTooLarge,    // larger than the limit the reader sets for that kind of file
    kUnreadable,  // there, but it cannot be opened or read (systemError says why)
    kUnwritable,  // it cannot be written (systemError says why)
};

// Why a file operation failed; error kNone when it did not.
struct FileProblem {
    FileError error = FileError::kNone;
    FileType type = FileType::kRegular;  // kNotRegular: what the file is
    uint64_t size = 0;                   // kTooLarge: the size found
    uint64_t limit = 0;                  // kTooLarge: the reader's limit
    int systemError = 0;                 // kUnreadable, kUnwritable: the system's error number
};

// One clause naming the file and the problem, without a full stop: "\"x\" is a FIFO, not
// a regular file", "\"x\" is larger than 4 MiB", "\"x\" does not exist". Empty for kNone.
std::wstring DescribeFileProblem(const std::wstring& path, const FileProblem& problem);

// A regular file opened for reading. Anything else is refused before it is opened, and the
// open itself never waits (a FIFO or a device swapped in at the last moment is refused too).
class InputFile {
  public:
    explicit InputFile(const std::wstring& path);
    // An 8-bit path in the platform's own encoding.
    explicit InputFile(const std::string& nativePath);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why it did not open, or why the last read failed.
    const FileProblem& Problem() const { return problem_; }
    // The size the file had when it was opened.
    uint64_t Size() const { return size_; }
    // Reads up to `size` bytes from the current position; the count read (0 at the end).
    // A failure returns 0 and sets Problem() to kUnreadable.
    size_t Read(uint8_t* out, size_t size);

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
    FileProblem problem_;
};

// A whole file's content, or why there is none. Tested and dereferenced like an optional.
struct FileContent {
    std::vector<uint8_t> bytes;
    FileProblem problem;

    explicit operator bool() const { return problem.error == FileError::kNone; }
    const std::vector<uint8_t>& operator*() const { return bytes; }
    const std::vector<uint8_t>* operator->() const { return &bytes; }
};

// Reads a regular file of at most maxBytes whole; the size is checked before anything is
// read, and a file that grows past the limit while it is read is refused as well.
FileContent ReadWholeFile(const std::wstring& path, uint64_t maxBytes);

// Replaces the file's content in place (creating it, keeping a link and the file's mode);
// false on any failure.
bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data);

// Replaces a regular file's content so that readers see the old content or the new, never
// a part: the data goes to a temporary file of a unique name in the file's folder, is
// flushed to disk and renamed over the file. A symbolic link stays and the file it leads
// to is replaced; the file keeps its permission bits (a new one gets 0666 less the umask).
// A target that exists and is not a regular file is refused and left alone; on any failure
// the target is untouched and no temporary file stays behind.
FileProblem ReplaceFileAtomically(const std::string& nativePath, const uint8_t* data, size_t size);

// True when both paths name one existing file (the same device and inode, whatever links
// or spellings lead there).
bool IsSameFile(const std::wstring& a, const std::wstring& b);
// Appends bytes (creating the file, keeping its content); false when it cannot be opened.
bool AppendToFile(const std::wstring& path, const void* data, size_t size);
// Deletes a file; a missing file is no error and no failure is reported.
void DeleteFileQuietly(const std::wstring& path);

// The names (not paths) of the entries of a folder, in the order the file system lists them.
std::vector<std::wstring> ListFolder(const std::wstring& folder);

// The process's current working directory, with a trailing separator.
std::wstring CurrentFolder();

std::string NativePath(const std::wstring& path);

}  // namespace zorvan::platform
