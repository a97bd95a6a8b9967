// Verifying the Customized Data Block in flash against the loaded file.
#include <algorithm>
#include <vector>

#include "core/control/Cmdb.h"
#include "core/control/ZorvanControl.h"

namespace zorvan {

bool ZorvanControl::VerifyCmdb(bool throughCommandChannel) {
    if (cmdbImage.empty() || cmdbLength <= 0 ||
        static_cast<size_t>(cmdbLength) > cmdbImage.size()) {
        return false;
    }
    // The whole file was written from the block's start, so all of it is compared.
    std::vector<uint8_t> flash(static_cast<size_t>(cmdbLength));
    const bool read = throughCommandChannel ? ReadMemory(flashStartAddress + kCmdbFlashOffset,
                                                         flash.data(), cmdbLength)
                                            : ReadFlash(kCmdbFlashOffset, flash.data(), cmdbLength);
    return read && std::equal(flash.begin(), flash.end(), cmdbImage.begin());
}

}  // namespace zorvan
