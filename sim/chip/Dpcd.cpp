#include "sim/chip/Dpcd.h"

#include <algorithm>

#include "sim/chip/Identification.h"

namespace zorvan::sim {

Dpcd::Dpcd(const ChipState& state) : state_(state) { Reset(); }

void Dpcd::Reset() {
    standard_.fill(0);
    standard_[0x000] = 0x12;  // DPCD revision 1.2
    standard_[0x001] = 0x14;  // 5.4 Gbit/s per lane
    standard_[0x002] = 0x84;  // 4 lanes, enhanced framing
    standard_[0x003] = 0x01;  // down-spread
    standard_[0x004] = 0x01;  // one receiver port
    standard_[0x005] = 0x01;  // a downstream port is present: the chip is a converter
    standard_[0x007] = 0x01;  // one downstream port
    standard_[0x600] = 0x01;  // powered (D0)
}

bool Dpcd::WritableStandard(uint32_t address) {
    // Link configuration, source-specific registers and the power state.
    return (address >= 0x100 && address <= 0x1FF) || (address >= 0x300 && address <= 0x3FF) ||
           address == 0x600;
}

uint8_t Dpcd::PeekStandard(uint32_t address) const {
    if (address >= kStandardSize) {
        return 0;
    }
    if (address >= kIdentificationDpcd && address < kIdentificationDpcd + kIdentificationSize) {
        return CurrentIdentification(state_)[address - kIdentificationDpcd];
    }
    return standard_[address];
}

Dpcd::Owner Dpcd::Find(uint32_t address, uint32_t count, const Attached** hit) const {
    const uint32_t end = address + count;
    for (const Attached& a : regions_) {
        const uint32_t aEnd = a.base + a.size;
        if (address < aEnd && a.base < end) {
            if (address >= a.base && end <= aEnd) {
                *hit = &a;
                return Owner::Region;
            }
            return Owner::Straddles;
        }
    }
    if (end <= kStandardSize) {
        return Owner::Standard;
    }
    if (address >= kStandardSize) {
        return Owner::Reserved;
    }
    return Owner::Straddles;
}

AuxReply Dpcd::Read(uint32_t address, uint32_t length) {
    if (length == 0 || length > kAuxMaxPayload || address >= kDpcdAddressLimit ||
        length > kDpcdAddressLimit - address) {
        return AuxNack();
    }
    const Attached* hit = nullptr;
    std::vector<uint8_t> out(length, 0);
    switch (Find(address, length, &hit)) {
        case Owner::Standard:
            for (uint32_t i = 0; i < length; ++i) {
                out[i] = PeekStandard(address + i);
            }
            return AuxAck(std::move(out));
        case Owner::Reserved:
            return AuxAck(std::move(out));
        case Owner::Region:
            if (!hit->region->Read(address - hit->base, out.data(), length)) {
                return AuxNack();
            }
            return AuxAck(std::move(out));
        case Owner::Straddles:
            break;
    }
    return AuxNack();
}

AuxReply Dpcd::Write(uint32_t address, const std::vector<uint8_t>& data) {
    const uint32_t length = static_cast<uint32_t>(data.size());
    if (length == 0 || length > kAuxMaxPayload || address >= kDpcdAddressLimit ||
        length > kDpcdAddressLimit - address) {
        return AuxNack();
    }
    const Attached* hit = nullptr;
    switch (Find(address, length, &hit)) {
        case Owner::Standard:
            for (uint32_t i = 0; i < length; ++i) {
                if (!WritableStandard(address + i)) {
                    return AuxNack();
                }
            }
            std::copy(data.begin(), data.end(), standard_.begin() + address);
            return AuxAck();
        case Owner::Region:
            return hit->region->Write(address - hit->base, data.data(), length) ? AuxAck()
                                                                               : AuxNack();
        case Owner::Reserved:
        case Owner::Straddles:
            break;
    }
    return AuxNack();
}

void Dpcd::Attach(uint32_t base, uint32_t size, DpcdRegion* region) {
    Detach(region);
    regions_.push_back({base, size, region});
}

void Dpcd::Detach(DpcdRegion* region) {
    regions_.erase(std::remove_if(regions_.begin(), regions_.end(),
                                  [region](const Attached& a) { return a.region == region; }),
                   regions_.end());
}

}  // namespace zorvan::sim
