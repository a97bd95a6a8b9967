// The second button as "Secure ISP": the host device updated through the chip's security
// firmware. The ESM is started (downloaded first when it is not running), the signed ISP
// driver is downloaded, handed its signature and started, and the image is written with
// the secure program codes; as configured the Device Certificate and the CMDB follow. The
// version read back is always compared with the image's.
#include <vector>

#include "core/cert/SecureImagePlan.h"
#include "core/config/Log.h"
#include "core/platform/Clock.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {
namespace {

// After the secure command 0x76, before the signed driver's download.
constexpr uint32_t kAfterCommand76Ms = 150;
// The settle time after ISP entry.
constexpr uint32_t kSecureEntrySettleMs = 1000;

uint32_t Byte(uint32_t version, int index) {
    return (version >> (8 * index)) & 0xFFu;
}

// major.minor, the minor in two digits below 10 (2.5 reads 2.05); with the build when it is
// asked for and not 0.
std::wstring VersionNumber(uint32_t version, bool withBuild) {
    const uint32_t minor = Byte(version, 0);
    const uint32_t major = Byte(version, 1);
    std::wstring text = minor < 10 ? Format(L"%d.0%d", major, minor) : Format(L"%d.%d", major, minor);
    if (withBuild && Byte(version, 2) != 0) {
        text += Format(L".%d", Byte(version, 2));
    }
    return text;
}

// The version's bytes in storage order; the build byte when it is asked for and not 0.
std::wstring VersionBytes(uint32_t version, bool withBuild) {
    std::wstring text = Format(L"0x%02X, 0x%02X", Byte(version, 0), Byte(version, 1));
    if (withBuild && Byte(version, 2) != 0) {
        text += Format(L", 0x%02X", Byte(version, 2));
    }
    return text;
}

}  // namespace

void ZorvanQuillonDlg::OnSecureIsp() {
    const bool firmwareExists = platform::PathExists(fwFilePath_);
    cmdbPending_ = false;
    if (writeCertificateMode_ != 0) {
        RunWriteCertificate();
        return;
    }
    BeginCommand(IDC_SECURE_ISP);
    control_.secureIsp = 1;  // stays on after the procedure
    host_.SetText(IDC_OUTPUT_BOX, L"Start Secure ISP...\r\n");

    std::wstring result;
    bool certificateReady = false;
    uint32_t version = 0;
    SecureStage stage = SecureStage::kFailed;
    if (control_.LoadDriverFile(result)) {
        if (firmwareExists) {
            stage = PrepareSecureUpdate(result, certificateReady);
        } else {
            result.clear();  // the firmware file vanished after the button was enabled
        }
    }
    if (stage == SecureStage::kStopped) {
        host_.Enable(IDC_SECURE_ISP, true);
        return;
    }
    const bool passed = stage == SecureStage::kGo && StartSecureDriver(result) &&
                        SecureFlashWork(certificateReady, result, version);

    ShowProgress(false);
    if (passed) {
        SetStatusColour(STATUS_PASSED);
        AppendStatusAndLog(Format(L"Flash FW version comparison successful!  (v%s)\r\n",
                                  VersionNumber(version, true).c_str()));
        result = Format(L"Secure ISP successful! (v%s)\r\n", VersionNumber(version, false).c_str());
        AppendLog(result);  // the output box already shows the comparison line
    } else {
        SetStatusColour(STATUS_FAILED);
        AppendStatusAndLog(result);
    }
    host_.Redraw(IDC_OUTPUT_BOX);
    ResetAfterOperation();
    ShowResult(result, passed);
    host_.Enable(IDC_SECURE_ISP, true);
}

// The files, the current version, the certificate lookup and the question; nothing has
// been sent to the chip's ISP mode yet.
SecureStage ZorvanQuillonDlg::PrepareSecureUpdate(std::wstring& result, bool& certificateReady) {
    control_.firmwarePath = fwFilePath_;
    if (!control_.LoadFirmwareFile(result)) {
        return SecureStage::kFailed;
    }
    if (config_.programCmdb) {
        std::wstring message;  // not shown: the line below says what matters
        if (control_.LoadCmdbFile(message)) {
            cmdbPending_ = true;
        } else {
            AppendStatusAndLog(L"Loading CMDB file failed!\r\n");
        }
    }
    AppendStatusAndLog(CurrentVersionLine());
    if (config_.programDeviceCertificate) {
        std::wstring text;
        if (!control_.GetDeviceCertificate(text)) {
            AppendStatusAndLog(text);
            return SecureStage::kStopped;
        }
        AppendStatusAndLog(texts::kGotSerialNumber);
        certificateReady = true;
    }
    if (onBoardVersion_ != 0 && !config_.oneStepProgramming &&
        !host_.AskYesNo(L"Do you want to update it with FW from file?", kAppTitle)) {
        return SecureStage::kStopped;
    }
    return SecureStage::kGo;
}

