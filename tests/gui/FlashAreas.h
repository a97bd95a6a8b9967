#pragma once
// The flash areas the update tests arrange and check: the certificate block, the CMDB and
// the last kilobyte, on the chip's flash and in the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "sim/demo/DemoImages.h"

namespace zorvan::gui::testing {

inline constexpr uint32_t kCertificateOffset = 0x60000;
inline constexpr uint32_t kCertificateSize = 422;
inline constexpr uint32_t kCmdbOffset = 0x7E000;
inline constexpr uint32_t kLastKib = 0x7FC00;

inline std::vector<uint8_t> Bytes(const std::vector<uint8_t>& flash, uint32_t offset,
                                  size_t count) {
    return {flash.begin() + offset, flash.begin() + offset + static_cast<ptrdiff_t>(count)};
}

inline void Put(std::vector<uint8_t>& flash, uint32_t offset, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), flash.begin() + offset);
}

// How often part stands in text.
template <typename Text>
size_t Count(const Text& text, const std::type_identity_t<Text>& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != Text::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A certificate area in use on the chip, and a CMDB it carries from earlier, unlike the
// image's (1.0) and the file's (2.1).
inline const std::vector<uint8_t> kOldCertificate = {'K', 'q', '1', '1', 0x12, 0x34, 0x56, 0x78};
inline const std::vector<uint8_t> kOldCmdb = sim::MakeCmdbRecord(9, 9, 9, 9, {});
// A certificate the image itself carries.
inline std::vector<uint8_t> ImageCertificate() {
    std::vector<uint8_t> record(kCertificateSize, 0x3C);
    Put(record, 0, {'K', 'q', '1', '1'});
    return record;
}

struct AreaSetup {
    bool flashCertificate;  // the chip's certificate area is in use
    bool imageCmdb;         // the image carries a CMDB at 0x7E000 (as built it does)
    bool imageCertificate;  // the image carries a certificate at 0x60000
};

inline void ArrangeAreas(const AreaSetup& setup, std::vector<uint8_t>& flash,
                         std::vector<uint8_t>& image) {
    if (setup.flashCertificate) {
        Put(flash, kCertificateOffset, kOldCertificate);
    }
    if (!setup.imageCmdb) {
        Put(image, kCmdbOffset, std::vector<uint8_t>(0x80, 0xFF));
    }
    if (setup.imageCertificate) {
        Put(image, kCertificateOffset, ImageCertificate());
    }
}

}  // namespace zorvan::gui::testing
