#pragma once
// The DDC/CI test packet with which a backend finds out whether the chip answers behind a
// display output, and the checks on the chip's answer.
#include <array>
#include <cstdint>

namespace zorvan {

class GfxLib;

inline constexpr int32_t kProbePacketLength = 8;
// Reads a polling backend gives the chip to answer the probe.
inline constexpr int kProbeReadAttempts = 20;

// 51 85 C2 00 00 03 0A c, where c closes the DDC/CI checksum for `ddcAddress`.
std::array<uint8_t, kProbePacketLength> ProbePacket(uint32_t ddcAddress);

// Which properties of a probe reply a backend insists on.
struct ProbeChecks {
    bool exactLength;  // exactly 8 bytes
    bool ackCode;      // byte 6 is the acknowledgement code 0x0C
    bool checkByte;    // byte 7 is the reply checksum for `ddcAddress`
};
inline constexpr ProbeChecks kProbeChecksAll{true, true, true};

// True when a reply of `length` bytes (as I2cRead delivered it) passes the checks. A
// reply shorter than a checked byte fails that check.
bool ProbeReplyPasses(const uint8_t* reply, int32_t length, uint32_t ddcAddress,
                      const ProbeChecks& checks);

// The polling read of a probe reply: up to 20 reads through `gfx`.I2cRead, sleeping 10 ms
// after a busy result and 30 ms after a reply shorter than 8 bytes, reading again at once
// after any other failure, and stopping at a reply of 8 bytes or more. Returns the last
// read's result; *length is that of the last successful read (0 if none succeeded).
int32_t ReadProbeReply(GfxLib& gfx, uint32_t deviceId, uint32_t address, uint8_t* buffer,
                       int32_t capacity, int32_t* length);

}  // namespace zorvan
