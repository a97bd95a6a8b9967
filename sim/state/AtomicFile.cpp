#include "sim/state/AtomicFile.h"

#include "core/platform/Files.h"

namespace zorvan::sim {

bool WriteFileAtomically(const std::wstring& path, const std::vector<uint8_t>& data) {
    return platform::ReplaceFileAtomically(platform::NativePath(path), data.data(), data.size())
               .error == platform::FileError::kNone;
}

}  // namespace zorvan::sim
