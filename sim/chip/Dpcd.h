#pragma once
// The chip's DPCD address space as native AUX sees it. The standard registers
// (0x00000-0x00FFF) hold the receiver capabilities, the writable link and source
// registers and the branch identification (0x500 onward, the identification block at
// 0x503). Other ranges read as zero (reserved) unless a part of the chip attaches a region
// there (the ISP driver's mailbox does). Writes to read-only or reserved addresses are
// refused, like a transaction longer than 16 bytes or beyond the 20-bit space.
#include <array>
#include <cstdint>
#include <vector>

#include "sim/chip/ChipState.h"
#include "sim/link/AuxSink.h"

namespace zorvan::sim {

class DpcdRegion {
public:
    virtual ~DpcdRegion() = default;
    // offset: from the region's base. False refuses the transaction.
    virtual bool Read(uint32_t offset, uint8_t* out, uint32_t count) = 0;
    virtual bool Write(uint32_t offset, const uint8_t* data, uint32_t count) = 0;
};

class Dpcd {
public:
    explicit Dpcd(const ChipState& state);

    AuxReply Read(uint32_t address, uint32_t length);
    AuxReply Write(uint32_t address, const std::vector<uint8_t>& data);

    // The region (not owned) serves [base, base + size) until detached.
    void Attach(uint32_t base, uint32_t size, DpcdRegion* region);
    void Detach(DpcdRegion* region);

    // Power-on values of the standard registers.
    void Reset();

    // A standard register (address below kStandardSize) as the chip's own memory bus sees it.
    uint8_t PeekStandard(uint32_t address) const;

    static constexpr uint32_t kStandardSize = 0x1000;

private:
    struct Attached {
        uint32_t base;
        uint32_t size;
        DpcdRegion* region;
    };
    enum class Owner { Standard, Reserved, Region, Straddles };
    Owner Find(uint32_t address, uint32_t count, const Attached** hit) const;
    static bool WritableStandard(uint32_t address);

    const ChipState& state_;
    std::array<uint8_t, kStandardSize> standard_{};
    std::vector<Attached> regions_;
};

}  // namespace zorvan::sim
