#include "sim/chip/isp/MailboxRequest.h"

#include <algorithm>
#include <iterator>

namespace zorvan::sim {
namespace {

constexpr uint8_t kFlashIdRequest[] = {0x09, 0x1C, 0xFF, 0x00, 0x00, 0x20, 0x00, 0x00, 0x44};

bool XorHolds(const uint8_t* bytes, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        x = static_cast<uint8_t>(x ^ bytes[i]);
    }
    return x == bytes[n - 1];
}

}  // namespace

MailboxRequest ParseRequest(const uint8_t* bytes, size_t size) {
    MailboxRequest r;
    if (size < 2 || bytes[0] < 2 || bytes[0] > size) {
        return r;
    }
    const size_t n = bytes[0];
    const uint8_t code = bytes[1];
    if (code == 0x1C) {
        if (n == sizeof kFlashIdRequest &&
            std::equal(bytes, bytes + n, std::begin(kFlashIdRequest))) {
            r.kind = RequestKind::FlashId;
        }
        return r;
    }
    if (!XorHolds(bytes, n)) {
        return r;
    }
    switch (code) {
        case 0x10:
        case 0x76:
        case 0x77:
        case 0x78:
            if (n == 3) {
                r.kind = RequestKind::Program;
                r.programCode = code;
            }
            break;
        case 0x19:
            if (n == 5) {
                r.kind = RequestKind::Erase;
                r.eraseCode = static_cast<uint16_t>((bytes[2] << 8) | bytes[3]);
            }
            break;
        case 0x1B:
            if (n == 7) {
                r.kind = RequestKind::ReadFlash;
                r.address = (static_cast<uint32_t>(bytes[2]) << 16) |
                            (static_cast<uint32_t>(bytes[3]) << 8) | bytes[4];
                r.count = bytes[5];
            }
            break;
        case 0x20:
            if (n == 4 && bytes[2] == 0x01) {
                r.kind = RequestKind::SystemReset;
            }
            break;
        default:
            break;
    }
    return r;
}

}  // namespace zorvan::sim
