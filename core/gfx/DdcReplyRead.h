#pragma once
// The DDC/CI reply read that every backend's I2cRead performs: the two header bytes, the
// checks on them, the rest of the reply, the copy-out. Backends supply only their own
// transactions; the rules live here once.
#include <cstdint>

namespace zorvan {

// The longest reply a length byte can announce (0xFF - 125).
inline constexpr int32_t kDdcReplyMaxLength = 130;

// The transactions of one I2C read as a backend performs them.
class DdcReplyTransport {
public:
    virtual ~DdcReplyTransport() = default;
    // Opens the I2C read and fetches the source address and length bytes; the sink keeps
    // the read open. Non-zero ends the read with that code.
    virtual int32_t ReadHeader(uint8_t header[2]) = 0;
    // Fetches the remaining `count` bytes (1..128) into `rest` and closes the read.
    // Non-zero ends the read with that code.
    virtual int32_t ReadRest(uint8_t* rest, int32_t count) = 0;
};

// Reads one reply from the 8-bit I2C address `address` into `buffer` (`capacity` bytes).
// 13 when the reply needs more than `capacity` bytes, 15 when the header is not a DDC/CI
// reply header from `address`. *length receives the reply's length, never less than the
// two header bytes; at most `capacity` bytes are stored. The checksum is the caller's.
int32_t ReadDdcReply(DdcReplyTransport& transport, uint32_t address, uint8_t* buffer,
                     int32_t capacity, int32_t* length);

}  // namespace zorvan
