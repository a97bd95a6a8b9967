#include "sim/chip/isp/DriverImage.h"

#include <array>
#include <cstring>

#include "sim/chip/Crc.h"
#include "sim/chip/Dpcd.h"
#include "sim/chip/LittleEndian.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {
namespace {

constexpr uint8_t kMagic[4] = {'Z', 'V', 'D', 'R'};
constexpr uint32_t kCrcStart = 0x0C;
constexpr uint32_t kDescriptorSize = 12;
constexpr uint32_t kMinCommandSize = 32;
constexpr uint32_t kMaxCommandSize = 0x1000;
constexpr uint32_t kMinStatusSize = 64;
constexpr uint32_t kMaxStatusSize = 0x400;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

struct Area {
    uint32_t base;
    uint32_t size;
};

bool InsideExtendedSpace(const Area& a) {
    return a.base >= Dpcd::kStandardSize && a.base < kDpcdAddressLimit &&
           a.size <= kDpcdAddressLimit - a.base;
}

bool Overlap(const Area& a, const Area& b) {
    return a.base < b.base + b.size && b.base < a.base + a.size;
}

}  // namespace

bool IsServableLayout(const MailboxLayout& layout) {
    if (layout.commandSize < kMinCommandSize || layout.commandSize > kMaxCommandSize ||
        layout.commandSize % 2 != 0 || layout.statusSize < kMinStatusSize ||
        layout.statusSize > kMaxStatusSize) {
        return false;
    }
    const std::array<Area, 3> areas = {Area{layout.descriptorAddress, kDescriptorSize},
                                       Area{layout.commandAddress, layout.commandSize},
                                       Area{layout.statusAddress, layout.statusSize}};
    for (size_t i = 0; i < areas.size(); ++i) {
        if (!InsideExtendedSpace(areas[i])) {
            return false;
        }
        for (size_t j = i + 1; j < areas.size(); ++j) {
            if (Overlap(areas[i], areas[j])) {
                return false;
            }
        }
    }
    return true;
}

std::vector<uint8_t> BuildDriverPayload(const MailboxLayout& layout, uint32_t length) {
    if (length < kDriverHeaderSize) {
        length = kDriverHeaderSize;
    }
    std::vector<uint8_t> payload(length, 0);
    std::memcpy(payload.data(), kMagic, sizeof kMagic);
    Put32(&payload[0x04], length);
    Put32(&payload[0x0C], layout.descriptorAddress);
    Put32(&payload[0x10], layout.commandAddress);
    Put16(&payload[0x14], layout.commandSize);
    Put32(&payload[0x16], layout.statusAddress);
    Put16(&payload[0x1A], layout.statusSize);
    uint32_t seed = 0x1D5EEDu;
    for (uint32_t i = kDriverHeaderSize; i < length; ++i) {
        // xorshift32: the same "code" on every build.
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        payload[i] = static_cast<uint8_t>(seed);
    }
    StampDriverCrc(payload);
    return payload;
}

std::optional<MailboxLayout> FindDriver(const std::vector<uint8_t>& ram, uint32_t address) {
    if (address > ram.size() || ram.size() - address < kDriverHeaderSize) {
        return std::nullopt;
    }
    const uint8_t* p = ram.data() + address;
    if (std::memcmp(p, kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    const uint32_t length = Get32(p + 0x04);
    if (length < kDriverHeaderSize || length > ram.size() - address) {
        return std::nullopt;
    }
    if (Crc32(p + kCrcStart, length - kCrcStart) != Get32(p + 0x08)) {
        return std::nullopt;
    }
    MailboxLayout layout;
    layout.descriptorAddress = Get32(p + 0x0C);
    layout.commandAddress = Get32(p + 0x10);
    layout.commandSize = Get16(p + 0x14);
    layout.statusAddress = Get32(p + 0x16);
    layout.statusSize = Get16(p + 0x1A);
    if (!IsServableLayout(layout)) {
        return std::nullopt;
    }
    return layout;
}

void StampDriverCrc(std::vector<uint8_t>& payload) {
    if (payload.size() < kDriverHeaderSize) {
        return;
    }
    Put32(&payload[0x08], Crc32(payload.data() + kCrcStart, payload.size() - kCrcStart));
}

std::vector<uint8_t> BuildDriverFile(const std::vector<uint8_t>& payload,
                                     const std::vector<uint8_t>& signature) {
    std::vector<uint8_t> file(4);
    Put32(file.data(), static_cast<uint32_t>(payload.size()));
    file.insert(file.end(), payload.begin(), payload.end());
    file.insert(file.end(), signature.begin(), signature.end());
    return file;
}

}  // namespace zorvan::sim
