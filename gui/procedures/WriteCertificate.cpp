// The second button: "Secure ISP", or "Write Certificate", which writes the chip's Device
// Certificate from the key files without touching its firmware.
#include "core/config/Log.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {
namespace {

constexpr uint32_t kCertificateOffset = 0x60000;

}  // namespace

void ZorvanQuillonDlg::OnSecureIsp() {
    cmdbPending_ = false;
    if (writeCertificateMode_ != 0) {
        RunWriteCertificate();
    }
    // The secure update itself needs the core's secure operations, which it does not offer
    // yet: the button does nothing else for now.
}

void ZorvanQuillonDlg::RunWriteCertificate() {
    BeginCommand(IDC_SECURE_ISP);
    host_.SetText(IDC_OUTPUT_BOX, L"");
    std::wstring result;
    const auto write = [&] {
        if (!control_.LoadDriverFile(result) || !control_.GetDeviceCertificate(result)) {
            return false;
        }
        AppendStatusAndLog(texts::kGotSerialNumber);
        if (!EnterIspModeQuickly()) {
            result = texts::kResetFailed;
            return false;
        }
        if (!LoadAndRunIspDriver(result)) {
            return false;
        }
        AppendStatus(L"Erasing Dev Certificate block......");
        if (!control_.EraseFlash(ERASE_CERTIFICATE)) {
            AppendStatus(L" failed!\r\n");
            result = L"Erasing Dev Certificate block...... failed\r\n";
            return false;
        }
        AppendStatus(L" done!\r\n");
        AppendLog(L"Erasing Dev Certificate block...... Done\r\n");
        AppendStatus(L"Flash writing \"Device Certificate\"... ");
        int32_t counter = 0;
        uint32_t stepCode = 0;
        if (!control_.ProgramFlash(control_.certificate.data(), control_.certificateLength,
                                   PROGRAM_CODE_NORMAL, kCertificateOffset, &counter,
                                   control_.certificateLength, &stepCode)) {
            AppendStatus(texts::kFailed);
            result = Format(L"Flash writing \"Device Certificate\" failed! (step: 0x%x)\r\n",
                            stepCode);
            return false;
        }
        AppendStatus(texts::kDone);
        AppendLog(L"Flash writing \"Device Certificate\"... Done\r\n");
        const uint8_t verdict = control_.VerifyCertificate(false);
        if (verdict == 0) {
            result = texts::kCertificateVerifyFailed;
            return false;
        }
        if (verdict == 240) {
            result = L"Device Certificate... Verify failed! (No certificate data in SPI flash)!\r\n";
            return false;
        }
        AppendStatusAndLog(L"Device Certificate... Verify successful!\r\n");
        ShowProgress(false);
        result = L"Write \"Device Certificate\" successful!\r\n";
        SetStatusColour(STATUS_PASSED);
        return true;
    };
    const bool ok = write();
    if (!ok) {
        ShowProgress(false);
        SetStatusColour(STATUS_FAILED);
    }
    host_.Redraw(IDC_OUTPUT_BOX);
    AppendStatusAndLog(result);
    ResetAfterOperation();
    ShowResult(result, ok);
    host_.Enable(IDC_SECURE_ISP, true);
}

}  // namespace zorvan::gui
