#include "sim/pc/linux/DpI2cBus.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/platform/Clock.h"

namespace zorvan::sim {
namespace {

// The helper's estimate of how many attempts a transaction deserves: the I2C time of the
// bytes at the assumed bus speed over the AUX time of one attempt and its pause (a read's
// bytes ride in the reply, a write's in the request: the same sum).
int AttemptsFor(uint32_t size) {
    const int auxUs = 66 + 42 + static_cast<int>(size) * 8;
    const int i2cUs =
        ((1 + 9 + static_cast<int>(size) * 9 + 1) * 1000 + kernel::kI2cAssumedSpeedKhz - 1) /
        kernel::kI2cAssumedSpeedKhz;
    const int interval = auxUs + static_cast<int>(kernel::kAuxRetryIntervalUs);
    return std::max(kernel::kI2cMinAttempts, (i2cUs + interval - 1) / interval);
}

}  // namespace

int DpI2cBus::Transaction(AuxRequest& request, uint8_t* readInto) {
    const bool read = request.command == AuxCommand::I2cRead;
    const uint32_t size = read ? request.length : static_cast<uint32_t>(request.data.size());
    const int attempts = AttemptsFor(size);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const AuxReply reply = channel_.Transact(request);
        switch (reply.status) {
            case AuxStatus::Ack:
                if (!read) {
                    return static_cast<int>(size);
                } else {
                    const size_t n = std::min<size_t>(reply.data.size(), size);
                    if (n > 0) {
                        std::memcpy(readInto, reply.data.data(), n);
                    }
                    return static_cast<int>(n);
                }
            case AuxStatus::Nack:
                return -kernel::kEREMOTEIO;
            case AuxStatus::Defer:
                platform::ActiveClock().Elapse(kernel::kAuxRetryIntervalUs);
                continue;
            case AuxStatus::Timeout:
                return -kernel::kETIMEDOUT;
        }
    }
    return -kernel::kEREMOTEIO;
}

int DpI2cBus::Drain(uint32_t address, bool read, uint8_t* buffer, uint32_t size) {
    int managed = static_cast<int>(size);
    while (size > 0) {
        AuxRequest request;
        request.command = read ? AuxCommand::I2cRead : AuxCommand::I2cWrite;
        request.mot = true;
        request.address = address;
        if (read) {
            request.length = size;
        } else {
            request.data.assign(buffer, buffer + size);
        }
        const int done = Transaction(request, buffer);
        if (done <= 0) {
            return done == 0 ? -kernel::kEPROTO : done;
        }
        // Only a reply shorter than what was still asked for counts as partial.
        if (static_cast<uint32_t>(done) < size) {
            managed = std::min(managed, done);
        }
        buffer += done;
        size -= static_cast<uint32_t>(done);
    }
    return managed;
}

int64_t DpI2cBus::Transfer(uint32_t address, bool read, uint8_t* buffer, size_t count) {
    AuxRequest bare;
    bare.command = read ? AuxCommand::I2cRead : AuxCommand::I2cWrite;
    bare.mot = true;
    bare.address = address;
    int result = Transaction(bare, nullptr);
    uint32_t pieceSize = kernel::kAuxMaxPayload;
    for (size_t done = 0; result >= 0 && done < count;) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(pieceSize, count - done));
        result = Drain(address, read, buffer + done, size);
        if (result > 0) {
            pieceSize = static_cast<uint32_t>(result);
        }
        done += size;
    }
    // The STOP goes out whatever happened before it.
    bare.mot = false;
    Transaction(bare, nullptr);
    return result < 0 ? result : static_cast<int64_t>(count);
}

int64_t DpI2cBus::Read(OpenFile& file, uint8_t* buffer, size_t count) {
    const size_t n = std::min<size_t>(count, kernel::kI2cDevMaxTransfer);
    std::vector<uint8_t> bytes(n, 0);
    const int64_t r = Transfer(file.i2cAddress, true, bytes.data(), n);
    if (r > 0) {
        std::memcpy(buffer, bytes.data(), static_cast<size_t>(r));
    }
    return r;
}

int64_t DpI2cBus::Write(OpenFile& file, const uint8_t* data, size_t count) {
    const size_t n = std::min<size_t>(count, kernel::kI2cDevMaxTransfer);
    std::vector<uint8_t> bytes(data, data + n);
    return Transfer(file.i2cAddress, false, bytes.data(), n);
}

int DpI2cBus::Ioctl(OpenFile& file, unsigned long request, unsigned long argument) {
    if (request != kernel::kI2cSlave && request != kernel::kI2cSlaveForce) {
        return -kernel::kENOTTY;
    }
    if (argument > 0x7F) {
        return -kernel::kEINVAL;
    }
    if (request == kernel::kI2cSlave && claimed_.count(static_cast<uint32_t>(argument)) != 0) {
        return -kernel::kEBUSY;
    }
    file.i2cAddress = static_cast<uint32_t>(argument);
    return 0;
}

}  // namespace zorvan::sim
