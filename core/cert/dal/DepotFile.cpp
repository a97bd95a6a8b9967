#include "core/cert/dal/DepotFile.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace zorvan::dal {
namespace {

// No depot comes near this; a larger "file" is a device or a mistake, not a key file.
constexpr uintmax_t kLargestDepot = static_cast<uintmax_t>(INT_MAX) / 2;

}  // namespace

bool ReadDepotFile(const std::string& path, SecretBytes& content) {
    content.Clear();
    std::error_code error;
    const std::filesystem::path file(path);
    if (path.empty() || !std::filesystem::is_regular_file(file, error)) {
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size == 0 || size > kLargestDepot) {
        return false;
    }
    std::FILE* handle = std::fopen(path.c_str(), "rb");
    if (handle == nullptr) {
        return false;
    }
    SecretBytes bytes(static_cast<size_t>(size));
    const size_t read = std::fread(bytes.data(), 1, bytes.size(), handle);
    std::fclose(handle);
    if (read != bytes.size()) {
        return false;
    }
    content = std::move(bytes);
    return true;
}

bool ReplaceDepotFile(const std::string& path, const uint8_t* data, size_t size) {
    if (path.empty()) {
        return false;
    }
    const std::string temporary = path + ".tmp";
    std::FILE* handle = std::fopen(temporary.c_str(), "wb");
    if (handle == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, handle) == size;
    const bool closed = std::fclose(handle) == 0;
    std::error_code error;
    if (written && closed) {
        std::filesystem::rename(temporary, path, error);
        if (!error) {
            return true;
        }
    }
    std::filesystem::remove(temporary, error);
    return false;
}

}  // namespace zorvan::dal
