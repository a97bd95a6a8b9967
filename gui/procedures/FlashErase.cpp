// Button 1035 in debug mode, "Flash Erase": the whole flash through the ISP driver. Once
// the driver file has loaded, the command ends with the configured reset.
#include "core/config/Log.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {

void ZorvanQuillonDlg::RunFlashErase() {
    BeginCommand(IDC_ERASE);
    host_.Redraw(IDC_OUTPUT_BOX);
    std::wstring result;
    bool erased = false;
    const bool driverLoaded = control_.LoadDriverFile(result);
    if (driverLoaded) {
        if (!EnterIspModeQuickly()) {
            result = texts::kResetFailed;
            AppendStatus(result);
        } else if (LoadAndRunIspDriver(result)) {
            AppendStatus(L"Erasing full flash... ");
            erased = control_.EraseFlash(ERASE_FULL);
            AppendStatus(erased ? texts::kDone : texts::kFailed);
            result = erased ? L"Erasing full flash... Done\r\n" : L"Erasing full flash... failed\r\n";
        }
    }
    AppendLog(result);
    SetStatusColour(erased ? STATUS_PASSED : STATUS_FAILED);
    host_.Redraw(IDC_OUTPUT_BOX);
    if (driverLoaded) {
        ResetAfterOperation();
    }
    ShowProgress(false);
    ShowResult(result, erased);
    host_.Enable(IDC_ERASE, true);
}

}  // namespace zorvan::gui
