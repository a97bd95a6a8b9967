// Reads of the chip's address space over DDC/CI.
#include "sim/chip/VendorCommands.h"

namespace zorvan::sim {
namespace {

uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
    return (static_cast<uint32_t>(bytes[at]) << 24) | (static_cast<uint32_t>(bytes[at + 1]) << 16) |
           (static_cast<uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
}

}  // namespace

CommandOutcome VendorCommands::ReadRegister(const VendorCommand& command) const {
    if (command.params.size() != 4) {
        return {};
    }
    const uint32_t address = BigEndian32(command.params, 0);
    uint8_t word[4];
    if (!memory_.Read(address, 4, word)) {
        return {};
    }
    std::vector<uint8_t> data(command.params.begin(), command.params.end());
    data.insert(data.end(), word, word + 4);
    return {true, BuildVendorReply(command.code, data), kQueryProcessingUs};
}

CommandOutcome VendorCommands::ReadMemory(const VendorCommand& command) const {
    if (command.params.size() != 8) {
        return {};
    }
    const uint32_t address = BigEndian32(command.params, 0);
    const uint32_t count = BigEndian32(command.params, 4);
    if (count == 0 || count > kDdcMaxReplyData) {
        return {};
    }
    // The read pointer wraps within a 64 KiB bank, so the chip refuses ranges that cross one.
    if (address > UINT32_MAX - (count - 1) || (address >> 16) != ((address + count - 1) >> 16)) {
        return {};
    }
    std::vector<uint8_t> data(count);
    if (!memory_.Read(address, count, data.data())) {
        return {};
    }
    return {true, BuildVendorReply(command.code, data),
            kQueryProcessingUs + kMemoryReadPerByteUs * count};
}

}  // namespace zorvan::sim
