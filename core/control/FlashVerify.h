#pragma once
// Verify after write: what an operation programmed, read back from the flash through the
// running ISP driver and compared byte for byte. The written ranges are read whole, their
// blocks of 0xFF too: those were never sent, so reading them back is what shows that the
// erase before really cleared them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorvan {

class ZorvanControl;

// One range as it was handed to ProgramFlash: its flash offset and its bytes.
struct WrittenRange {
    uint32_t offset = 0;
    std::span<const uint8_t> bytes;
};

struct VerifyOutcome {
    enum class Kind { kEqual, kDiffers, kUnreadable };
    Kind kind = Kind::kEqual;
    // The first byte that differs, or the start of the piece that could not be read.
    uint32_t address = 0;
    uint8_t wrote = 0;
    uint8_t read = 0;
};

// Reads the ranges back in their order and stops at the first difference. Progress goes
// to the delegate in bytes, against the ranges' total.
VerifyOutcome VerifyWrittenFlash(ZorvanControl& control, std::span<const WrittenRange> ranges);

// The part of an image written at its own offset (empty where the image is too short; the
// write refuses such a region before it sends anything).
WrittenRange ImageRange(const std::vector<uint8_t>& image, uint32_t offset, uint32_t length);

// The failure of an outcome other than kEqual, as both programs show and log it:
// "Verify after write failed at 0x7FFFF: wrote 0x5A, read 0xFF!\r\n" or
// "Verify after write failed: reading the flash at 0x24000 failed!\r\n".
std::wstring VerifyFailureText(const VerifyOutcome& outcome);

}  // namespace zorvan
