#pragma once
// The virtual PC's port switch: an I2C device at DDC address 0x60 on the chip's link that
// connects the chip behind Port#1 or Port#2 when asked (vendor command 0x61 with the port
// number) and lets it go again (0x62). While a port is connected, I2C-over-AUX requests at
// that port chip's DDC address reach it; everything else, native AUX included, reaches the
// host chip. The switch answers only for a port that has a chip behind it. Without
// PortSwitch=1 it passes everything to the host chip.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sim/chip/DdcCiPort.h"
#include "sim/chip/VirtualChip.h"
#include "sim/link/AuxSink.h"
#include "sim/pc/PortSwitchSettings.h"
#include "sim/state/StateStore.h"

namespace zorvan::sim {

inline constexpr uint8_t kPortSwitchDdcAddress = 0x60;
inline constexpr uint8_t kSelectPortCode = 0x61;
inline constexpr uint8_t kReleasePortCode = 0x62;

// The chips behind the ports, loaded from their state files (a missing file gives a new
// chip with a blank flash), each file held and kept up to date as the host chip's is.
struct PortChips {
    bool enabled = false;
    std::array<uint8_t, 2> ddcAddresses{0x6E, 0x6E};
    std::array<std::wstring, 2> statePaths;
    std::array<std::unique_ptr<StateStore>, 2> stores;  // outlive the chips that tell them
    std::array<std::unique_ptr<VirtualChip>, 2> chips;
};

// Relative state files are taken from the folder of Config.ini.
void ResolvePortStatePaths(const std::wstring& configPath, PortSwitchSettings& settings);
// nullopt with `error` set when a state file cannot be used (damaged, in use...).
std::optional<PortChips> LoadPortChips(const PortSwitchSettings& settings, std::wstring& error);

// A DDC/CI device at another address than the chip's 0x6E: the packets it receives are
// sealed with its own address and its replies begin with it. This re-seals the traffic of
// a device model written for 0x6E.
class DdcAddressShift {
public:
    explicit DdcAddressShift(uint8_t ddcAddress) : ddcAddress_(ddcAddress) {}
    // The request as the device model at 0x6E takes it.
    AuxRequest Inbound(const AuxRequest& request) const;
    // Follows the device's outgoing message and re-seals the bytes a read delivers.
    void Outbound(const AuxRequest& request, AuxReply& reply);

private:
    uint8_t ddcAddress_;
    size_t position_ = 0;      // bytes of the current message delivered
    size_t length_ = 0;        // the current message's size; position_ >= length_: done
    bool readOpen_ = false;
};

class PortSwitch final : public AuxSink, private DdcCiHandler {
public:
    PortSwitch(AuxSink& host, PortChips ports);

    AuxReply Transact(const AuxRequest& request) override;

    // 0: no port connected.
    int32_t ConnectedPort() const { return connected_; }
    // The chip behind port 1 or 2; null when there is none.
    VirtualChip* PortChip(int32_t port);
    // Saves the port chips' state files; false with the first one's message.
    bool SaveState(std::wstring& error);

private:
    CommandOutcome Handle(const VendorCommand& command) override;

    AuxSink& host_;
    PortChips ports_;
    DdcCiPort control_;
    DdcAddressShift controlShift_{kPortSwitchDdcAddress};
    std::array<DdcAddressShift, 2> portShifts_;
    int32_t connected_ = 0;
};

}  // namespace zorvan::sim
