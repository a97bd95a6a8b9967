// GfxLibLinux's four transfers: one system call per AUX transaction of at most 16 bytes,
// one write() per DDC/CI packet and one read() per DDC/CI reply.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/gfx/Chunks.h"
#include "core/gfx/DdcReplyRead.h"
#include "core/gfx/linux/GfxLibLinux.h"
#include "core/platform/Trace.h"

namespace zorvan {
namespace {

// One read() fetches the whole reply: a read cannot be split into a header and a
// continuation, since each read() is an I2C transaction of its own ending in STOP.
constexpr int32_t kReplyReadLimit = 132;

void TraceCall(const char* kind, uint32_t address, size_t length, int64_t result) {
    if (!trace::Enabled()) {
        return;
    }
    char head[96];
    std::snprintf(head, sizeof head, "  linux %s addr=0x%X len=%zu -> ", kind, address, length);
    trace::Line(head + (result >= 0 ? std::to_string(result)
                                    : "-" + linuxsys::ErrnoName(static_cast<int>(-result))));
}

// A call that moved `asked` bytes succeeded; fewer without an error is a failure too.
int32_t Moved(int64_t result, size_t asked) {
    if (result < 0) {
        return LinuxErrnoResult(result);
    }
    return static_cast<size_t>(result) == asked ? GFX_OK : GFX_LINUX_SHORT_TRANSFER;
}

class OneReadTransport final : public DdcReplyTransport {
public:
    OneReadTransport(linuxsys::System& system, int fd, uint32_t address, int32_t capacity)
        : system_(system), fd_(fd), address_(address),
          count_(std::clamp<int32_t>(capacity, 2, kReplyReadLimit)) {}

    int32_t ReadHeader(uint8_t header[2]) override {
        const int64_t r = system_.Read(fd_, bytes_, static_cast<size_t>(count_));
        TraceCall("i2c-read", address_, static_cast<size_t>(count_), r);
        if (r < 0) {
            // A NACK or a sink that kept deferring: the DDC/CI waits pause and read again,
            // as they do for a deferring sink.
            return r == -linuxsys::kEREMOTEIO ? GFX_BUSY : LinuxErrnoResult(r);
        }
        got_ = static_cast<int32_t>(std::min<int64_t>(r, count_));
        if (got_ < 2) {
            return GFX_LINUX_SHORT_TRANSFER;
        }
        std::memcpy(header, bytes_, 2);
        return GFX_OK;
    }

    int32_t ReadRest(uint8_t* rest, int32_t count) override {
        if (count < 0 || 2 + count > got_) {
            return GFX_LINUX_SHORT_TRANSFER;
        }
        std::memcpy(rest, bytes_ + 2, static_cast<size_t>(count));
        return GFX_OK;
    }

private:
    linuxsys::System& system_;
    int fd_;
    uint32_t address_;
    int32_t count_;
    int32_t got_ = 0;
    uint8_t bytes_[kReplyReadLimit] = {};
};

}  // namespace

int32_t GfxLibLinux::DoI2cWrite(uint32_t, uint32_t address, const uint8_t* data, int32_t length) {
    int32_t r = SelectSlave(address);
    if (r != GFX_OK) {
        return r;
    }
    const int64_t written = system_->Write(i2cFd_, data, static_cast<size_t>(length));
    TraceCall("i2c-write", address, static_cast<size_t>(length), written);
    return Moved(written, static_cast<size_t>(length));
}

int32_t GfxLibLinux::DoI2cRead(uint32_t, uint32_t address, uint8_t* buffer, int32_t capacity,
                               int32_t* length) {
    const int32_t r = SelectSlave(address);
    if (r != GFX_OK) {
        return r;
    }
    OneReadTransport transport(*system_, i2cFd_, address, capacity);
    return ReadDdcReply(transport, address, buffer, capacity, length);
}

int32_t GfxLibLinux::DoAuxWrite(uint32_t, uint32_t address, const uint8_t* data, int32_t length) {
    if (auxFd_ < 0 || system_ == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        const uint32_t at = address + static_cast<uint32_t>(chunk.offset);
        const size_t size = static_cast<size_t>(chunk.size);
        const int64_t r = system_->Pwrite(auxFd_, data + chunk.offset, size, at);
        TraceCall("aux-write", at, size, r);
        const int32_t code = Moved(r, size);
        if (code != GFX_OK) {
            return code;
        }
    }
    return GFX_OK;
}

int32_t GfxLibLinux::DoAuxRead(uint32_t, uint32_t address, uint8_t* buffer, int32_t length) {
    if (auxFd_ < 0 || system_ == nullptr) {
        return GFX_NO_DEVICE;
    }
    for (const Chunk& chunk : SplitIntoChunks(length, kAuxChunkSize)) {
        const uint32_t at = address + static_cast<uint32_t>(chunk.offset);
        const size_t size = static_cast<size_t>(chunk.size);
        const int64_t r = system_->Pread(auxFd_, buffer + chunk.offset, size, at);
        TraceCall("aux-read", at, size, r);
        const int32_t code = Moved(r, size);
        if (code != GFX_OK) {
            return code;
        }
    }
    return GFX_OK;
}

}  // namespace zorvan
