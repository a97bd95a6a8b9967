#pragma once
// A character device of the virtual kernel and the state of one open file of it.
#include <cstddef>
#include <cstdint>

#include "sim/pc/linux/KernelAbi.h"

namespace zorvan::sim {

struct VNode;

struct OpenFile {
    VNode* node = nullptr;
    bool writable = false;
    int64_t position = 0;     // read() and write() of attribute files and AUX nodes
    uint32_t i2cAddress = 0;  // the 7-bit address I2C_SLAVE took (0 until then)
};

class DeviceFile {
public:
    virtual ~DeviceFile() = default;
    // Each returns bytes moved or -errno, as the kernel's file operations do.
    virtual int64_t Read(OpenFile& file, uint8_t* buffer, size_t count) = 0;
    virtual int64_t Write(OpenFile& file, const uint8_t* data, size_t count) = 0;
    virtual int64_t Pread(OpenFile&, uint8_t*, size_t, int64_t) { return -kernel::kESPIPE; }
    virtual int64_t Pwrite(OpenFile&, const uint8_t*, size_t, int64_t) {
        return -kernel::kESPIPE;
    }
    virtual int Ioctl(OpenFile&, unsigned long, unsigned long) { return -kernel::kENOTTY; }
};

}  // namespace zorvan::sim
