// -WriteDevCert: the chip's certificate from the key files, written into the flash's
// certificate block through the ISP driver and read back; the system reset at the end,
// whatever the outcome.
#include <string>

#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "console/steps/CertificateSteps.h"
#include "console/steps/IspSteps.h"
#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {
namespace {

// Everything up to the certificate block erased; false with `message` set (an erase
// failure leaves it empty: the log tells).
bool PrepareCertificateBlock(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    if (!control.EnterIspMode()) {
        message = L"Reset Zorvan failed!\r\n";
        return false;
    }
    if (!LoadAndRunIspDriver(session, message) || !ReadMailboxAndFlashId(session, message)) {
        return false;
    }
    platform::Print(L"Erasing Dev Certificate block......");
    if (!control.EraseFlash(cert::ERASE_CERTIFICATE_BLOCK)) {
        platform::Print(L" [failed!]\r\n");
        AppendLog(L"Erasing Dev Certificate block...... failed!\r\n");
        message.clear();
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Erasing Dev Certificate block...... Done\r\n");
    return true;
}

bool WriteDeviceCertificate(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    control.secureIsp = 0;
    if (!control.LoadDriverFile(message)) {
        return false;
    }
    // Nothing is erased or written before the chip's own record is in hand.
    if (!control.GetDeviceCertificate(message)) {
        platform::Print(message);
        return false;
    }
    PrintAndLog(L"Got match serial number!\r\n");
    return PrepareCertificateBlock(session, message) && WriteCertificateStep(session, message) &&
           VerifyCertificateStep(session, message);
}

}  // namespace

bool WriteDeviceCertificateCommand(ConsoleSession& session) {
    std::wstring message;
    const bool written = WriteDeviceCertificate(session, message);
    if (!written) {
        PrintFailedBanner(message);
        AppendLog(message);
    }
    ResetSystemIfConfigured(session);
    return written;
}

}  // namespace zorvan::console
