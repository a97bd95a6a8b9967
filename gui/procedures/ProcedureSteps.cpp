// Steps the dialog's procedures share: the common start of a command, the progress bar,
// the result shown at the end, and the ISP driver start of the single-purpose commands.
#include <algorithm>

#include "core/config/Log.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {
namespace {

constexpr uint32_t kCertificateOffset = 0x60000;
constexpr uint8_t kCertificateSignature[4] = {'K', 'q', '1', '1'};

}  // namespace

void ZorvanQuillonDlg::BeginCommand(ControlId button) {
    if (config_.notDeleteLogFile) {
        AppendLogSeparator();
    } else {
        DeleteLogFile();
    }
    SetStatusColour(STATUS_NORMAL);
    CheckBoxesToFlags();
    control_.secureIsp = 0;
    host_.Enable(button, false);
    host_.SetProgressRange(IDC_PROGRESS, 0, kProgressRange);
}

void ZorvanQuillonDlg::ShowProgress(bool shown) {
    host_.Show(IDC_PROGRESS, shown);
}

void ZorvanQuillonDlg::AppendStatusAndLog(const std::wstring& text) {
    AppendStatus(text);
    AppendLog(text);
}

void ZorvanQuillonDlg::ShowResult(const std::wstring& result, bool passed) {
    host_.MessageBox(result, kAppTitle, passed ? MessageIcon::Information : MessageIcon::Error);
}

bool ZorvanQuillonDlg::EnterIspModeQuickly() {
    return control_.EnterIspMode(0, IspEntryPauses::kSecureDialog);
}

bool ZorvanQuillonDlg::LoadAndRunIspDriver(std::wstring& result) {
    AppendStatus(texts::kLoadingDriver);
    ShowProgress(true);
    if (!control_.DownloadIspDriver(false)) {
        AppendStatus(texts::kFailed);
        result = texts::kLoadDriverFailed;
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(texts::kLoadingDriverDone);
    if (!control_.RunIspDriver()) {
        result = texts::kRunDriverFailed;
        return false;
    }
    platform::SleepMs(static_cast<uint32_t>(std::max(config_.ispDriverRunDelay, 0)));
    control_.ReadMailbox();
    AppendStatus(texts::kGetFlashId);
    uint16_t flashId = 0;
    std::wstring message;
    if (!control_.ReadFlashId(flashId, message)) {
        AppendStatus(texts::kFailed);
        result = texts::kGetFlashIdFailed;
        return false;
    }
    AppendStatusAndLog(Format(texts::kSpiFlashId, texts::FlashIdShown(flashId)));
    return true;
}

// A failed read counts as a flash without the certificate.
bool ZorvanQuillonDlg::FlashHoldsCertificate() {
    uint8_t head[4] = {};
    return control_.ReadFlash(kCertificateOffset, head, 4) &&
           std::equal(head, head + 4, kCertificateSignature);
}

}  // namespace zorvan::gui
