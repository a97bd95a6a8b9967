#include "sim/chip/DdcCiFrame.h"

namespace zorvan::sim {
namespace {

uint8_t XorAll(uint8_t seed, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        seed = static_cast<uint8_t>(seed ^ bytes[i]);
    }
    return seed;
}

// 6E, 0x80|len, body, checksum.
std::vector<uint8_t> FrameReply(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    out.reserve(body.size() + 3);
    out.push_back(kDdcChipAddress);
    out.push_back(static_cast<uint8_t>(0x80 | (body.size() & 0x7F)));
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(XorAll(kDdcReplySeed, out.data(), out.size()));
    return out;
}

}  // namespace

PacketError ParseHostPacket(const uint8_t* bytes, size_t size, VendorCommand& command) {
    if (bytes == nullptr || size < 3) {
        return PacketError::TooShort;
    }
    if (bytes[0] != kDdcHostAddress) {
        return PacketError::WrongSource;
    }
    if ((bytes[1] & 0x80) == 0 || static_cast<size_t>(bytes[1] & 0x7F) != size - 3) {
        return PacketError::WrongLength;
    }
    if (XorAll(kDdcChipAddress, bytes, size - 1) != bytes[size - 1]) {
        return PacketError::WrongChecksum;
    }
    // C2 00 00 n code: at least five bytes after the length byte.
    if (size < 8 || bytes[2] != kVendorOpcode || bytes[3] != 0 || bytes[4] != 0) {
        return PacketError::NotVendor;
    }
    // n counts itself, the code, the parameters and the checksum.
    const size_t carried = size - 5;
    if (bytes[5] < carried || bytes[5] > kDdcMaxCount) {
        return PacketError::WrongCount;
    }
    command.code = bytes[6];
    command.params.assign(bytes + 7, bytes + size - 1);
    command.announcedParams = static_cast<size_t>(bytes[5]) - 3;
    return PacketError::None;
}

std::vector<uint8_t> BuildVendorReply(uint8_t code, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> body = {kVendorOpcode, 0x00, 0x00};
    const size_t count = data.size() < kDdcMaxReplyData ? data.size() : kDdcMaxReplyData;
    body.push_back(static_cast<uint8_t>(count + 3));
    body.push_back(code);
    body.insert(body.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
    return FrameReply(body);
}

std::vector<uint8_t> BuildAck() { return BuildVendorReply(kAckCode, {}); }

std::vector<uint8_t> NullMessage() { return FrameReply({}); }

}  // namespace zorvan::sim
