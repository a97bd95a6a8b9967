#pragma once
// The virtual chip's ISP side driven from the link, the way a host drives it: DDC/CI
// packets for ISP mode, the download and the start, and native AUX requests of at most 16
// bytes on the mailbox. Every transaction costs its wire time on the test's virtual clock,
// so polls see the chip make progress.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/platform/Clock.h"
#include "sim/chip/ChipState.h"
#include "sim/chip/VirtualChip.h"
#include "sim/link/AuxChannel.h"
#include "tests/sim/ChipLink.h"

namespace zorvan::sim::testing {

inline constexpr uint32_t kCommand = 0x20000;
inline constexpr uint32_t kFirstFlag = 0x200FF;
inline constexpr uint32_t kSecondHalf = 0x20100;
inline constexpr uint32_t kSecondFlag = 0x201FF;
inline constexpr uint32_t kStatus = 0x10000;
inline constexpr uint16_t kRamAddress = 0x1800;

// The chip behind a wire that takes time.
class TimedSink final : public AuxSink {
  public:
    explicit TimedSink(AuxSink& chip) : wire_(&chip) {}
    AuxReply Transact(const AuxRequest& request) override { return wire_.Transact(request); }

  private:
    AuxChannel wire_;
};

class IspFixture : public ::testing::Test {
  protected:
    IspFixture() { Reload(NewChipState(ChipFamily::Kq1100, 1500)); }

    // A fresh chip resumed from `state`.
    void Reload(ChipState state) {
        chip_ = std::make_unique<VirtualChip>(std::move(state));
        sink_ = std::make_unique<TimedSink>(*chip_);
        link_ = std::make_unique<ChipLink>(*sink_);
    }

    void Wait(uint32_t ms) { clock_.SleepUs(uint64_t{ms} * 1000); }
    VirtualChip& Chip() { return *chip_; }
    const std::vector<uint8_t>& Flash() { return chip_->State().flash; }

    // Sends a packet as it stands and reads what the chip answers 10 ms later.
    Bytes Exchange(const Bytes& packet) {
        EXPECT_TRUE(link_->Send(packet));
        Wait(10);
        return link_->ReadMessage();
    }
    bool Acked(const Bytes& codeAndParams) { return Exchange(HostPacket(codeAndParams)) == kAck; }

    void EnterIsp() {
        ASSERT_EQ(Exchange({0x51, 0x85, 0xC2, 0x00, 0x00, 0x03, 0x09, 0x72}), kAck);
        ASSERT_EQ(Exchange({0x51, 0x86, 0xC2, 0x00, 0x00, 0x04, 0x20, 0x00, 0x5F}), kAck);
    }
    // The payload in packets of 117 bytes, each acknowledged.
    void Download(const Bytes& payload, uint16_t address = kRamAddress) {
        for (size_t at = 0; at < payload.size(); at += 117) {
            const size_t n = std::min<size_t>(117, payload.size() - at);
            const uint16_t a = static_cast<uint16_t>(address + at);
            Bytes command = {0x13, static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
            command.insert(command.end(), payload.begin() + static_cast<long>(at),
                           payload.begin() + static_cast<long>(at + n));
            ASSERT_TRUE(Acked(command)) << "packet at offset " << at;
        }
    }
    void Run(uint16_t address = kRamAddress) {
        ASSERT_TRUE(
            Acked({0x1D, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)}));
    }
    // ISP mode, the demo driver downloaded and started, its start-up waited for.
    void StartDriver();

    // Native AUX in requests of at most 16 bytes; false / nothing when one is refused.
    bool AuxWrite(uint32_t address, const Bytes& data) {
        for (size_t at = 0; at < data.size(); at += 16) {
            const size_t n = std::min<size_t>(16, data.size() - at);
            const Bytes piece(data.begin() + static_cast<long>(at),
                              data.begin() + static_cast<long>(at + n));
            if (link_->NativeWrite(address + static_cast<uint32_t>(at), piece).status !=
                AuxStatus::Ack) {
                return false;
            }
        }
        return true;
    }
    std::optional<Bytes> AuxRead(uint32_t address, uint32_t length) {
        Bytes out;
        for (uint32_t at = 0; at < length; at += 16) {
            const uint32_t n = std::min<uint32_t>(16, length - at);
            AuxReply r = link_->NativeRead(address + at, n);
            if (r.status != AuxStatus::Ack) {
                return std::nullopt;
            }
            out.insert(out.end(), r.data.begin(), r.data.end());
        }
        return out;
    }

    // A mailbox request: its body first, its length byte last.
    void Request(const Bytes& request) {
        ASSERT_TRUE(AuxWrite(kCommand + 1, Bytes(request.begin() + 1, request.end())));
        ASSERT_TRUE(AuxWrite(kCommand, {request[0]}));
    }
    // Polls the status byte (1 ms apart) until it is non-zero, then reads `length` bytes.
    Bytes AwaitStatus(uint32_t length = 3, uint32_t maxPolls = 10000);
    bool ClearStatus() { return AuxWrite(kStatus, {0x00}); }
    // Reads one byte until it is 0; false when it stays set over 100 back-to-back reads.
    bool AwaitFree(uint32_t flagAddress);

    // One block as a host programs it: program request, header and its flag, the first
    // floor(n/2) stream bytes into the second half, the rest into the first; the status
    // that ends it (3 bytes). `crc` overrides the CRC the stream carries.
    Bytes ProgramBlock(uint32_t offset, const Bytes& data, uint8_t code = 0x10,
                       std::optional<uint16_t> crc = std::nullopt);

    platform::VirtualClock clock_;
    platform::ScopedClock scoped_{clock_};
    std::unique_ptr<VirtualChip> chip_;
    std::unique_ptr<TimedSink> sink_;
    std::unique_ptr<ChipLink> link_;
};

}  // namespace zorvan::sim::testing
