#include "core/control/ImageFileReader.h"

#include <cstdio>
#include <new>

#include "core/platform/Files.h"

namespace zorvan {
namespace {

// Short reads are retried this many times before the file counts as unreadable.
constexpr int kFurtherReads = 5;

class FileCloser {
public:
    explicit FileCloser(std::FILE* file) : file_(file) {}
    ~FileCloser() { std::fclose(file_); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    std::FILE* file_;
};

// The file's length from its end position; -1 when it cannot be found.
long FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long length = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return length;
}

}  // namespace

FileReadResult ReadImageFile(const std::wstring& path, std::vector<uint8_t>& image,
                             uint32_t& fileLength) {
    image.clear();
    image.shrink_to_fit();
    fileLength = 0;
    // Only an existing regular file opens; a folder is no file to load.
    if (path.empty() || platform::IsDirectory(path)) {
        return FileReadResult::kOpenFailed;
    }
    std::FILE* file = std::fopen(platform::NativePath(path).c_str(), "rb");
    if (file == nullptr) {
        return FileReadResult::kOpenFailed;
    }
    const FileCloser closer(file);

    const long length = FileLength(file);
    if (length < 0 || static_cast<unsigned long>(length) > kMaxImageFileLength) {
        return FileReadResult::kReadFailed;
    }
    const auto size = static_cast<size_t>(length);
    const size_t rounded =
        (size + kImageAllocationUnit - 1) / kImageAllocationUnit * kImageAllocationUnit;
    try {
        image.assign(rounded, 0);
    } catch (const std::bad_alloc&) {
        image.clear();
        return FileReadResult::kAllocationFailed;
    }

    size_t done = size == 0 ? 0 : std::fread(image.data(), 1, size, file);
    for (int retry = 0; done < size && retry < kFurtherReads; ++retry) {
        std::clearerr(file);
        done += std::fread(image.data() + done, 1, size - done, file);
    }
    if (done < size) {
        image.clear();
        image.shrink_to_fit();
        return FileReadResult::kReadFailed;
    }
    fileLength = static_cast<uint32_t>(size);
    return FileReadResult::kOk;
}

}  // namespace zorvan
