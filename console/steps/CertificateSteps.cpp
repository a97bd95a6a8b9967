#include "console/steps/CertificateSteps.h"

#include "console/ConsoleText.h"
#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

constexpr uint8_t kPlainProgramCode = 0x10;
constexpr uint8_t kVerifyBlank = 0xF0;
constexpr uint8_t kVerifyDiffers = 0;

}  // namespace

bool WriteCertificateStep(ConsoleSession& session, std::wstring& message) {
    ZorvanControl& control = session.control;
    platform::Print(L"Flash writing \"Device Certificate\"......   0%");
    uint32_t stepCode = 0;
    int32_t progress = 0;
    // Only a whole fetched record is ever written.
    const bool haveCertificate =
        control.certificateLength > 0 &&
        control.certificate.size() >= static_cast<size_t>(control.certificateLength);
    if (!haveCertificate ||
        !control.ProgramFlash(control.certificate.data(), control.certificateLength,
                              kPlainProgramCode, cert::CERTIFICATE_OFFSET, &progress,
                              control.certificateLength, &stepCode)) {
        platform::Print(L" [failed!]\r\n");
        message =
            Format(L"Flash writing \"Device Certificate\" failed! (step: 0x%x)\r\n", stepCode);
        return false;
    }
    platform::Print(L" [done!]\r\n");
    AppendLog(L"Flash writing \"Device Certificate\"...... Done\r\n");
    return true;
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
