// Secure ISP: the chip's security firmware (ESM) is started, downloaded first when it does
// not run, and the ISP driver is handed over with its signature, which the chip verifies
// before it starts the driver.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/control/DdcPackets.h"
#include "core/control/ImageFiles.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

// A 256-byte group is 115, 115 and 26 bytes.
constexpr uint32_t kGroupBytes = 256;
constexpr uint32_t kGroupTailBytes = kGroupBytes - 2 * kMemoryWriteBytes;
constexpr int kAckAttempts = 3;

constexpr uint8_t kEsmStatusCode = 0x77;
constexpr uint32_t kEsmRunning = 0x40;

// SecureCommand76: its reply, polled like an acknowledgement but for longer.
constexpr uint32_t kReplySettleMs = 40;
constexpr int kCommand76Reads = 100;
constexpr uint16_t kBusyMs = 10;
constexpr uint32_t kShortReplyMs = 30;
constexpr int32_t kLongReply = 6;
constexpr size_t kEchoOffset = 6;
constexpr uint8_t kSecureCommand76Code = 0x76;

uint32_t Big32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | static_cast<uint32_t>(in[3]);
}

// Code and address in front of the data of a memory-write packet.
constexpr uint32_t kMemoryWriteHeader = 5;

// Writes count bytes (at most 115, none for the empty packet) at a chip address in one
// memory-write packet. announcedCount: the data bytes its count byte announces when that
// is more than count (0: count itself).
bool WriteChipMemory(ZorvanControl& control, uint32_t address, const uint8_t* data,
                     uint32_t count, int attempts, uint32_t announcedCount = 0) {
    uint8_t command[kMemoryWriteHeader + kMemoryWriteBytes] = {
        kMemoryWriteCode, static_cast<uint8_t>(address >> 24),
        static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(address)};
    std::copy_n(data, count, command + kMemoryWriteHeader);
    const size_t announced = announcedCount > count ? kMemoryWriteHeader + announcedCount : 0;
    return control.SendAwaitingFastAck(std::span(command, kMemoryWriteHeader + count), attempts,
                                       announced);
}

}  // namespace

bool ZorvanControl::ClearEsmHandle() {
    return SendFixedPacket(kClearEsmHandlePacket) && WaitAck();
}

bool ZorvanControl::StartSecureIsp() {
    return SendFixedPacket(kStartSecureIspPacket) && WaitAck();
}

bool ZorvanControl::CheckEsmStatus(uint32_t& esmStatus) {
    esmStatus = 0;
    if (!SendFixedPacket(kEsmStatusPacket)) {
        return false;
    }
    uint8_t payload[8] = {};
    size_t payloadLength = 0;
    if (!ReceiveReply(payload, &payloadLength) || payloadLength < 6 ||
        payload[1] != kEsmStatusCode) {
        return false;
    }
    esmStatus = Big32(payload + 2);
    return (esmStatus & kEsmRunning) != 0;
}

bool ZorvanControl::BootStartSecProc() {
    return SendFixedPacket(kBootStartSecProcPacket) && WaitAck();
}

