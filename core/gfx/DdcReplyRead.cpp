#include "core/gfx/DdcReplyRead.h"

#include <cstring>

#include "core/gfx/GfxLib.h"

namespace zorvan {

int32_t ReadDdcReply(DdcReplyTransport& transport, uint32_t address, uint8_t* buffer,
                     int32_t capacity, int32_t* length) {
    if (buffer == nullptr || length == nullptr) {
        return GFX_BAD_ARGUMENT;
    }
    uint8_t reply[kDdcReplyMaxLength] = {};
    int32_t r = transport.ReadHeader(reply);
    if (r != GFX_OK) {
        return r;
    }
    // Length byte 0x80 + n announces n payload bytes: with address, length and checksum
    // the reply is n + 3 bytes long.
    const int32_t total = static_cast<int32_t>(reply[1]) - 125;
    if (capacity < total) {
        return GFX_BAD_ARGUMENT;
    }
    if (reply[1] < 0x7E || reply[0] != static_cast<uint8_t>(address)) {
        return GFX_BAD_REPLY;
    }
    if (total > 2) {
        r = transport.ReadRest(reply + 2, total - 2);
        if (r != GFX_OK) {
            return r;
        }
    }
    *length = total > 2 ? total : 2;
    const int32_t stored = *length < capacity ? *length : capacity;
    std::memcpy(buffer, reply, static_cast<size_t>(stored));
    return GFX_OK;
}

}  // namespace zorvan
