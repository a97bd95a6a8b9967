#include "sim/pc/PortSwitch.h"

#include <limits>
#include <utility>

#include "sim/SimulatorSession.h"
#include "sim/chip/DdcCiFrame.h"
#include "sim/chip/VendorCommands.h"

namespace zorvan::sim {
namespace {

constexpr uint32_t kFirstPortSerial = 1501;

uint32_t I2cAddress(uint8_t ddcAddress) {
    return ddcAddress >> 1;
}

// A device model written for 0x6E, reached at its own address.
template <class Device>
AuxReply Through(Device& device, DdcAddressShift& shift, const AuxRequest& request) {
    AuxReply reply = device.Transact(shift.Inbound(request));
    shift.Outbound(request, reply);
    return reply;
}

}  // namespace

void ResolvePortStatePaths(const std::wstring& configPath, PortSwitchSettings& settings) {
    for (std::wstring& file : settings.stateFiles) {
        if (!file.empty()) {
            file = ResolveStatePath(configPath, file);
        }
    }
}

std::optional<PortChips> LoadPortChips(const PortSwitchSettings& settings, std::wstring& error) {
    PortChips ports;
    ports.enabled = settings.enabled;
    ports.ddcAddresses = settings.ddcAddresses;
    if (!settings.enabled) {
        return ports;
    }
    for (size_t i = 0; i < 2; ++i) {
        const std::wstring& path = settings.stateFiles[i];
        if (path.empty()) {
            continue;
        }
        ChipState state;
        std::unique_ptr<StateStore> store = StateStore::OpenForRun(
            path, NewChipState(ChipFamily::Kq1100, kFirstPortSerial + static_cast<uint32_t>(i)),
            state, error);
        if (store == nullptr) {
            return std::nullopt;
        }
        ports.statePaths[i] = path;
        ports.chips[i] = std::make_unique<VirtualChip>(std::move(state));
        ports.chips[i]->SetStateChanges(store.get());
        ports.stores[i] = std::move(store);
    }
    return ports;
}

AuxRequest DdcAddressShift::Inbound(const AuxRequest& request) const {
    AuxRequest shifted = request;
    shifted.address = kDdcChipI2cAddress;
    // The checksum, the packet's last byte, is seeded with the device's address.
    if (request.command == AuxCommand::I2cWrite && !request.mot && !shifted.data.empty()) {
        shifted.data.back() =
            static_cast<uint8_t>(shifted.data.back() ^ ddcAddress_ ^ kDdcChipAddress);
    }
    return shifted;
}

void DdcAddressShift::Outbound(const AuxRequest& request, AuxReply& reply) {
    if (reply.status != AuxStatus::Ack) {
        return;  // nothing was taken or delivered
    }
    if (request.command == AuxCommand::I2cWrite) {
        readOpen_ = false;
        position_ = length_ = 0;  // a new packet discards the unread answer
        return;
    }
    if (!readOpen_ && position_ >= length_) {
        position_ = 0;  // a read transaction begins the next message
        length_ = std::numeric_limits<size_t>::max();
    }
    const uint8_t delta = static_cast<uint8_t>(ddcAddress_ ^ kDdcChipAddress);
    for (uint8_t& b : reply.data) {
        if (position_ >= length_) {
            break;  // the bus fill after the message's end
        }
        if (position_ == 0) {
            b = static_cast<uint8_t>(b ^ delta);
        } else if (position_ == 1) {
            length_ = 3 + static_cast<size_t>(b & 0x7F);  // address, length, body, checksum
        } else if (position_ + 1 == length_) {
            b = static_cast<uint8_t>(b ^ delta);
        }
        ++position_;
    }
    readOpen_ = request.mot;
}

PortSwitch::PortSwitch(AuxSink& host, PortChips ports)
    : host_(host),
      ports_(std::move(ports)),
      control_(*this),
      portShifts_{DdcAddressShift(ports_.ddcAddresses[0]),
                  DdcAddressShift(ports_.ddcAddresses[1])} {}

VirtualChip* PortSwitch::PortChip(int32_t port) {
    if (port < 1 || port > 2) {
        return nullptr;
    }
    return ports_.chips[static_cast<size_t>(port - 1)].get();
}

AuxReply PortSwitch::Transact(const AuxRequest& request) {
    const bool i2c =
        request.command == AuxCommand::I2cWrite || request.command == AuxCommand::I2cRead;
    if (!ports_.enabled || !i2c) {
        return host_.Transact(request);
    }
    if (request.address == I2cAddress(kPortSwitchDdcAddress)) {
        return Through(control_, controlShift_, request);
    }
    if (connected_ != 0) {
        const size_t port = static_cast<size_t>(connected_ - 1);
        if (request.address == I2cAddress(ports_.ddcAddresses[port])) {
            return Through(*ports_.chips[port], portShifts_[port], request);
        }
    }
    return host_.Transact(request);
}

CommandOutcome PortSwitch::Handle(const VendorCommand& command) {
    CommandOutcome ignored;
    if ((command.code != kSelectPortCode && command.code != kReleasePortCode) ||
        command.params.size() != 1) {
        return ignored;
    }
    const int32_t port = command.params[0];
    if (PortChip(port) == nullptr) {
        return ignored;  // nothing behind that port: no acknowledgement
    }
    if (command.code == kSelectPortCode) {
        connected_ = port;
    } else if (connected_ == port) {
        connected_ = 0;
    }
    return CommandOutcome{true, BuildAck(), kAckProcessingUs};
}

bool PortSwitch::SaveState(std::wstring& error) {
    bool kept = true;
    for (size_t i = 0; i < 2; ++i) {
        std::wstring portError;
        if (ports_.chips[i] != nullptr &&
            !ports_.stores[i]->Finish(ports_.chips[i]->StateForNextRun(), portError) && kept) {
            kept = false;
            error = portError;
        }
    }
    return kept;
}

}  // namespace zorvan::sim
