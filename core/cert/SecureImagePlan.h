#pragma once
// The regions a secure image write programs, in order, each with its program code: the two
// code regions, the image's own certificate and CMDB areas when it carries them and they are
// wanted, and the last KiB, which the chip takes only when the image's signature verifies.
#include <cstdint>
#include <vector>

namespace zorvan::cert {

struct SecureRegion {
    uint32_t offset;
    int32_t length;
    uint8_t programCode;
};

std::vector<SecureRegion> PlanSecureRegions(const std::vector<uint8_t>& image,
                                            bool includeCertificate, bool skipCmdb);

}  // namespace zorvan::cert
