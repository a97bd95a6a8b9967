#include "sim/chip/ChipMemory.h"

#include <cstring>

#include "sim/chip/Otp.h"

namespace zorvan::sim {
namespace {

bool Within(uint32_t address, uint32_t count, uint32_t base, uint32_t size) {
    return address >= base && address - base <= size && count <= size - (address - base);
}

}  // namespace

bool ChipMemory::Read(uint32_t address, uint32_t count, uint8_t* out) const {
    if (Within(address, count, kDpcdMirrorBase, Dpcd::kStandardSize)) {
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = dpcd_.PeekStandard(address - kDpcdMirrorBase + i);
        }
        return true;
    }
    if (Within(address, count, kOtpBase, kOtpSize) && state_.otp.size() == kOtpSize) {
        std::memcpy(out, state_.otp.data() + (address - kOtpBase), count);
        return true;
    }
    if (state_.mode == ChipMode::Application && state_.flash.size() == kFlashSize &&
        Within(address, count, kFlashMapBase, kFlashSize)) {
        std::memcpy(out, state_.flash.data() + (address - kFlashMapBase), count);
        return true;
    }
    return false;
}

}  // namespace zorvan::sim
