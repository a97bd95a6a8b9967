#include "core/cert/dal/DepotFile.h"

namespace zorvan::dal {
namespace {

// Straight into wiped memory: a plain depot is the secret itself.
bool ReadOpenFile(platform::InputFile& file, SecretBytes& content, platform::FileProblem& problem) {
    if (file.Size() > kMaxDepotFileBytes) {
        problem.error = platform::FileError::kTooLarge;
        problem.size = file.Size();
        problem.limit = kMaxDepotFileBytes;
        return false;
    }
    SecretBytes bytes(static_cast<size_t>(file.Size()));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t n = file.Read(bytes.data() + done, bytes.size() - done);
        if (n == 0) {
            break;
        }
        done += n;
    }
    problem = file.Problem();
    if (bytes.empty() || done != bytes.size()) {
        return false;
    }
    content = std::move(bytes);
    return true;
}

}  // namespace

bool ReadDepotFile(const std::string& path, SecretBytes& content, platform::FileProblem* problem) {
    content.Clear();
    platform::FileProblem found;
    platform::InputFile file(path);
    bool read = false;
    if (file.IsOpen()) {
        read = ReadOpenFile(file, content, found);
    } else {
        found = file.Problem();
    }
    if (problem != nullptr) {
        *problem = found;
    }
    return read;
}

platform::FileProblem ReplaceDepotFile(const std::string& path, const uint8_t* data, size_t size) {
    return platform::ReplaceFileAtomically(path, data, size);
}

}  // namespace zorvan::dal
