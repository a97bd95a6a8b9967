#include "fuzz/support/Scratch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/platform/Text.h"

namespace zorvan::fuzz {
namespace {

std::string MakeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zorvan-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("zorvan fuzz: scratch folder");
        std::abort();
    }
    return pattern + "/";
}

struct Folder {
    std::string path = MakeFolder();
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& ScratchFolder() {
    static const Folder folder;
    return folder.path;
}

std::wstring WriteScratchFile(const std::string& name, std::span<const uint8_t> bytes) {
    const std::string path = ScratchFolder() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::perror("zorvan fuzz: scratch file");
        std::abort();
    }
    return FromUtf8(path);
}

}  // namespace zorvan::fuzz
