#include "sim/chip/secure/SecureEngine.h"

#include <algorithm>
#include <span>

#include "sim/chip/LittleEndian.h"
#include "sim/chip/VendorCommands.h"
#include "sim/chip/isp/DriverImage.h"
#include "sim/chip/secure/EsmImage.h"
#include "sim/chip/secure/Signature.h"

namespace zorvan::sim {
namespace {

const std::vector<uint8_t> kReleaseParams = {0x09, 0xC0, 0x00, 0x00};
const std::vector<uint8_t> kRestartParams = {0x00, 0x02, 0x00, 0xD0};

uint32_t GetBe(const std::vector<uint8_t>& bytes, size_t at, int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
        v = (v << 8) | bytes[at + static_cast<size_t>(i)];
    }
    return v;
}

bool IsSecureCode(uint8_t code) {
    switch (code) {
        case 0x07:
        case kMemoryWriteCode:
        case 0x71:
        case 0x72:
        case 0x73:
        case 0x75:
        case 0x76:
        case 0x77:
        case 0x78:
            return true;
        default:
            return false;
    }
}

CommandOutcome Ack(uint64_t processingUs = kIspAckUs) {
    return {true, BuildAck(), processingUs};
}

}  // namespace

SecureEngine::SecureEngine(ChipState& state, IspEngine& isp, StateChanges& changes)
    : state_(state), isp_(isp), changes_(changes), esm_(kEsmAreaSize, 0), esmWritten_(kEsmAreaSize, false) {
    session_ = isp_.Session();
}

void SecureEngine::FollowSession() {
    if (!SessionCurrent()) {
        ResetSession();
    }
}

void SecureEngine::ResetSession() {
    session_ = isp_.Session();
    std::fill(esmWritten_.begin(), esmWritten_.end(), false);
    signatureWritten_.reset();
    announced_ = false;
    processStarted_ = false;
    verifyFailed_ = false;
}

void SecureEngine::PowerCycle() {
    std::fill(esm_.begin(), esm_.end(), 0);
    signature_.fill(0);
    ResetSession();
}

uint32_t SecureEngine::Status() const {
    uint32_t status = state_.securityFirmwareRunning ? kEsmStatusRunning : 0;
    if (!SessionCurrent()) {
        return status;
    }
    if (announced_) {
        status |= kEsmStatusAnnounced;
    }
    if (processStarted_) {
        status |= kEsmStatusProcessStarted;
    }
    if (signatureWritten_.all()) {
        status |= kEsmStatusSignatureLoaded;
    }
    if (verifyFailed_) {
        status |= kEsmStatusVerifyFailed;
    }
    return status;
}

std::optional<CommandOutcome> SecureEngine::Preempt(const VendorCommand& command) {
    if (!IsSecureCode(command.code)) {
        return std::nullopt;
    }
    if (isp_.CurrentStage() != IspEngine::Stage::IspMode) {
        return CommandOutcome{};  // only the boot ROM's ISP mode knows them
    }
    FollowSession();
    const std::vector<uint8_t>& p = command.params;
    switch (command.code) {
        case 0x07:
            if (p != kReleaseParams) {
                return CommandOutcome{};
            }
            processStarted_ = false;
            return Ack();
        case 0x71:
            if (!p.empty()) {
                return CommandOutcome{};
            }
            announced_ = true;
            return Ack();
        case 0x77: {
            if (!p.empty()) {
                return CommandOutcome{};
            }
            const uint32_t s = Status();
            return CommandOutcome{
                true,
                BuildVendorReply(0x77,
                                 {static_cast<uint8_t>(s >> 24), static_cast<uint8_t>(s >> 16),
                                  static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(s)}),
                kQueryProcessingUs};
        }
        case kMemoryWriteCode:
            return MemoryWrite(command);
        case 0x72:
            return StartEsm(command);
        case 0x78:
            if (p != kRestartParams || !state_.securityFirmwareRunning) {
                return CommandOutcome{};
            }
            processStarted_ = true;
            return Ack(kEsmStartUs);
        case 0x76: {
            if (!p.empty()) {
                return CommandOutcome{};
            }
            const uint8_t ready = state_.securityFirmwareRunning && processStarted_ ? 0x01 : 0x00;
            return CommandOutcome{true, BuildVendorReply(0x76, {ready}), kQueryProcessingUs};
        }
        case 0x73:
            if (p.size() < 2 || p.size() - 2 > kMaxDownloadBytes ||
                !isp_.WriteRam(GetBe(p, 0, 2), p.data() + 2, p.size() - 2)) {
                return CommandOutcome{};
            }
            return Ack();
        case 0x75:
            return StartSignedDriver(command);
        default:
            return CommandOutcome{};
    }
}

