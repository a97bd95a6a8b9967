// "Verify Certificate": the certificate area of the flash, read through the running
// firmware, against the chip's record in the key files. No ISP driver, no reset.
#include "core/config/Log.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {

void ZorvanQuillonDlg::OnVerifyCertificate() {
    BeginCommand(IDC_VERIFY_CERT);
    host_.SetText(IDC_OUTPUT_BOX, L"");
    std::wstring result;
    bool ok = false;
    if (control_.GetDeviceCertificate(result)) {
        AppendStatusAndLog(texts::kGotSerialNumber);
        const uint8_t verdict = control_.VerifyCertificate(true);
        if (verdict == 0) {
            result = L"Verify \"Device Certificate\" failed!\r\n";
        } else if (verdict == 240) {
            result = L"Verify \"Device Certificate\" failed! (No certificate data in SPI flash)\r\n";
        } else {
            ok = true;
            result = L"Verify \"Device Certificate\" successful!\r\n";
        }
    }
    ShowProgress(false);
    SetStatusColour(ok ? STATUS_PASSED : STATUS_FAILED);
    host_.Redraw(IDC_OUTPUT_BOX);
    AppendStatusAndLog(result);
    ShowResult(result, ok);
    host_.Enable(IDC_VERIFY_CERT, true);
}

}  // namespace zorvan::gui
