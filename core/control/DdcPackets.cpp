#include "core/control/DdcPackets.h"

#include <algorithm>

namespace zorvan::ddc {
namespace {

inline constexpr uint8_t kAckBody[] = {kVendorOpcode, 0x00, 0x00, 0x03, 0x0C};

}  // namespace

uint8_t XorBytes(uint8_t seed, std::span<const uint8_t> bytes) {
    uint8_t x = seed;
    for (const uint8_t b : bytes) {
        x = static_cast<uint8_t>(x ^ b);
    }
    return x;
}

size_t BuildCommandPacket(uint8_t ddcAddress, std::span<const uint8_t> command,
                          std::span<uint8_t> out, size_t announcedBytes) {
    const size_t count = command.size();
    if (count == 0 || count > kMaxCommandBytes || announcedBytes > kMaxCommandBytes ||
        out.size() < count + kCommandOverhead) {
        return 0;
    }
    out[0] = kHostSource;
    out[1] = static_cast<uint8_t>(kLengthFlag | (count + 4));
    out[2] = kVendorOpcode;
    out[3] = 0x00;
    out[4] = 0x00;
    out[5] = static_cast<uint8_t>(std::max(count, announcedBytes) + 2);
    std::copy(command.begin(), command.end(), out.begin() + 6);
    const size_t length = count + kCommandOverhead;
    SealPacket(ddcAddress, out.first(length));
    return length;
}

void SealPacket(uint8_t ddcAddress, std::span<uint8_t> packet) {
    if (packet.empty()) {
        return;
    }
    packet.back() = XorBytes(ddcAddress, packet.first(packet.size() - 1));
}

bool HasVendorHeader(std::span<const uint8_t> reply) {
    return reply.size() >= kReplyPayloadOffset && reply[2] == kVendorOpcode && reply[3] == 0x00 &&
           reply[4] == 0x00;
}

uint8_t ExpectedReplyChecksum(uint8_t ddcAddress, std::span<const uint8_t> reply) {
    const size_t count = reply.size();
    uint8_t x = static_cast<uint8_t>(kReplySeed ^ ddcAddress ^ (kLengthFlag | (count - 3)));
    if (count > 3) {
        x = XorBytes(x, reply.subspan(2, count - 3));
    }
    return x;
}

bool IsAcknowledgement(std::span<const uint8_t> reply) {
    const size_t count = reply.size();
    if (count < 2 + sizeof kAckBody) {
        return false;
    }
    if (XorBytes(kReplySeed, reply.first(count - 1)) != reply[count - 1]) {
        return false;
    }
    return std::equal(std::begin(kAckBody), std::end(kAckBody), reply.begin() + 2);
}

}  // namespace zorvan::ddc
