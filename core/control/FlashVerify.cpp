#include "core/control/FlashVerify.h"

#include <algorithm>

#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

// A whole number of the driver's 57-byte reads, so no piece ends in a short request.
constexpr size_t kPieceBytes = 57 * 36;

}  // namespace

VerifyOutcome VerifyWrittenFlash(ZorvanControl& control, std::span<const WrittenRange> ranges) {
    size_t total = 0;
    for (const WrittenRange& range : ranges) {
        total += range.bytes.size();
    }
    const auto report = [&control, total](size_t done) {
        if (control.delegate != nullptr) {
            control.delegate->UpdateProgress(static_cast<int32_t>(done),
                                             static_cast<int32_t>(total));
        }
    };
    std::vector<uint8_t> flash(kPieceBytes);
    size_t done = 0;
    VerifyOutcome outcome;
    for (const WrittenRange& range : ranges) {
        for (size_t at = 0; at < range.bytes.size(); at += kPieceBytes) {
            const size_t count = std::min(kPieceBytes, range.bytes.size() - at);
            const auto address = static_cast<uint32_t>(range.offset + at);
            if (!control.ReadFlash(address, flash.data(), static_cast<int32_t>(count))) {
                outcome.kind = VerifyOutcome::Kind::kUnreadable;
                outcome.address = address;
                return outcome;
            }
            const std::span<const uint8_t> wrote = range.bytes.subspan(at, count);
            const auto differ = std::mismatch(wrote.begin(), wrote.end(), flash.begin());
            if (differ.first != wrote.end()) {
                const auto index = static_cast<size_t>(differ.first - wrote.begin());
                outcome.kind = VerifyOutcome::Kind::kDiffers;
                outcome.address = address + static_cast<uint32_t>(index);
                outcome.wrote = *differ.first;
                outcome.read = *differ.second;
                return outcome;
            }
            done += count;
            report(done);
        }
    }
    return outcome;
}

WrittenRange ImageRange(const std::vector<uint8_t>& image, uint32_t offset, uint32_t length) {
    if (offset > image.size() || length > image.size() - offset) {
        return WrittenRange{offset, {}};
    }
    return WrittenRange{offset, std::span<const uint8_t>(image.data() + offset, length)};
}

std::wstring VerifyFailureText(const VerifyOutcome& outcome) {
    if (outcome.kind == VerifyOutcome::Kind::kUnreadable) {
        return Format(L"Verify after write failed: reading the flash at 0x%05X failed!\r\n",
                      outcome.address);
    }
    return Format(L"Verify after write failed at 0x%05X: wrote 0x%02X, read 0x%02X!\r\n",
                  outcome.address, outcome.wrote, outcome.read);
}

}  // namespace zorvan
