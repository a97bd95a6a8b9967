#include "sim/chip/isp/FlashOps.h"

#include <algorithm>

#include "sim/chip/ChipState.h"
#include "sim/chip/FirmwareImage.h"

namespace zorvan::sim {
namespace {

constexpr uint64_t kChipEraseUs = 3'000'000;
constexpr uint64_t kSectorEraseUs = 45'000;
constexpr uint32_t kPageSize = 256;
constexpr uint64_t kPageProgramUs = 1'200;

}  // namespace

std::vector<FlashRange> EraseRanges(uint16_t code) {
    switch (code) {
        case 0xFFFF:
            return {{0, kFlashSize}};
        case 0xFFA1:
            return {{0, kCertificateOffset}, {kCertificateAreaEnd, kFlashSize}};
        case 0xFFA2:
            return {{0, kCertificateOffset}, {kCmdbOffset + kFlashSectorSize, kFlashSize}};
        case 0xFFA3:
            return {{kCmdbOffset, kCmdbOffset + kFlashSectorSize}};
        case 0xFFA4:
            return {{kCertificateOffset, kCertificateOffset + kFlashSectorSize}};
        default:
            return {};
    }
}

uint64_t EraseTimeUs(const std::vector<FlashRange>& ranges) {
    uint64_t bytes = 0;
    for (const FlashRange& r : ranges) {
        bytes += r.end - r.begin;
    }
    return std::max(kSectorEraseUs, kChipEraseUs * bytes / kFlashSize);
}

uint64_t ProgramTimeUs(uint32_t count) {
    return kPageProgramUs * ((count + kPageSize - 1) / kPageSize);
}

void EraseFlash(std::vector<uint8_t>& flash, const std::vector<FlashRange>& ranges) {
    for (const FlashRange& r : ranges) {
        const uint32_t end = std::min<uint32_t>(r.end, static_cast<uint32_t>(flash.size()));
        for (uint32_t i = r.begin; i < end; ++i) {
            flash[i] = 0xFF;
        }
    }
}

bool ProgramFlash(std::vector<uint8_t>& flash, uint32_t offset, const std::vector<uint8_t>& data,
                  std::optional<uint32_t> stuck) {
    if (offset > flash.size() || data.size() > flash.size() - offset) {
        return false;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        if (stuck && offset + i == *stuck) {
            continue;
        }
        flash[offset + i] = static_cast<uint8_t>(flash[offset + i] & data[i]);
    }
    return true;
}

}  // namespace zorvan::sim
