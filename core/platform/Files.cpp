#include "core/platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

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

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path) {
    if (path.empty() || IsDirectory(path)) {
        return std::nullopt;
    }
    std::FILE* f = std::fopen(NativePath(path).c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        data.insert(data.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        return std::nullopt;
    }
    return data;
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
    const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    size_t left = size;
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
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
