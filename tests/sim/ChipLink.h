#pragma once
// The virtual chip driven from the link side, as a GPU driver would: I2C-over-AUX
// requests of at most 16 bytes and native AUX requests, on a virtual clock of the test's
// own. The helpers send the bytes they are given; nothing here frames or checks packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "core/platform/Clock.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/VirtualChip.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kDdcI2c = 0x37;  // 0x6E on the AUX channel

class ChipLink {
  public:
    explicit ChipLink(AuxSink& sink) : sink_(sink) {}

    AuxReply I2cWrite(const Bytes& data, bool mot, uint32_t address = kDdcI2c) {
        AuxRequest r;
        r.command = AuxCommand::I2cWrite;
        r.mot = mot;
        r.address = address;
        r.data = data;
        return sink_.Transact(r);
    }
    AuxReply I2cRead(uint32_t length, bool mot, uint32_t address = kDdcI2c) {
        AuxRequest r;
        r.command = AuxCommand::I2cRead;
        r.mot = mot;
        r.address = address;
        r.length = length;
        return sink_.Transact(r);
    }
    AuxReply NativeRead(uint32_t address, uint32_t length) {
        AuxRequest r;
        r.command = AuxCommand::NativeRead;
        r.address = address;
        r.length = length;
        return sink_.Transact(r);
    }
    AuxReply NativeWrite(uint32_t address, const Bytes& data) {
        AuxRequest r;
        r.command = AuxCommand::NativeWrite;
        r.address = address;
        r.data = data;
        return sink_.Transact(r);
    }

    // One write transaction in 16-byte requests, MOT on all but the last. True when every
    // request was acknowledged.
    bool Send(const Bytes& packet) {
        for (size_t at = 0; at < packet.size(); at += 16) {
            const size_t n = packet.size() - at < 16 ? packet.size() - at : 16;
            const Bytes chunk(packet.begin() + static_cast<long>(at),
                              packet.begin() + static_cast<long>(at + n));
            if (I2cWrite(chunk, at + n < packet.size()).status != AuxStatus::Ack) {
                return false;
            }
        }
        return true;
    }

    // One read transaction as the backends make it: the 2 header bytes, then as many as the
    // length byte announces (0x80 + n: n + 1 more), in 16-byte requests. Empty when a
    // request is not acknowledged.
    Bytes ReadMessage() {
        AuxReply header = I2cRead(2, true);
        if (header.status != AuxStatus::Ack || header.data.size() != 2) {
            return {};
        }
        Bytes message = header.data;
        const uint32_t rest = message[1] >= 0x80 ? static_cast<uint32_t>(message[1] - 0x80) + 1 : 1;
        for (uint32_t at = 0; at < rest; at += 16) {
            const uint32_t n = rest - at < 16 ? rest - at : 16;
            AuxReply part = I2cRead(n, at + n < rest);
            if (part.status != AuxStatus::Ack) {
                return {};
            }
            message.insert(message.end(), part.data.begin(), part.data.end());
        }
        return message;
    }

  private:
    AuxSink& sink_;
};

// A DDC/CI packet to the chip: 51, 0x80|len, C2 00 00 n code params, checksum with 0x6E.
inline Bytes HostPacket(const Bytes& codeAndParams) {
    Bytes p(6 + codeAndParams.size());
    const uint8_t head[6] = {0x51, static_cast<uint8_t>(0x80 | (codeAndParams.size() + 4)), 0xC2,
                             0x00, 0x00, static_cast<uint8_t>(codeAndParams.size() + 2)};
    std::copy(std::begin(head), std::end(head), p.begin());
    std::copy(codeAndParams.begin(), codeAndParams.end(), p.begin() + 6);
    uint8_t x = 0x6E;
    for (uint8_t b : p) {
        x = static_cast<uint8_t>(x ^ b);
    }
    p.push_back(x);
    return p;
}

inline Bytes Be32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

inline const Bytes kNullMessage = {0x6E, 0x80, 0xBE};
inline const Bytes kAck = {0x6E, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x0C, 0x76};

// A chip with its own virtual clock, installed for the test.
class ChipFixture : public ::testing::Test {
  protected:
    explicit ChipFixture(ChipState state)
        : chip_(std::make_unique<VirtualChip>(std::move(state))), link_(*chip_) {}

    // Sends a packet and gives the chip time to answer.
    void Command(const Bytes& codeAndParams) {
        ASSERT_TRUE(link_.Send(HostPacket(codeAndParams)));
        Wait(40);
    }
    void Wait(uint32_t ms) { clock_.SleepUs(uint64_t{ms} * 1000); }
    VirtualChip& Chip() { return *chip_; }

    platform::VirtualClock clock_;
    platform::ScopedClock scoped_{clock_};
    std::unique_ptr<VirtualChip> chip_;
    ChipLink link_;
};

}  // namespace zorvan::sim::testing