CommandOutcome SecureEngine::MemoryWrite(const VendorCommand& command) {
    const std::vector<uint8_t>& p = command.params;
    // The count byte may announce more data than the packet carries (up to 115 bytes): the
    // bytes carried are written.
    if (p.size() < 4 || command.announcedParams - 4 > kMaxMemoryWriteBytes) {
        return {};
    }
    const uint32_t address = GetBe(p, 0, 4);
    const uint32_t count = static_cast<uint32_t>(p.size() - 4);
    const uint8_t* data = p.data() + 4;
    if (count == 0) {
        // Writes nothing; acknowledged inside an area or at its end, where a host sends it
        // after the last bytes of a download.
        const bool inEsm = address >= kEsmAreaBase && address - kEsmAreaBase <= kEsmAreaSize;
        const bool inSignature = address >= kDriverSignatureBase &&
                                 address - kDriverSignatureBase <= kDriverSignatureSize;
        return inEsm || inSignature ? Ack() : CommandOutcome{};
    }
    if (address >= kEsmAreaBase && address - kEsmAreaBase <= kEsmAreaSize - count) {
        const uint32_t at = address - kEsmAreaBase;
        std::copy_n(data, count, esm_.begin() + at);
        std::fill_n(esmWritten_.begin() + at, count, true);
        return Ack();
    }
    if (address >= kDriverSignatureBase &&
        address - kDriverSignatureBase <= kDriverSignatureSize - count) {
        const uint32_t at = address - kDriverSignatureBase;
        std::copy_n(data, count, signature_.begin() + at);
        for (uint32_t i = 0; i < count; ++i) {
            signatureWritten_.set(at + i);
        }
        return Ack();
    }
    return {};
}

CommandOutcome SecureEngine::StartEsm(const VendorCommand& command) {
    if (command.params.size() != 4) {
        return {};
    }
    const uint32_t length = GetBe(command.params, 0, 4);
    if (length > kEsmAreaSize ||
        !std::all_of(esmWritten_.begin(), esmWritten_.begin() + length, [](bool b) { return b; }) ||
        !IsIntactEsm(std::span<const uint8_t>(esm_.data(), esm_.size()), length)) {
        return {};
    }
    if (!state_.securityFirmwareRunning) {
        state_.securityFirmwareRunning = true;
        changes_.ChipChanged(state_);
    }
    processStarted_ = true;
    return Ack(kEsmStartUs);
}

CommandOutcome SecureEngine::StartSignedDriver(const VendorCommand& command) {
    if (command.params.size() != 2) {
        return {};
    }
    const uint32_t address = GetBe(command.params, 0, 2);
    if (!state_.securityFirmwareRunning || !processStarted_ || !signatureWritten_.all() ||
        !DriverVerifies(address)) {
        verifyFailed_ = true;
        return {};
    }
    verifyFailed_ = false;
    isp_.StartDriver(address, DriverOptions{.signedDriver = true});
    return Ack(kSignatureCheckUs);
}

bool SecureEngine::DriverVerifies(uint32_t address) const {
    const std::vector<uint8_t>& ram = isp_.Ram();
    if (!FindDriver(ram, address)) {
        return false;
    }
    // FindDriver has checked that the length field stays inside RAM.
    const uint32_t length = Get32(ram.data() + address + 4);
    const std::span<const uint8_t> payload(ram.data() + address, length);
    return VerifySignature({payload}, signature_, ChipPublicKeyPem());
}

}  // namespace zorvan::sim
