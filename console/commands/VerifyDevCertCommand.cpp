// -VerifyDevCert: the chip's certificate from the key files, compared with the flash's
// certificate area read through chip memory (no ISP driver, no system reset).
#include <string>

#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"

namespace zorvan::console {
namespace {

constexpr uint8_t kVerifyBlank = 0xF0;
constexpr uint8_t kVerifyDiffers = 0;

void Fail(const std::wstring& message) {
    PrintFailedBanner(message);
    AppendLog(message);
}

}  // namespace

bool VerifyDeviceCertificateCommand(ConsoleSession& session) {
    ZorvanControl& control = session.control;
    std::wstring text;
    if (!control.GetDeviceCertificate(text)) {
        Fail(text);
        return false;
    }
    PrintAndLog(L"Got match serial number!\r\n");
    const uint8_t result = control.VerifyCertificate(true);
    if (result == kVerifyDiffers) {
        Fail(L"Device Certificate... Verify failed!\r\n");
        return false;
    }
    if (result == kVerifyBlank) {
        Fail(L"Device Certificate... Verify failed! (No certificate data in SPI flash)\r\n");
        return false;
    }
    const std::wstring verified = L"Device Certificate... Verified successfully!\r\n";
    PrintSuccess(verified);
    AppendLog(verified);
    return true;
}

}  // namespace zorvan::console
