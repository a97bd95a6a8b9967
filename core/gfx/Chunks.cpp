#include "core/gfx/Chunks.h"

namespace zorvan {

std::vector<Chunk> SplitIntoChunks(int32_t length, int32_t maxSize) {
    std::vector<Chunk> chunks;
    if (length <= 0 || maxSize <= 0) {
        return chunks;
    }
    chunks.reserve(static_cast<size_t>(length / maxSize + 1));
    for (int32_t offset = 0; offset < length; offset += maxSize) {
        const int32_t size = length - offset < maxSize ? length - offset : maxSize;
        chunks.push_back(Chunk{offset, size, offset + size == length});
    }
    return chunks;
}

}  // namespace zorvan
