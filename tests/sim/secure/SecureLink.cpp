#include "tests/sim/secure/SecureLink.h"

#include <algorithm>

#include "sim/demo/DemoEsm.h"

namespace zorvan::sim::testing {

Bytes MemoryWrite(uint32_t address, const Bytes& data) {
    Bytes command = {0x53};
    const Bytes a = Be32(address);
    command.insert(command.end(), a.begin(), a.end());
    command.insert(command.end(), data.begin(), data.end());
    return command;
}

Bytes WithCountByte(Bytes packet, uint8_t n) {
    if (packet.size() < 8) {
        ADD_FAILURE() << "not a vendor command packet";
        return packet;
    }
    packet.back() = static_cast<uint8_t>(packet.back() ^ packet[5] ^ n);
    packet[5] = n;
    return packet;
}

Bytes StartEsmCommand(uint32_t length) {
    Bytes command = {0x72};
    const Bytes l = Be32(length);
    command.insert(command.end(), l.begin(), l.end());
    return command;
}

Bytes PayloadOf(const Bytes& driverFile) {
    const uint32_t length = driverFile[0] | (driverFile[1] << 8) | (driverFile[2] << 16) |
                            (static_cast<uint32_t>(driverFile[3]) << 24);
    return Bytes(driverFile.begin() + 4, driverFile.begin() + 4 + length);
}

Bytes SignatureOf(const Bytes& driverFile) {
    const size_t end = 4 + PayloadOf(driverFile).size();
    return Bytes(driverFile.begin() + static_cast<long>(end),
                 driverFile.begin() + static_cast<long>(end + 256));
}

Bytes SecureFixture::AwaitAnswer(const Bytes& packet) {
    EXPECT_TRUE(link_->Send(packet));
    Wait(40);
    Bytes message;
    for (int read = 0; read < 20; ++read) {
        message = link_->ReadMessage();
        if (message != kNullMessage) {
            break;
        }
        Wait(30);
    }
    return message;
}

std::optional<uint32_t> SecureFixture::EsmStatus() {
    const Bytes reply = Exchange(kStatusPacket);
    // 6E 89 C2 00 00 07 77 S3 S2 S1 S0 checksum
    if (reply.size() != 12 || reply[5] != 0x07 || reply[6] != 0x77) {
        return std::nullopt;
    }
    uint8_t x = 0x50;
    for (size_t i = 0; i + 1 < reply.size(); ++i) {
        x = static_cast<uint8_t>(x ^ reply[i]);
    }
    if (x != reply.back()) {
        return std::nullopt;
    }
    return (static_cast<uint32_t>(reply[7]) << 24) | (reply[8] << 16) | (reply[9] << 8) | reply[10];
}

void SecureFixture::WriteEsm(const Bytes& payload, const std::set<size_t>& skipPacket,
                             ShortRest shortRest) {
    size_t index = 0;
    const auto send = [&](size_t at, size_t n, std::optional<uint8_t> countByte = {}) {
        if (skipPacket.count(index++) == 0) {
            const Bytes data(payload.begin() + static_cast<long>(at),
                             payload.begin() + static_cast<long>(at + n));
            Bytes packet = HostPacket(MemoryWrite(kEsmAddress + static_cast<uint32_t>(at), data));
            if (countByte) {
                packet = WithCountByte(packet, *countByte);
            }
            ASSERT_EQ(Exchange(packet), kAck) << "ESM packet at offset " << at;
        }
    };
    size_t p = 0;
    do {
        send(p, 115);
        send(p + 115, 115);
        send(p + 230, 26);
        p += 256;
    } while (payload.size() - p > 256);
    if (payload.size() - p <= 115 && shortRest == ShortRest::kRecorded) {
        send(p, payload.size() - p, 0x7A);
        send(payload.size(), 0);
        return;
    }
    while (p < payload.size()) {
        const size_t n = std::min<size_t>(115, payload.size() - p);
        send(p, n);
        p += n;
    }
}

void SecureFixture::StartEsm(const Bytes& payload) {
    WriteEsm(payload);
    ASSERT_EQ(AwaitAnswer(HostPacket(StartEsmCommand(static_cast<uint32_t>(payload.size())))),
              kAck);
}

void SecureFixture::SecureDownload(const Bytes& payload, uint16_t address) {
    for (size_t at = 0; at < payload.size(); at += 117) {
        const size_t n = std::min<size_t>(117, payload.size() - at);
        const uint16_t a = static_cast<uint16_t>(address + at);
        Bytes command = {0x73, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
        command.insert(command.end(), payload.begin() + static_cast<long>(at),
                       payload.begin() + static_cast<long>(at + n));
        ASSERT_TRUE(Acked(command)) << "secure download packet at offset " << at;
    }
}

void SecureFixture::WriteSignature(const Bytes& signature, int packets) {
    struct Piece {
        size_t at;
        size_t n;
    };
    const Piece pieces[] = {{0, 115}, {115, 115}, {230, 26}};
    for (int i = 0; i < packets && i < 3; ++i) {
        const Piece& piece = pieces[i];
        const Bytes data(signature.begin() + static_cast<long>(piece.at),
                         signature.begin() + static_cast<long>(piece.at + piece.n));
        ASSERT_TRUE(Acked(MemoryWrite(kSignatureAddress + static_cast<uint32_t>(piece.at), data)))
            << "signature packet " << i;
    }
}

bool SecureFixture::SecureStart(const Bytes& driverFile) {
    EnterIsp();
    EXPECT_EQ(Exchange(kReleaseHandlePacket), kAck);
    EXPECT_EQ(Exchange(kAnnouncePacket), kAck);
    const std::optional<uint32_t> status = EsmStatus();
    EXPECT_TRUE(status.has_value());
    if (status && (*status & kEsmStatusRunning) != 0) {
        EXPECT_EQ(AwaitAnswer(kRestartPacket), kAck);
    } else {
        StartEsm(MakeDemoEsmPayload());
    }
    const Bytes reply76 = Exchange(kCommand76Packet);
    EXPECT_TRUE(reply76.size() > 6 && reply76[6] == 0x76);
    Wait(150);
    SecureDownload(PayloadOf(driverFile));
    WriteSignature(SignatureOf(driverFile));
    const bool acked = AwaitAnswer(kStartSignedPacket) == kAck;
    Wait(100);
    return acked;
}

}  // namespace zorvan::sim::testing
