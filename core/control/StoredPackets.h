#pragma once
// The stored DDC/CI packets and ISP-driver mailbox requests. The table is constant: an
// operation copies an entry, fills in its variable bytes and its checksum or XOR byte, and
// sends the copy, so nothing is shared between two sends.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zorvan {

// A complete DDC/CI packet whose last byte is the checksum slot (for address 0x6E as stored;
// recomputed for the configured address before sending).
struct FixedPacket {
    uint8_t count;  // packet bytes, checksum included
    std::array<uint8_t, 12> bytes;
    uint8_t variableOffset;  // first byte the sender fills in
    uint8_t variableCount;   // bytes the sender fills in (0: sent as stored)
};

// Enter ISP mode, first and second step.
inline constexpr FixedPacket kEnterIspPacket = {
    8, {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72}, 0, 0};
inline constexpr FixedPacket kIspModePacket = {
    9, {0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x20, 0x00, 0x5F}, 0, 0};
// Start the ISP driver at runAtAddress (high, low).
inline constexpr FixedPacket kRunDriverPacket = {
    10, {0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x1D, 0x18, 0x00, 0x7A}, 7, 2};
// Verify and start the signed driver at ramWriteAddress (high, low).
inline constexpr FixedPacket kStartSignedDriverPacket = {
    10, {0x51, 0x87, 0xC2, 0x00, 0x00, 0x05, 0x75, 0x18, 0x00, 0x12}, 7, 2};
inline constexpr FixedPacket kClearEsmHandlePacket = {
    12, {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x07, 0x09, 0xC0, 0x00, 0x00, 0xBD}, 0, 0};
inline constexpr FixedPacket kStartSecureIspPacket = {
    8, {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x71, 0x0A}, 0, 0};
inline constexpr FixedPacket kEsmStatusPacket = {
    8, {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x77, 0x0C}, 0, 0};
inline constexpr FixedPacket kBootStartSecProcPacket = {
    12, {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x78, 0x00, 0x02, 0x00, 0xD0, 0xD9}, 0, 0};
// Start the secure process with the ESM payload length (most significant byte first).
inline constexpr FixedPacket kStartSecProcPacket = {
    12, {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07, 0x72, 0x00, 0x02, 0x00, 0xD0, 0xD3}, 7, 4};
inline constexpr FixedPacket kSecureCommand76Packet = {
    8, {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x76, 0x0D}, 0, 0};

// The copy that goes out: variable bytes filled in, checksum recomputed for ddcAddress.
// False (out untouched) when the number of variable bytes is not the packet's.
bool PreparePacket(const FixedPacket& packet, std::span<const uint8_t> variableBytes,
                   uint8_t ddcAddress, std::array<uint8_t, 12>& out);

// The acknowledgement reply after its address and length bytes.
inline constexpr std::array<uint8_t, 6> kAcknowledgement = {0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};

// Vendor codes of the packets built per block.
inline constexpr uint8_t kRamWriteCode = 0x13;
inline constexpr uint8_t kSecureRamWriteCode = 0x73;
inline constexpr uint8_t kMemoryWriteCode = 0x53;
// A memory write carries at most 115 data bytes; the chip addresses of the ESM payload and
// of the driver signature.
inline constexpr uint32_t kMemoryWriteBytes = 115;
inline constexpr uint32_t kEsmAddress = 0x320000;
inline constexpr uint32_t kDriverSignatureAddress = 0x31D2BC;
inline constexpr uint8_t kReadMemoryCode = 0x52;
inline constexpr uint8_t kReadRegisterCode = 0x50;
inline constexpr uint8_t kChipTypeCode = 0x06;

// Signatures at the start of the certificate block and the Customized Data Block.
inline constexpr std::array<uint8_t, 4> kCertificateSignature = {'K', 'q', '1', '1'};
inline constexpr std::array<uint8_t, 4> kCmdbSignature = {'C', 'M', 'D', 'B'};

// --- ISP driver mailbox ---
// A request: its first byte is its length, counting itself; where the last byte is computed
// it is the XOR of every byte before it.
struct MailboxRequest {
    std::array<uint8_t, 9> bytes;

    size_t size() const { return bytes[0]; }
    std::span<const uint8_t> view() const { return std::span(bytes).first(size()); }
};

inline constexpr MailboxRequest kProgramRequest10 = {{0x03, 0x10, 0x13}};
inline constexpr MailboxRequest kProgramRequest76 = {{0x03, 0x76, 0x75}};
inline constexpr MailboxRequest kProgramRequest77 = {{0x03, 0x77, 0x74}};
inline constexpr MailboxRequest kProgramRequest78 = {{0x03, 0x78, 0x7B}};
inline constexpr MailboxRequest kFlashIdRequest = {
    {0x09, 0x1C, 0xFF, 0x00, 0x00, 0x20, 0x00, 0x00, 0x44}};
inline constexpr MailboxRequest kSystemResetRequest = {{0x04, 0x20, 0x01, 0x25}};
// What the status area holds once a request has been carried out.
inline constexpr std::array<uint8_t, 3> kCompletionResponse = {0x03, 0x0C, 0xF1};

// The largest count of one read flash request.
inline constexpr uint8_t kMaxFlashReadCount = 57;

// Read flash: 07 1B, 24-bit offset (most significant first), count, XOR byte.
MailboxRequest ReadFlashRequest(uint32_t flashOffset, uint8_t count);
// Erase: 05 19, 16-bit erase code (high, low), XOR byte.
MailboxRequest EraseRequest(uint16_t eraseCode);
// Block header before a programmed block: 00, 24-bit flash address, 32-bit length, most
// significant first.
std::array<uint8_t, 8> BlockHeader(uint32_t flashAddress, uint32_t length);

}  // namespace zorvan
