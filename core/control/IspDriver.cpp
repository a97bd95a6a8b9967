// ISP mode, the download of the ISP driver into chip RAM, its start, and the discovery of
// the mailbox it publishes in the DPCD space.
#include <algorithm>

#include "core/control/DdcPackets.h"
#include "core/control/ImageFiles.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"

namespace zorvan {
namespace {

constexpr uint16_t kBetweenEntryCommandsMs = 1;

// Download packets: 117 driver bytes at most, each acknowledged within three fast waits.
constexpr int32_t kDownloadBlock = 117;
constexpr int kAckAttempts = 3;
constexpr uint16_t kBeforeBlockMs = 1;
// The 16-bit RAM address field: code, address high and low, then the bytes.
constexpr uint32_t kRamSpaceEnd = 0x10000;

// The driver publishes the DPCD address of its descriptor here (3 bytes, little-endian).
constexpr uint32_t kMailboxPointerDpcd = 0x40C;
constexpr int32_t kDescriptorSize = 12;
constexpr uint16_t kBeforeDescriptorMs = 2;

uint32_t Little32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
           static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

uint16_t Little16(const uint8_t* in) {
    return static_cast<uint16_t>(in[0] | in[1] << 8);
}

// A descriptor is taken only when every block and response the host moves through it stays
// within our buffers and inside the DPCD space.
bool UsableDescriptor(uint32_t commandAddress, uint16_t commandSize, uint32_t statusAddress,
                      uint16_t statusSize) {
    return commandSize >= kMinCommandSize &&
           statusSize >= kMinStatusSize && commandAddress < kDpcdSpaceEnd &&
           kDpcdSpaceEnd - commandAddress >= commandSize && statusAddress < kDpcdSpaceEnd &&
           kDpcdSpaceEnd - statusAddress >= statusSize;
}

}  // namespace

bool ZorvanControl::EnterIspMode(uint32_t settleMs, IspEntryPauses pauses) {
    if (!SendFixedPacket(kEnterIspPacket) || !WaitAck()) {
        return false;
    }
    const bool secureDialog = pauses == IspEntryPauses::kSecureDialog;
    if (!secureDialog) {
        platform::DelayMs(kBetweenEntryCommandsMs);
    }
    const bool entered = SendFixedPacket(kIspModePacket) && WaitAck();
    if (entered || secureDialog) {
        platform::SleepMs(settleMs);
    }
    return entered;
}

bool ZorvanControl::DownloadIspDriver(bool secure) {
    if (gfx == nullptr || driverImage.empty()) {
        return false;
    }
    // LoadDriverFile has checked that a header's code lies inside the file.
    size_t payloadOffset = 0;
    if (driverHasHeader) {
        payloadOffset = kLengthHeaderSize;
        driverLength = static_cast<int32_t>(driverCodeLength);
    } else if (secure) {
        return false;
    }
    driverPayload = driverImage.data() + payloadOffset;
    const size_t held = driverImage.size() - payloadOffset;
    // The 16-bit address field must not wrap to the start of RAM.
    if (driverLength < 0 || static_cast<size_t>(driverLength) > held ||
        ramWriteAddress + static_cast<uint32_t>(driverLength) > kRamSpaceEnd) {
        return false;
    }

    const uint8_t code = secure ? kSecureRamWriteCode : kRamWriteCode;
    const auto sendPacket = [&](int32_t offset, int32_t count) {
        const uint32_t address = ramWriteAddress + static_cast<uint32_t>(offset);
        uint8_t command[3 + kDownloadBlock] = {code, static_cast<uint8_t>(address >> 8),
                                               static_cast<uint8_t>(address)};
        std::copy_n(driverPayload + offset, count, command + 3);
        return SendAwaitingFastAck(std::span(command, static_cast<size_t>(3 + count)),
                                   kAckAttempts);
    };
    const auto report = [this](int32_t done) {
        if (delegate != nullptr) {
            delegate->UpdateProgress(done, driverLength);
        }
    };

    int32_t offset = 0;
    while (driverLength - offset > kDownloadBlock) {
        if (!secure) {
            platform::DelayMs(kBeforeBlockMs);
        }
        if (!sendPacket(offset, kDownloadBlock)) {
            return false;
        }
        offset += kDownloadBlock;
        report(offset);
    }
    const int32_t rest = driverLength - offset;
    if (!sendPacket(offset, rest)) {
        return false;
    }
    report(offset + rest);
    return true;
}

bool ZorvanControl::RunIspDriver() {
    const uint8_t address[] = {static_cast<uint8_t>(runAtAddress >> 8),
                               static_cast<uint8_t>(runAtAddress)};
    return SendFixedPacket(kRunDriverPacket, address) && WaitAck();
}

void ZorvanControl::ReadMailbox() {
    if (gfx == nullptr) {
        return;
    }
    uint8_t pointer[3] = {};
    if (gfx->AuxRead(deviceId, kMailboxPointerDpcd, pointer, sizeof pointer) != GFX_OK) {
        return;
    }
    mailboxPointer = static_cast<uint32_t>(pointer[0]) | static_cast<uint32_t>(pointer[1]) << 8 |
                     static_cast<uint32_t>(pointer[2]) << 16;
    if (mailboxPointer == 0) {
        return;
    }
    platform::DelayMs(kBeforeDescriptorMs);
    uint8_t descriptor[kDescriptorSize] = {};
    if (gfx->AuxRead(deviceId, mailboxPointer, descriptor, kDescriptorSize) != GFX_OK) {
        return;
    }
    const uint32_t newCommandAddress = Little32(descriptor);
    const uint16_t newCommandSize = Little16(descriptor + 4);
    const uint32_t newStatusAddress = Little32(descriptor + 6);
    const uint16_t newStatusSize = Little16(descriptor + 10);
    if (!UsableDescriptor(newCommandAddress, newCommandSize, newStatusAddress, newStatusSize)) {
        return;
    }
    commandAddress = newCommandAddress;
    commandSize = newCommandSize;
    statusAddress = newStatusAddress;
    statusSize = newStatusSize;
    firstHalfFlagAddress = commandAddress + commandSize / 2u - 1;
    secondHalfFlagAddress = commandAddress + commandSize - 1u;
}

}  // namespace zorvan
