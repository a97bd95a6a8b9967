#include "sim/pc/linux/DpAuxDevice.h"

#include <algorithm>
#include <cstring>

#include "core/platform/Clock.h"

namespace zorvan::sim {

int DpAuxDevice::Access(AuxCommand command, uint32_t address, uint8_t* buffer, uint32_t size) {
    AuxRequest request;
    request.command = command;
    request.address = address;
    if (command == AuxCommand::NativeWrite) {
        request.data.assign(buffer, buffer + size);
    } else {
        request.length = size;
    }
    int result = 0;
    int first = 0;
    for (int attempt = 0; attempt < kernel::kDpcdAttempts; ++attempt) {
        if (result != 0 && result != -kernel::kETIMEDOUT) {
            platform::ActiveClock().Elapse(kernel::kAuxRetryIntervalUs);
        }
        const AuxReply reply = channel_.Transact(request);
        switch (reply.status) {
            case AuxStatus::Ack:
                if (command == AuxCommand::NativeWrite) {
                    return static_cast<int>(size);
                }
                if (reply.data.size() == size) {
                    std::memcpy(buffer, reply.data.data(), size);
                    return static_cast<int>(size);
                }
                result = -kernel::kEPROTO;
                break;
            case AuxStatus::Nack:
            case AuxStatus::Defer:
                result = -kernel::kEIO;
                break;
            case AuxStatus::Timeout:
                result = -kernel::kETIMEDOUT;
                break;
        }
        // The error of the first attempt is the one reported.
        if (first == 0) {
            first = result;
        }
    }
    return first;
}

int DpAuxDevice::ReadPiece(uint32_t address, uint8_t* buffer, uint32_t size) {
    uint8_t revision = 0;
    const int woken = Access(AuxCommand::NativeRead, 0x000, &revision, 1);
    if (woken < 0) {
        return woken;
    }
    return Access(AuxCommand::NativeRead, address, buffer, size);
}

int64_t DpAuxDevice::Pread(OpenFile&, uint8_t* buffer, size_t count, int64_t offset) {
    if (offset < 0) {
        return -kernel::kEINVAL;
    }
    if (offset >= kernel::kAuxMaxOffset) {
        return 0;
    }
    const int64_t total = std::min<int64_t>(static_cast<int64_t>(count), kernel::kAuxMaxOffset - offset);
    int64_t moved = 0;
    int result = 0;
    while (moved < total) {
        const uint32_t piece =
            static_cast<uint32_t>(std::min<int64_t>(total - moved, kernel::kAuxMaxPayload));
        result = ReadPiece(static_cast<uint32_t>(offset + moved), buffer + moved, piece);
        if (result <= 0) {
            break;
        }
        moved += result;
    }
    return moved > 0 ? moved : result;
}

int64_t DpAuxDevice::Pwrite(OpenFile&, const uint8_t* data, size_t count, int64_t offset) {
    if (offset < 0) {
        return -kernel::kEINVAL;
    }
    if (offset >= kernel::kAuxMaxOffset) {
        return 0;
    }
    const int64_t total = std::min<int64_t>(static_cast<int64_t>(count), kernel::kAuxMaxOffset - offset);
    int64_t moved = 0;
    int result = 0;
    uint8_t piece[kernel::kAuxMaxPayload];
    while (moved < total) {
        const uint32_t size =
            static_cast<uint32_t>(std::min<int64_t>(total - moved, kernel::kAuxMaxPayload));
        std::memcpy(piece, data + moved, size);
        result = Access(AuxCommand::NativeWrite, static_cast<uint32_t>(offset + moved), piece, size);
        if (result <= 0) {
            break;
        }
        moved += result;
    }
    return moved > 0 ? moved : result;
}

int64_t DpAuxDevice::Read(OpenFile& file, uint8_t* buffer, size_t count) {
    const int64_t r = Pread(file, buffer, count, file.position);
    if (r > 0) {
        file.position += r;
    }
    return r;
}

int64_t DpAuxDevice::Write(OpenFile& file, const uint8_t* data, size_t count) {
    const int64_t r = Pwrite(file, data, count, file.position);
    if (r > 0) {
        file.position += r;
    }
    return r;
}

}  // namespace zorvan::sim