// ISP entry, the ESM and the secure process, then the signed driver up to its mailbox.
bool ZorvanQuillonDlg::StartSecureDriver(std::wstring& result) {
    if (!control_.EnterIspMode(kSecureEntrySettleMs, IspEntryPauses::kSecureDialog)) {
        result = texts::kResetFailed;
        return false;
    }
    if (!control_.ClearEsmHandle()) {
        AppendStatus(L"ClearEsmHandle failed!\r\n");  // reported only: the procedure goes on
    }
    control_.StartSecureIsp();  // its answer decides nothing
    if (!StartSecureProcess(result)) {
        return false;
    }
    control_.SecureCommand76();  // its answer decides nothing
    platform::SleepMs(kAfterCommand76Ms);
    if (!DownloadDriverStep(true, result)) {
        return false;
    }
    if (!control_.SendDriverSignature()) {
        result = L"Loading signature of ISP drv failed!\r\n";
        return false;
    }
    AppendStatus(L"Running ISP driver... ");
    if (!control_.StartSignedDriver()) {
        AppendStatus(texts::kFailed);
        result = L"Running ISP driver... failed!\r\n";
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(L"Running ISP driver... Done\r\n");
    AwaitDriverMailbox();
    return true;
}

// A running ESM only has its secure process restarted; otherwise it is downloaded from its
// file and started.
bool ZorvanQuillonDlg::StartSecureProcess(std::wstring& result) {
    AppendStatus(L"Check ESM status... ");
    uint32_t esmStatus = 0;
    bool started = false;
    if (control_.CheckEsmStatus(esmStatus)) {
        AppendStatus(L"Started!\r\n");
        AppendLog(Format(L"Check ESM status... Started! 0x%X\r\n", esmStatus));
        started = control_.BootStartSecProc();
    } else {
        AppendStatus(L"Not started!\r\n");
        AppendLog(L"Check ESM status... Not started!\r\n");
        if (!control_.LoadEsmFile(result)) {
            return false;
        }
        AppendStatus(L"Loading ESM binary... ");
        ShowProgress(true);
        if (!control_.DownloadEsm()) {
            AppendStatus(texts::kFailed);
            result = L"Load ESM binary failed!\r\n";
            return false;
        }
        AppendStatus(texts::kDone);
        AppendLog(L"Loading ESM binary... Done\r\n");
        started = control_.StartSecProc();
    }
    if (!started) {
        result = L"Starting Secure Process... failed!\r\n";
        return false;
    }
    AppendStatusAndLog(L"Starting Secure Process... successfully\r\n");
    return true;
}

// The flash ID, the erase, the secure image, the certificate, the version check and, after
// an equal version, the CMDB. version receives the version read back.
bool ZorvanQuillonDlg::SecureFlashWork(bool certificateReady, std::wstring& result,
                                       uint32_t& version) {
    if (!ReadFlashIdStep(result)) {
        return false;
    }
    const uint16_t selector = SecureEraseSelector();
    AppendStatus(Format(L"Erasing flash (%X)......", static_cast<unsigned>(selector)));
    if (!control_.EraseFlash(selector)) {
        AppendStatus(texts::kFailed);
        result = L"Erasing flash... failed\r\n";
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(L"Erasing flash... Done\r\n");

    AppendStatus(L"Flash writing firmware... ");
    ShowProgress(true);
    uint32_t stepCode = 0;
    std::wstring failure;
    const bool includeCertificate = !certificateReady && config_.debugMode;
    if (!control_.ProgramSecureImage(includeCertificate, stepCode, failure,
                                     config_.programCmdb)) {
        AppendStatus(texts::kFailed);
        AppendLog(failure);
        result = L"Flash writing firmware... failed\r\n";
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(L"Flash writing firmware... Done\r\n");
    std::vector<WrittenRange> ranges;
    for (const cert::SecureRegion& region :
         cert::PlanSecureRegions(control_.firmwareImage, includeCertificate, config_.programCmdb)) {
        ranges.push_back(ImageRange(control_.firmwareImage, region.offset,
                                    static_cast<uint32_t>(region.length)));
    }
    if (!VerifyAfterWriteStep(texts::kVerifyingFirmware, ranges, result)) {
        return false;
    }

    if (config_.programDeviceCertificate && certificateReady) {
        if (!WriteCertificateStep(PROGRAM_CODE_78, result)) {
            return false;
        }
        bool verified = false;  // reported only: the version decides the outcome
        AppendStatusAndLog(VerifyWrittenCertificate(verified));
    }

    version = control_.ReadFlashVersion();
    const uint32_t bin = control_.binVersion;
    if (version != bin) {
        AppendStatusAndLog(Format(L"Flash FW version comparison failed!  Version: %s (%s) not match.\r\n",
                                  VersionNumber(version, true).c_str(),
                                  VersionBytes(version, true).c_str()));
        AppendStatusAndLog(Format(L"FW Version from binary file is %s (%s)\r\n",
                                  VersionNumber(bin, false).c_str(),
                                  VersionBytes(bin, false).c_str()));
        result = Format(L"Secure ISP failed! \r\n(Version read back: 0x%02X 0x%02X not matched)\r\n",
                        Byte(version, 0), Byte(version, 1));
        AppendLog(result);
        return false;
    }
    if (cmdbPending_) {
        if (!WriteCmdbStep(result)) {
            return false;
        }
        if (!control_.VerifyCmdb(false)) {
            result = texts::kCmdbVerifyFailed;
            return false;
        }
        AppendStatusAndLog(texts::kCmdbVerified);
    }
    return true;
}

// Unlike the plain update's, the flash's certificate area is read only when a CMDB is to
// be written, from the image or from the CMDB file.
uint16_t ZorvanQuillonDlg::SecureEraseSelector() {
    if (!ImageHolds(kCmdbFlashOffset, "CMDB") && !config_.programCmdb) {
        return ERASE_KEEP_CERTIFICATE_NO_CMDB;
    }
    return FullEraseNeeded() ? ERASE_FULL : ERASE_KEEP_CERTIFICATE;
}

}  // namespace zorvan::gui
