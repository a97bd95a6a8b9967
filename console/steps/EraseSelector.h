#pragma once
// Which part of the flash a plain update erases: as little as the run rewrites, keeping a
// certificate that is already in place unless it is to be replaced.
#include <cstdint>
#include <functional>

namespace zorvan::console {

struct EraseInputs {
    bool firmwareReady = false;
    bool imageHasCmdb = false;         // the image carries "CMDB" at 0x7E000
    bool imageHasCertificate = false;  // the image carries the certificate signature at 0x60000
    bool programCmdb = false;
    bool programDeviceCertificate = false;
    bool debugMode = false;
};

// True when the flash's certificate block starts with the certificate signature; a failed
// read counts as no certificate. Called only when the choice depends on it.
using CertificateBlockProbe = std::function<bool()>;

uint16_t ChooseEraseSelector(const EraseInputs& in, const CertificateBlockProbe& flashHasCertificate);

}  // namespace zorvan::console
