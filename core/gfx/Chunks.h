#pragma once
// How the backends split one transfer into link transactions.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvan {

// The largest AUX transaction: 16 data bytes.
inline constexpr int32_t kAuxChunkSize = 16;

struct Chunk {
    int32_t offset;  // from the start of the transfer
    int32_t size;    // 1..maxSize
    bool last;       // the transaction that ends the transfer
};

// Consecutive chunks of at most maxSize bytes covering `length` bytes; none for a length
// (or a maxSize) of zero or less.
std::vector<Chunk> SplitIntoChunks(int32_t length, int32_t maxSize);

}  // namespace zorvan
