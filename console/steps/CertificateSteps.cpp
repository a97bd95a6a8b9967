#include "console/steps/CertificateSteps.h"

#include "console/ConsoleText.h"
#include "console/steps/VerifySteps.h"
#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

constexpr uint8_t kVerifyBlank = 0xF0;
constexpr uint8_t kVerifyDiffers = 0;

// How one kind of update names and programs the certificate; the texts take the line's
// label ("Flash writing ...").
struct CertificateWrite {
    uint8_t programCode;
    const wchar_t* label;
};

constexpr CertificateWrite kPlainWrite = {PROGRAM_CODE_NORMAL,
                                          L"Flash writing \"Device Certificate\""};
constexpr CertificateWrite kSecureWrite = {PROGRAM_CODE_78, L"Flash writing Device Certificate"};

bool WriteCertificate(ConsoleSession& session, const CertificateWrite& how, std::wstring& message) {
    ZorvanControl& control = session.control;
    const std::wstring label = how.label;
    platform::Print(label + L"......   0%");
    uint32_t stepCode = 0;
    int32_t progress = 0;
    // Only a whole fetched record is ever written.
    const bool haveCertificate =
        control.certificateLength > 0 &&
        control.certificate.size() >= static_cast<size_t>(control.certificateLength);
    if (!haveCertificate ||
        !control.ProgramFlash(control.certificate.data(), control.certificateLength,
                              how.programCode, cert::CERTIFICATE_OFFSET, &progress,
                              control.certificateLength, &stepCode)) {
        platform::Print(L" [failed!]\r\n");
        message = label + Format(L" failed! (step: 0x%x)\r\n", stepCode);
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(label + L"...... Done\r\n");
    const WrittenRange written = {
        cert::CERTIFICATE_OFFSET,
        std::span<const uint8_t>(control.certificate.data(),
                                 static_cast<size_t>(control.certificateLength))};
    return VerifyAfterWriteStep(session, L"Verifying Device Certificate", {&written, 1}, message);
}

}  // namespace

bool LookUpCertificateStep(ConsoleSession& session, std::wstring& message) {
    if (!session.control.GetDeviceCertificate(message)) {
        session.config.programDeviceCertificate = false;
        session.config.runResetOne = false;
        return false;
    }
    PrintAndLog(L"Got match serial number!\r\n");
    return true;
}

bool WriteCertificateStep(ConsoleSession& session, std::wstring& message) {
    return WriteCertificate(session, kPlainWrite, message);
}

bool WriteSecureCertificateStep(ConsoleSession& session, std::wstring& message) {
    return WriteCertificate(session, kSecureWrite, message);
}

bool VerifyCertificateStep(ConsoleSession& session, std::wstring& message) {
    const uint8_t result = session.control.VerifyCertificate(false);
    if (result == kVerifyDiffers) {
        message = L"Device Certificate... Verify failed!\r\n";
        return false;
    }
    if (result == kVerifyBlank) {
        message = L"Device Certificate... Verify failed! (No certificate data in SPI flash)\r\n";
        return false;
    }
    const std::wstring verified = L"Device Certificate... Verified successfully!\r\n";
    PrintSuccess(verified);
    AppendLog(verified);
    return true;
}

}  // namespace zorvan::console
