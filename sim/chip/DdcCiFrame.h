#pragma once
// DDC/CI framing as the chip sees it, with no I/O: it checks what the host wrote to the
// chip's address (0x6E) and frames what the chip answers from it.
//
// Host to chip:  51, 0x80|len, <len bytes>, checksum = 0x6E ^ every byte before it.
// A vendor command is len = L+4 bytes: C2 00 00 n (= L+2), then the vendor code and its
// parameters (L bytes together). The length byte and the checksum decide what the packet
// carries; a count byte n that announces more is passed on with what was carried.
// Chip to host:  6E, 0x80|len, <len bytes>, checksum = 0x50 ^ every byte before it.
// A vendor reply is C2 00 00, then the payload: n (= payload bytes + 1), the echoed
// code, the data. The acknowledgement is the payload 03 0C; the null message (nothing to
// say yet) is 6E 80 BE.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvan::sim {

inline constexpr uint8_t kDdcChipAddress = 0x6E;  // 8-bit write address
inline constexpr uint8_t kDdcChipI2cAddress = 0x37;  // the same, as the 7-bit AUX address
inline constexpr uint8_t kDdcHostAddress = 0x51;
inline constexpr uint8_t kDdcReplySeed = 0x50;
inline constexpr uint8_t kVendorOpcode = 0xC2;
inline constexpr uint8_t kAckCode = 0x0C;

// Most bytes a well-formed packet can have: address, length, 127 bytes, checksum.
inline constexpr size_t kDdcMaxPacket = 130;
// The largest count byte n: seven bits, as the length byte.
inline constexpr uint8_t kDdcMaxCount = 0x7F;
// Most data bytes a vendor reply can carry after n and the echoed code.
inline constexpr size_t kDdcMaxReplyData = 122;

enum class PacketError {
    None,
    TooShort,
    WrongSource,      // first byte is not the host's address 0x51
    WrongLength,      // the length byte does not match the bytes received
    WrongChecksum,
    NotVendor,        // a DDC/CI packet, but not a vendor command (opcode C2 00 00)
    WrongCount,       // the vendor count byte n announces fewer bytes than the packet
                      // carries, or more than any packet can (above 0x7F)
};

struct VendorCommand {
    uint8_t code = 0;
    // What the packet carries after the code.
    std::vector<uint8_t> params;
    // The parameter bytes the count byte n announces (n - 3): params.size(), or more when
    // n announces more than the packet carries. The firmware decides whether to take such
    // a command (VendorCommands).
    size_t announcedParams = 0;

    bool CountAnnouncesMore() const { return announcedParams > params.size(); }
};

// Checks a complete packet; `command` is filled only when the result is None.
PacketError ParseHostPacket(const uint8_t* bytes, size_t size, VendorCommand& command);

// A vendor reply carrying the echoed code and up to kDdcMaxReplyData data bytes.
std::vector<uint8_t> BuildVendorReply(uint8_t code, const std::vector<uint8_t>& data);
std::vector<uint8_t> BuildAck();
std::vector<uint8_t> NullMessage();

}  // namespace zorvan::sim