bool ZorvanControl::DownloadEsm() {
    // The loader has checked the header; a buffer that does not hold what it announces, or
    // too little for the first group, is not sent at all.
    if (gfx == nullptr || esmImage.size() < kLengthHeaderSize) {
        return false;
    }
    const uint32_t announced = LengthHeader(esmImage);
    if (announced <= kGroupBytes || announced > esmImage.size() - kLengthHeaderSize ||
        announced > static_cast<uint32_t>(INT32_MAX)) {
        return false;
    }
    esmLength = static_cast<int32_t>(announced);
    esmPayload = esmImage.data() + kLengthHeaderSize;
    const auto send = [this](uint32_t p, uint32_t count, int attempts,
                             uint32_t announcedCount = 0) {
        return WriteChipMemory(*this, kEsmAddress + p, esmPayload + p, count, attempts,
                               announcedCount);
    };
    const auto report = [this](uint32_t done) {
        if (delegate != nullptr) {
            delegate->UpdateProgress(static_cast<int32_t>(done), esmLength);
        }
    };

    uint32_t p = 0;
    do {
        if (!send(p, kMemoryWriteBytes, kAckAttempts) ||
            !send(p + kMemoryWriteBytes, kMemoryWriteBytes, kAckAttempts) ||
            !send(p + 2 * kMemoryWriteBytes, kGroupTailBytes, kAckAttempts)) {
            return false;
        }
        p += kGroupBytes;
        report(p);
    } while (announced - p > kGroupBytes);

    // The rest (1 to 256 bytes), each packet with one wait. Longer than 115 bytes: packets
    // of at most 115 with exact count bytes. At most 115: the form known to reach real
    // chips, one packet whose count byte announces 115 data bytes although only the rest
    // follows, then a memory write without data at the ESM's end.
    const uint32_t rest = announced - p;
    if (rest <= kMemoryWriteBytes) {
        if (!send(p, rest, 1, kMemoryWriteBytes) || !send(announced, 0, 1)) {
            return false;
        }
    } else {
        for (; p < announced; p += kMemoryWriteBytes) {
            if (!send(p, std::min(kMemoryWriteBytes, announced - p), 1)) {
                return false;
            }
        }
    }
    report(announced);
    return true;
}

bool ZorvanControl::StartSecProc() {
    const auto length = static_cast<uint32_t>(esmLength);
    const uint8_t bytes[] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    return SendFixedPacket(kStartSecProcPacket, bytes) && WaitAck();
}

bool ZorvanControl::SecureCommand76() {
    if (!SendFixedPacket(kSecureCommand76Packet)) {
        return false;
    }
    std::memset(rxBuffer, 0, static_cast<size_t>(ReplyCapacity()));
    platform::SleepMs(kReplySettleMs);
    int32_t count = 0;
    for (int read = 0; read < kCommand76Reads; ++read) {
        const int32_t r = ReadReplyOnce(count);
        if (r == GFX_BUSY) {
            platform::DelayMs(kBusyMs);
        } else if (r == GFX_OK && count < kLongReply) {
            platform::SleepMs(kShortReplyMs);
        } else if (r == GFX_OK) {
            break;
        }
    }
    // Only a reply long enough to hold the echo counts; a shorter one leaves old bytes there.
    return count > static_cast<int32_t>(kEchoOffset) && rxBuffer[kEchoOffset] == kSecureCommand76Code;
}

bool ZorvanControl::SendDriverSignature() {
    // The signature follows the driver code the download sent; a file without one, or a
    // download that never ran, has nothing to send.
    if (gfx == nullptr || driverImage.empty() || driverPayload == nullptr || driverLength < 0) {
        return false;
    }
    const uint8_t* const end = driverImage.data() + driverImage.size();
    if (driverPayload < driverImage.data() || driverPayload > end ||
        static_cast<size_t>(end - driverPayload) <
            static_cast<size_t>(driverLength) + kDriverSignatureSize) {
        return false;
    }
    driverPayload += driverLength;
    for (uint32_t offset = 0; offset < kDriverSignatureSize; offset += kMemoryWriteBytes) {
        const uint32_t count = std::min(kMemoryWriteBytes, kDriverSignatureSize - offset);
        if (!WriteChipMemory(*this, kDriverSignatureAddress + offset, driverPayload + offset, count,
                             kAckAttempts)) {
            return false;
        }
    }
    return true;
}

bool ZorvanControl::StartSignedDriver() {
    const uint8_t address[] = {static_cast<uint8_t>(ramWriteAddress >> 8),
                               static_cast<uint8_t>(ramWriteAddress)};
    return SendFixedPacket(kStartSignedDriverPacket, address) && WaitAck();
}

}  // namespace zorvan
