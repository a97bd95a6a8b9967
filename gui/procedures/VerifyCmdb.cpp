// Button 1035 without debug mode, "Verify CMDB": the CMDB in flash, read through the
// running firmware, against the CMDB file, and the record's own checksum. No reset.
#include "core/config/Log.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {

void ZorvanQuillonDlg::OnEraseOrVerifyCmdb() {
    if (config_.debugMode) {
        RunFlashErase();
    } else {
        RunVerifyCmdb();
    }
}

void ZorvanQuillonDlg::RunVerifyCmdb() {
    BeginCommand(IDC_ERASE);
    host_.Redraw(IDC_OUTPUT_BOX);
    std::wstring result;
    bool ok = false;
    if (control_.LoadCmdbFile(result)) {
        if (!control_.VerifyCmdb(true)) {
            result = L"CMDB... Verification failed!\r\n";
        } else {
            result = texts::kCmdbVerified;
            ok = control_.CheckCmdb(result) == CMDB_OK;
        }
    }
    AppendStatusAndLog(result);
    SetStatusColour(ok ? STATUS_PASSED : STATUS_FAILED);
    host_.Redraw(IDC_OUTPUT_BOX);
    ShowProgress(false);
    ShowResult(result, ok);
    host_.Enable(IDC_ERASE, true);
}

}  // namespace zorvan::gui
