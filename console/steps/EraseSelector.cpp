#include "console/steps/EraseSelector.h"

#include "core/control/IspTypes.h"

namespace zorvan::console {

uint16_t ChooseEraseSelector(const EraseInputs& in,
                             const CertificateBlockProbe& flashHasCertificate) {
    if (!in.firmwareReady) {
        return in.programCmdb ? ERASE_CMDB : ERASE_CERTIFICATE;
    }
    if (!in.imageHasCmdb && !in.programCmdb) {
        return ERASE_KEEP_CERTIFICATE_NO_CMDB;
    }
    if (!flashHasCertificate()) {
        return ERASE_FULL;
    }
    if (in.programDeviceCertificate || (in.debugMode && in.imageHasCertificate)) {
        return ERASE_FULL;
    }
    return ERASE_KEEP_CERTIFICATE;
}

}  // namespace zorvan::console
