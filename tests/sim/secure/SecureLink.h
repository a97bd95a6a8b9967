#pragma once
// The chip's secure ISP side driven from the link with the packets a host sends: the ESM
// commands, memory writes into the ESM and signature areas, the secure download and the
// signed driver's start.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>

#include "sim/chip/secure/SecureEngine.h"
#include "tests/sim/isp/IspLink.h"

namespace zorvan::sim::testing {

// The stored packets of the secure commands, exactly as a host sends them for 0x6E.
inline const Bytes kReleaseHandlePacket = {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07,
                                           0x07, 0x09, 0xC0, 0x00, 0x00, 0xBD};
inline const Bytes kAnnouncePacket = {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x71, 0x0A};
inline const Bytes kStatusPacket = {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x77, 0x0C};
inline const Bytes kRestartPacket = {0x51, 0x89, 0xC2, 0x00, 0x00, 0x07,
                                     0x78, 0x00, 0x02, 0x00, 0xD0, 0xD9};
inline const Bytes kCommand76Packet = {0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x76, 0x0D};
inline const Bytes kStartSignedPacket = {0x51, 0x87, 0xC2, 0x00, 0x00,
                                         0x05, 0x75, 0x18, 0x00, 0x12};

inline constexpr uint32_t kEsmAddress = 0x320000;
inline constexpr uint32_t kSignatureAddress = 0x31D2BC;

// Code and parameters of a memory write (0x53) of `data` at `address`.
Bytes MemoryWrite(uint32_t address, const Bytes& data);
// A host packet with its count byte replaced by `n` and its checksum sealed again.
Bytes WithCountByte(Bytes packet, uint8_t n);
// 0x72 with the ESM length.
Bytes StartEsmCommand(uint32_t length);
// The signature bytes of a driver file (the 256 after the payload its header announces).
Bytes SignatureOf(const Bytes& driverFile);
// The payload of a driver file.
Bytes PayloadOf(const Bytes& driverFile);

class SecureFixture : public IspFixture {
  protected:
    // Sends a packet and reads the answer as WaitAck does: 40 ms later, then again while
    // the chip has only the null message, 30 ms apart, 20 reads in all.
    Bytes AwaitAnswer(const Bytes& packet);

    // The status word of a 0x77 reply; nothing when the reply is not n 77 S3..S0.
    std::optional<uint32_t> EsmStatus();

    // How the rest after the groups goes out when it is at most 115 bytes: one packet with
    // count byte 0x7A and an empty packet at the ESM's end, or one packet with its exact
    // count byte.
    enum class ShortRest { kRecorded, kExact };

    // The ESM payload as a host sends it: groups of 115, 115 and 26 bytes while more than
    // 256 remain, then the rest in packets of at most 115 (a short rest as `shortRest`
    // says); every packet acknowledged. `skipPacket`: indexes of packets not sent.
    void WriteEsm(const Bytes& payload, const std::set<size_t>& skipPacket = {},
                  ShortRest shortRest = ShortRest::kRecorded);
    // WriteEsm and 0x72 with its length, acknowledged.
    void StartEsm(const Bytes& payload);
    // The driver in 0x73 packets of 117 bytes, each acknowledged.
    void SecureDownload(const Bytes& payload, uint16_t address = kRamAddress);
    // The signature in the three packets 115 to 0x31D2BC, 115 to 0x31D32F, 26 to 0x31D3A2,
    // the first `packets` of them.
    void WriteSignature(const Bytes& signature, int packets = 3);

    // The whole secure sequence on this chip as a host runs it with `driverFile`, up to and
    // including 0x75; true when 0x75 was acknowledged (the driver then has 100 ms to start).
    bool SecureStart(const Bytes& driverFile);

    bool MailboxUp() { return AuxRead(0x40C, 3) == Bytes{0x00, 0x02, 0x01}; }
    bool SignedDriverRuns() {
        const IspDriver* driver = Chip().Isp().Driver();
        return MailboxUp() && driver != nullptr && driver->Options().signedDriver;
    }
};

}  // namespace zorvan::sim::testing
