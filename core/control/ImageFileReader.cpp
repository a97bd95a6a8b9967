#include "core/control/ImageFileReader.h"

#include <new>

namespace zorvan {
namespace {

// Short reads are retried this many times before the file counts as unreadable.
constexpr int kFurtherReads = 5;
// The largest limit whose rounded length still fits the signed 32-bit length members.
constexpr uint32_t kLargestLimit = 0x7FFFFFFFu - (kImageAllocationUnit - 1);

}  // namespace

ImageFileRead ReadImageFile(const std::wstring& path, uint32_t maxBytes,
                            std::vector<uint8_t>& image, uint32_t& fileLength) {
    image.clear();
    image.shrink_to_fit();
    fileLength = 0;
    ImageFileRead read;
    platform::InputFile file(path);
    if (!file.IsOpen()) {
        read.result = FileReadResult::kOpenFailed;
        read.problem = file.Problem();
        return read;
    }
    // The size decides before anything is allocated or read.
    if (file.Size() > maxBytes || file.Size() > kLargestLimit) {
        read.result = FileReadResult::kTooLarge;
        read.fileSize = file.Size();
        return read;
    }
    const auto size = static_cast<size_t>(file.Size());
    const size_t rounded =
        (size + kImageAllocationUnit - 1) / kImageAllocationUnit * kImageAllocationUnit;
    try {
        image.assign(rounded, 0);
    } catch (const std::bad_alloc&) {
        image.clear();
        read.result = FileReadResult::kAllocationFailed;
        return read;
    }

    size_t done = file.Read(image.data(), size);
    for (int retry = 0; done < size && retry < kFurtherReads; ++retry) {
        done += file.Read(image.data() + done, size - done);
    }
    if (done < size) {
        image.clear();
        image.shrink_to_fit();
        read.result = FileReadResult::kReadFailed;
        return read;
    }
    fileLength = static_cast<uint32_t>(size);
    return read;
}

}  // namespace zorvan
