#pragma once
// A connector's I2C-over-AUX bus behind /dev/i2c-M, as the DRM helper (drm_dp_i2c_xfer)
// and i2c-dev run it. Each read() or write() is one I2C message: a bare address
// transaction that opens it (MOT set), the data in transactions of up to 16 bytes (MOT
// set; a shorter reply makes the following ones shorter), and a bare address transaction
// with MOT clear that ends it in STOP. Each transaction is tried at least 7 times, more
// for long ones at the assumed 10 kHz bus speed; a deferral pauses and tries again, a
// NACK ends the message with EREMOTEIO, no reply with ETIMEDOUT. I2C_SLAVE takes the
// 7-bit address unless a kernel driver owns it (EBUSY); I2C_SLAVE_FORCE takes it anyway.
#include <cstdint>
#include <set>

#include "sim/link/AuxChannel.h"
#include "sim/pc/linux/DeviceFile.h"

namespace zorvan::sim {

class DpI2cBus final : public DeviceFile {
public:
    DpI2cBus(AuxChannel& channel, std::set<uint32_t> claimed)
        : channel_(channel), claimed_(std::move(claimed)) {}

    int64_t Read(OpenFile& file, uint8_t* buffer, size_t count) override;
    int64_t Write(OpenFile& file, const uint8_t* data, size_t count) override;
    int Ioctl(OpenFile& file, unsigned long request, unsigned long argument) override;

    // One I2C message of `count` bytes to or from the 7-bit address; count or -errno.
    int64_t Transfer(uint32_t address, bool read, uint8_t* buffer, size_t count);

private:
    // One transaction with its retries: bytes the sink took or gave, or -errno.
    int Transaction(AuxRequest& request, uint8_t* readInto);
    // A piece with the rest of a short reply fetched too: the size the sink managed, or -errno.
    int Drain(uint32_t address, bool read, uint8_t* buffer, uint32_t size);

    AuxChannel& channel_;
    std::set<uint32_t> claimed_;
};

}  // namespace zorvan::sim
