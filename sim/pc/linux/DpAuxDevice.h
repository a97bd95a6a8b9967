#pragma once
// /dev/drm_dp_auxN as the kernel implements it (drm_dp_aux_dev over drm_dp_dpcd_read and
// drm_dp_dpcd_write): the file offset is the DPCD address, a transfer goes in pieces of
// 16 bytes, each piece a native AUX transaction tried up to 32 times (a pause after a
// NACK, a deferral or a short reply; none after a timeout). A piece that still fails ends
// the call: with its error when nothing moved yet, else with the count moved so far. A
// sink's NACK and its deferrals end as EIO, a reply shorter than asked as EPROTO, no reply
// as ETIMEDOUT; every read piece is preceded by a one-byte read of DPCD 0x000 (the
// helper's wake-up read for sinks that garble their first access).
#include <cstdint>

#include "sim/link/AuxChannel.h"
#include "sim/pc/linux/DeviceFile.h"

namespace zorvan::sim {

class DpAuxDevice final : public DeviceFile {
public:
    explicit DpAuxDevice(AuxChannel& channel) : channel_(channel) {}

    int64_t Read(OpenFile& file, uint8_t* buffer, size_t count) override;
    int64_t Write(OpenFile& file, const uint8_t* data, size_t count) override;
    int64_t Pread(OpenFile& file, uint8_t* buffer, size_t count, int64_t offset) override;
    int64_t Pwrite(OpenFile& file, const uint8_t* data, size_t count, int64_t offset) override;

private:
    // One piece: bytes moved (the whole piece) or -errno.
    int Access(AuxCommand command, uint32_t address, uint8_t* buffer, uint32_t size);
    int ReadPiece(uint32_t address, uint8_t* buffer, uint32_t size);

    AuxChannel& channel_;
};

}  // namespace zorvan::sim
