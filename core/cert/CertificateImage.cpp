// The Device Certificate area of the flash: the read-back check of a fetched certificate,
// and the secure programming of a whole image that may carry its own certificate and CMDB.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/cert/CertificateArea.h"
#include "core/cert/SecureImagePlan.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

constexpr size_t kBlankCheckBytes = 16;
constexpr uint8_t kStatusDiffers = 0;
constexpr uint8_t kStatusEqual = 1;
constexpr uint8_t kStatusBlank = 0xF0;

constexpr uint32_t kCmdbOffset = 0x7E000;
constexpr int32_t kCmdbLength = 128;
constexpr uint32_t kLastRegionOffset = 0x7FC00;
constexpr int32_t kLastRegionLength = 0x400;
constexpr uint32_t kFirstRegionLength = 0x24000;
constexpr uint32_t kSecondRegionLength = 0x3C000;
constexpr uint32_t kImageSize = 0x80000;
constexpr uint32_t kSecureVerificationFailed = 0x504;

bool ImageHolds(const std::vector<uint8_t>& image, uint32_t offset, const char* tag) {
    const size_t size = std::strlen(tag);
    return image.size() >= offset + size && std::memcmp(image.data() + offset, tag, size) == 0;
}

}  // namespace

namespace cert {

std::vector<SecureRegion> PlanSecureRegions(const std::vector<uint8_t>& image,
                                            bool includeCertificate, bool skipCmdb) {
    const bool writeCertificate =
        includeCertificate && ImageHolds(image, CERTIFICATE_OFFSET, CERTIFICATE_SIGNATURE);
    const bool writeCmdb = !skipCmdb && ImageHolds(image, kCmdbOffset, "CMDB");
    std::vector<SecureRegion> regions = {
        {0, static_cast<int32_t>(kFirstRegionLength), 0x10},
        {kFirstRegionLength, static_cast<int32_t>(kSecondRegionLength), 0x76},
    };
    if (writeCertificate) {
        regions.push_back({CERTIFICATE_OFFSET, SPI_CERTIFICATE_SIZE, 0x76});
    }
    if (writeCmdb) {
        regions.push_back({kCmdbOffset, kCmdbLength, 0x76});
    }
    regions.push_back({kLastRegionOffset, kLastRegionLength, 0x77});
    return regions;
}

}  // namespace cert

uint8_t ZorvanControl::VerifyCertificate(bool throughChipMemory) {
    if (certificateLength <= 0 || certificate.size() < static_cast<size_t>(certificateLength)) {
        return kStatusDiffers;
    }
    std::vector<uint8_t> flash(static_cast<size_t>(certificateLength));
    const bool read = throughChipMemory
                          ? ReadMemory(flashStartAddress + cert::CERTIFICATE_OFFSET, flash.data(),
                                       certificateLength)
                          : ReadFlash(cert::CERTIFICATE_OFFSET, flash.data(), certificateLength);
    if (!read) {
        return kStatusDiffers;
    }
    const size_t checked = std::min(kBlankCheckBytes, flash.size());
    if (std::all_of(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(checked),
                    [](uint8_t b) { return b == 0xFF; })) {
        return kStatusBlank;
    }
    return std::equal(flash.begin(), flash.end(), certificate.begin()) ? kStatusEqual
                                                                       : kStatusDiffers;
}

bool ZorvanControl::ProgramSecureImage(bool includeCertificate, uint32_t& stepCode,
                                       std::wstring& text, bool skipCmdb) {
    // Every region lies at a fixed offset of a full image; a shorter one would be read past
    // its end.
    if (firmwareImage.size() < kImageSize) {
        text = Format(L"Flash write failed! (step: 0x%x)\r\n", 0u);
        return false;
    }
    const std::vector<cert::SecureRegion> regions =
        cert::PlanSecureRegions(firmwareImage, includeCertificate, skipCmdb);
    int32_t total = 0;
    for (const cert::SecureRegion& region : regions) {
        total += region.length;
    }
    int32_t done = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const cert::SecureRegion& region = regions[i];
        const uint8_t* bytes = firmwareImage.data() + region.offset;
        if (ProgramErasedRegion(bytes, region.length, region.programCode, region.offset, &done,
                                total, &stepCode)) {
            continue;
        }
        const bool last = i + 1 == regions.size();
        text = last && stepCode == kSecureVerificationFailed
                   ? std::wstring(L"Secure verification failed!\r\n")
                   : Format(L"Flash write failed! (step: 0x%x)\r\n", stepCode);
        return false;
    }
    return true;
}

}  // namespace zorvan
