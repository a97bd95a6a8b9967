// The second button as "Write Certificate": writes the chip's Device Certificate from the
// key files without touching its firmware.
#include "core/config/Log.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {

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
        if (!WriteCertificateStep(PROGRAM_CODE_NORMAL, result)) {
            return false;
        }
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
