// Steps the dialog's procedures share: the common start of a command, the progress bar,
// the result shown at the end, the ISP driver's download and start, the flash ID, and the
// certificate and CMDB writes.
#include <algorithm>

#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/LinkReservation.h"
#include "core/platform/Clock.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {

std::unique_ptr<platform::LinkLock> ZorvanQuillonDlg::HoldLink() {
    std::wstring message;
    std::unique_ptr<platform::LinkLock> lock =
        ReserveLink(control_, adapterSelection_,
                    simulator_ ? simulator_->LinkScope() : std::wstring(), message);
    if (lock == nullptr) {
        SetStatusColour(STATUS_FAILED);
        host_.SetText(IDC_OUTPUT_BOX, message);
        host_.Redraw(IDC_OUTPUT_BOX);
        AppendLog(message);
        ShowResult(message, false);
    }
    return lock;
}

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

bool ZorvanQuillonDlg::DownloadDriverStep(bool secure, std::wstring& result) {
    AppendStatus(texts::kLoadingDriver);
    ShowProgress(true);
    if (!control_.DownloadIspDriver(secure)) {
        AppendStatus(texts::kFailed);
        result = texts::kLoadDriverFailed;
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(texts::kLoadingDriverDone);
    return true;
}

void ZorvanQuillonDlg::AwaitDriverMailbox() {
    platform::SleepMs(static_cast<uint32_t>(std::max(config_.ispDriverRunDelay, 0)));
    control_.ReadMailbox();
}

bool ZorvanQuillonDlg::ReadFlashIdStep(std::wstring& result) {
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

bool ZorvanQuillonDlg::LoadAndRunIspDriver(std::wstring& result) {
    if (!DownloadDriverStep(false, result)) {
        return false;
    }
    if (!control_.RunIspDriver()) {
        result = texts::kRunDriverFailed;
        return false;
    }
    AwaitDriverMailbox();
    return ReadFlashIdStep(result);
}

bool ZorvanQuillonDlg::WriteAreaStep(const uint8_t* data, int32_t length, uint8_t programCode,
                                     uint32_t flashOffset, const AreaWrite& area,
                                     std::wstring& result) {
    AppendStatus(area.writing);
    if (area.showsProgress) {
        ShowProgress(true);
    }
    int32_t counter = 0;
    uint32_t stepCode = 0;
    if (!control_.ProgramFlash(data, length, programCode, flashOffset, &counter, length,
                               &stepCode)) {
        AppendStatus(texts::kFailed);
        result = Format(area.failed, stepCode);
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(area.done);
    const WrittenRange written = {
        flashOffset, std::span<const uint8_t>(data, static_cast<size_t>(length))};
    return VerifyAfterWriteStep(area.verifying, {&written, 1}, result);
}

bool ZorvanQuillonDlg::VerifyAfterWriteStep(const wchar_t* verifying,
                                            std::span<const WrittenRange> ranges,
                                            std::wstring& result) {
    if (!config_.verifyAfterWrite) {
        return true;
    }
    AppendStatus(verifying);
    const VerifyOutcome outcome = VerifyWrittenFlash(control_, ranges);
    if (outcome.kind != VerifyOutcome::Kind::kEqual) {
        AppendStatus(texts::kFailed);
        result = VerifyFailureText(outcome);
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(std::wstring(verifying) + L"Done\r\n");
    return true;
}

bool ZorvanQuillonDlg::WriteCertificateStep(uint8_t programCode, std::wstring& result) {
    static constexpr AreaWrite kCertificate = {
        L"Flash writing \"Device Certificate\"... ", false,
        L"Flash writing \"Device Certificate\" failed! (step: 0x%x)\r\n",
        L"Flash writing \"Device Certificate\"... Done\r\n", texts::kVerifyingCertificate};
    return WriteAreaStep(control_.certificate.data(), control_.certificateLength, programCode,
                         cert::CERTIFICATE_OFFSET, kCertificate, result);
}

std::wstring ZorvanQuillonDlg::VerifyWrittenCertificate(bool& verified) {
    const uint8_t verdict = control_.VerifyCertificate(false);
    verified = verdict != 0 && verdict != 240;
    if (verdict == 0) {
        return texts::kCertificateVerifyFailed;
    }
    return verdict == 240 ? texts::kCertificateAreaBlank : texts::kCertificateVerified;
}

bool ZorvanQuillonDlg::WriteCmdbStep(std::wstring& result) {
    static constexpr AreaWrite kCmdb = {L"Flash writing CMDB... ", true,
                                        L"Flash writing CMDB failed! (step: 0x%x)\r\n",
                                        L"Flash writing CMDB... Done\r\n",
                                        L"Verifying CMDB... "};
    return WriteAreaStep(control_.cmdbImage.data(), control_.cmdbLength, PROGRAM_CODE_NORMAL,
                         kCmdbFlashOffset, kCmdb, result);
}

bool ZorvanQuillonDlg::ImageHolds(uint32_t offset, const char (&signature)[5]) const {
    const std::vector<uint8_t>& image = control_.firmwareImage;
    return image.size() >= size_t{offset} + 4 &&
           std::equal(image.begin() + offset, image.begin() + offset + 4, signature);
}

// A failed read counts as a flash without the certificate.
bool ZorvanQuillonDlg::FlashHoldsCertificate() {
    uint8_t head[4] = {};
    return control_.ReadFlash(cert::CERTIFICATE_OFFSET, head, 4) &&
           std::equal(head, head + 4, cert::CERTIFICATE_SIGNATURE);
}

bool ZorvanQuillonDlg::FullEraseNeeded() {
    return !FlashHoldsCertificate() || config_.programDeviceCertificate ||
           (config_.debugMode && ImageHolds(cert::CERTIFICATE_OFFSET, cert::CERTIFICATE_SIGNATURE));
}

}  // namespace zorvan::gui
