#include "core/control/StoredPackets.h"

#include <algorithm>

#include "core/control/DdcPackets.h"

namespace zorvan {
namespace {

// Closes a request whose last byte is the XOR of the bytes before it.
void SealRequest(MailboxRequest& request) {
    const size_t last = request.size() - 1;
    request.bytes[last] = ddc::XorBytes(0, std::span(request.bytes).first(last));
}

}  // namespace

bool PreparePacket(const FixedPacket& packet, std::span<const uint8_t> variableBytes,
                   uint8_t ddcAddress, std::array<uint8_t, 12>& out) {
    if (variableBytes.size() != packet.variableCount || packet.count > packet.bytes.size() ||
        packet.variableOffset + packet.variableCount >= packet.count) {
        return false;
    }
    out = packet.bytes;
    std::copy(variableBytes.begin(), variableBytes.end(), out.begin() + packet.variableOffset);
    ddc::SealPacket(ddcAddress, std::span(out).first(packet.count));
    return true;
}

MailboxRequest ReadFlashRequest(uint32_t flashOffset, uint8_t count) {
    MailboxRequest request = {{0x07, 0x1B, static_cast<uint8_t>(flashOffset >> 16),
                               static_cast<uint8_t>(flashOffset >> 8),
                               static_cast<uint8_t>(flashOffset), count, 0x00}};
    SealRequest(request);
    return request;
}

MailboxRequest EraseRequest(uint16_t eraseCode) {
    MailboxRequest request = {
        {0x05, 0x19, static_cast<uint8_t>(eraseCode >> 8), static_cast<uint8_t>(eraseCode), 0x00}};
    SealRequest(request);
    return request;
}

std::array<uint8_t, 8> BlockHeader(uint32_t flashAddress, uint32_t length) {
    return {0x00,
            static_cast<uint8_t>(flashAddress >> 16),
            static_cast<uint8_t>(flashAddress >> 8),
            static_cast<uint8_t>(flashAddress),
            static_cast<uint8_t>(length >> 24),
            static_cast<uint8_t>(length >> 16),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length)};
}

}  // namespace zorvan
