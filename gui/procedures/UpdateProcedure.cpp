// The firmware update of the host device ("Start", or "Update" in the one-step layout):
// the firmware regions, then as configured the Device Certificate and the CMDB.
#include <vector>

#include "core/cert/CertificateArea.h"
#include "core/config/Log.h"
#include "core/control/VersionText.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"
#include "gui/procedures/ProcedureTexts.h"

namespace zorvan::gui {
namespace {

struct Region {
    uint32_t offset;
    int32_t length;
};

constexpr Region kBootRegion{0x00000, 0x24000};
constexpr Region kMainRegion{0x24000, 0x3C000};
constexpr Region kImageCmdbRegion{0x7E000, 0x80};
constexpr Region kTailRegion{0x7FC00, 0x400};
// The progress total of the regions after the first: with and without the image's CMDB.
constexpr int32_t kRegionsTotal = 0x60400;
constexpr int32_t kRegionsTotalWithCmdb = 0x60480;
constexpr uint32_t kCertificateOffset = cert::CERTIFICATE_OFFSET;
constexpr uint32_t kCmdbOffset = kCmdbFlashOffset;

// The regions in the order they are written; the image's CMDB block only when it is asked for.
std::vector<Region> FirmwareRegions(bool imageCmdb) {
    std::vector<Region> regions = {kBootRegion, kMainRegion};
    if (imageCmdb) {
        regions.push_back(kImageCmdbRegion);
    }
    regions.push_back(kTailRegion);
    return regions;
}

}  // namespace

void ZorvanQuillonDlg::OnStart() {
    AppendLogSeparator();
    SetStatusColour(STATUS_NORMAL);
    const bool oneStep = config_.oneStepProgramming;
    const bool withPorts = (port1Ready_ != 0 || port2Ready_ != 0) && hostReady_ != 0;
    std::wstring start = L"Start ISP...\r\n";
    if (oneStep) {
        start = L"Start updating firmware ...... Please do NOT shut down system!\r\n";
        if (withPorts) {
            host_.SetText(IDC_HOST_STATUS, L"Updating ...");
        }
    }
    statusLine_.SetWindowText(L"Starting ISP procedure...");
    host_.SetText(IDC_OUTPUT_BOX, start);
    currentChipType_ = control_.GetChipType();
    CheckBoxesToFlags();
    control_.secureIsp = 0;
    host_.Enable(IDC_START, false);
    host_.SetProgressRange(IDC_PROGRESS, 0, kProgressRange);
    if (withPorts) {
        AppendStatusAndLog(L"--> Update F/W on Host device...\r\n");
    }
    if (hostReady_ != 0) {
        const std::wstring line = CurrentVersionLine();
        AppendLog(line);
        if (!oneStep) {
            AppendStatus(line);
        }
    }
    std::wstring result;
    const bool ok = UpdateDevice(result);
    ShowProgress(false);
    if (ok) {
        SetStatusColour(STATUS_PASSED);
        statusLine_.SetWindowText(L"ISP completed!");
    } else {
        SetStatusColour(STATUS_FAILED);
        statusLine_.SetWindowText(L"ISP failed!");
        AppendStatusAndLog(result);
    }
    if (!oneStep) {
        host_.Enable(IDC_START, true);  // one update per run in the one-step layout
    }
    host_.Redraw(IDC_OUTPUT_BOX);
    if (!result.empty()) {
        ShowResult(result, ok);
    }
}

std::wstring ZorvanQuillonDlg::CurrentVersionLine() {
    currentChipType_ = control_.GetChipType();
    std::wstring description;
    control_.GetChipInfo(currentChipType_, description);
    onBoardVersion_ = control_.chipVersion;
    return Format(L"Current Firmware Version: %s\r\n", description.c_str());
}

std::wstring ZorvanQuillonDlg::UpdateQuestion(bool certificateReady) const {
    if (hostReady_ != 0 && onBoardVersion_ != 0) {
        return L"Do you want to update new firmware?";
    }
    if (certificateReady && cmdbPending_) {
        return L"Do you want to update \"Device Certificate\" and \"CMDB\"?";
    }
    if (cmdbPending_) {
        return L"Do you want to update \"CMDB\"?";
    }
    return L"Continue to update firmware?";
}

// Exits: E (the end texts), R (the reset, then success or F) and F (the failure text).
bool ZorvanQuillonDlg::UpdateDevice(std::wstring& result) {
    bool r = true;
    bool certificateReady = false;
    const bool host = hostReady_ != 0;
    const auto exitF = [&] {
        statusLine_.SetWindowText(L"ISP failed!");
        AppendStatusAndLog(result);
        return false;
    };
    const auto exitR = [&] {
        ResetAfterOperation();
        ShowProgress(false);
        return r ? true : exitF();
    };
    const auto failAfterIsp = [&] {
        ResetAfterOperation();
        ShowProgress(false);
        return exitF();
    };

    cmdbPending_ = false;
    control_.driverPath = driverFilePath_;
    if (!control_.LoadDriverFile(result)) {
        r = false;
        return exitR();
    }
    if (host) {
        control_.firmwarePath = fwFilePath_;
        if (!control_.LoadFirmwareFile(result)) {
            r = false;
            return exitR();
        }
    }
    if (config_.programCmdb) {
        std::wstring message;
        if (control_.LoadCmdbFile(message)) {
            cmdbPending_ = true;
        } else {
            r = false;
            AppendStatusAndLog(message);
            AppendStatusAndLog(L"Loading CMDB file failed!\r\n");
        }
    }
    if (config_.programDeviceCertificate) {
        if (!control_.GetDeviceCertificate(result)) {
            AppendStatusAndLog(result);
            r = false;
            return exitR();
        }
        AppendStatusAndLog(texts::kGotSerialNumber);
        certificateReady = true;
    }
    // Nothing to write (no firmware, no CMDB, no certificate): ISP mode would only leave
    // the chip waiting for a reset.
    if (!host && !cmdbPending_ && !config_.programDeviceCertificate) {
        result = L"No available data can be written to flash!\r\n";
        return false;
    }
    if (!config_.oneStepProgramming && config_.fwComparison &&
        !host_.AskYesNo(UpdateQuestion(certificateReady), kAppTitle)) {
        result = L"ISP stopped!\r\n";
        return false;
    }

    int32_t step = 1;
    if (!RunIspCore(step)) {
        result = Format(L"ISP failed! (%d)\r\n", step);
        return failAfterIsp();
    }
    if (host) {
        AppendStatus(L"Flash writing firmware... ");
        ShowProgress(true);
        uint32_t stepCode = 0;
        if (!WriteFirmwareRegions(stepCode, result)) {
            return failAfterIsp();
        }
        r = true;
        if (config_.fwComparison && !CompareFlashVersion()) {
            result = L"ISP failed!\r\n";
            return failAfterIsp();
        }
    }
    if (config_.programDeviceCertificate && certificateReady) {
        static constexpr AreaWrite kCertificate = {
            L"Flash writing Device Certificate... ", false,
            L"Flash writing Device Certificate failed! (step: 0x%x)\r\n",
            L"Flash writing Device Certificate... Done\r\n", texts::kVerifyingCertificate};
        if (!WriteAreaStep(control_.certificate.data(), control_.certificateLength,
                           PROGRAM_CODE_NORMAL, kCertificateOffset, kCertificate, result)) {
            return failAfterIsp();
        }
        bool verified = false;
        AppendStatusAndLog(VerifyWrittenCertificate(verified));
        r = r && verified;
    }
    if (cmdbPending_) {
        if (!WriteCmdbStep(result)) {
            r = false;
        } else {
            const bool verified = control_.VerifyCmdb(false);
            AppendStatusAndLog(verified ? texts::kCmdbVerified : texts::kCmdbVerifyFailed);
            r = r && verified;
        }
    }
    // Exit E.
    if (r) {
        if (host) {
            result = L"ISP completed!\r\n";
        } else if (certificateReady && cmdbPending_) {
            result = L"Updated \"Device Certificate\" and \"CMDB\" successfully!\r\n";
        } else if (cmdbPending_) {
            result = L"Updated \"CMDB\" successfully!\r\n";
        }
        AppendLog(result);
    }
    statusLine_.SetWindowText(L"ISP completed!");
    return exitR();
}

// Regions 1, 2, (3) and 4 with one progress counter; region 1 counts against the image's
// length, the later ones against the whole written size. With VerifyAfterWrite=1 they are
// then read back, result receiving a difference.
bool ZorvanQuillonDlg::WriteFirmwareRegions(uint32_t& stepCode, std::wstring& result) {
    const bool imageCmdb = !config_.programCmdb && ImageHolds(kCmdbOffset, "CMDB");
    const int32_t total = imageCmdb ? kRegionsTotalWithCmdb : kRegionsTotal;
    const std::vector<Region> regions = FirmwareRegions(imageCmdb);
    const uint8_t* image = control_.firmwareImage.data();
    int32_t counter = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const Region& region = regions[i];
        if (!control_.ProgramErasedRegion(image + region.offset, region.length,
                                          PROGRAM_CODE_NORMAL, region.offset, &counter,
                                          i == 0 ? control_.firmwareLength : total, &stepCode)) {
            AppendStatus(texts::kFailed);
            result = L"Flash writing FW...... Failed!\r\n";
            return false;
        }
    }
    AppendStatus(texts::kDone);
    AppendLog(L"Flash writing firmware... Done\r\n");
    std::vector<WrittenRange> ranges;
    for (const Region& region : regions) {
        ranges.push_back(ImageRange(control_.firmwareImage, region.offset,
                                    static_cast<uint32_t>(region.length)));
    }
    return VerifyAfterWriteStep(texts::kVerifyingFirmware, ranges, result);
}

bool ZorvanQuillonDlg::RunIspCore(int32_t& step) {
    step = 1;
    if (!control_.EnterIspMode()) {
        AppendStatusAndLog(L"ISP initialization failed!\r\n");
        return false;
    }
    step = 2;
    AppendStatus(L"Loading ISP driver ...... ");
    ShowProgress(true);
    if (!control_.DownloadIspDriver(false)) {
        AppendStatus(texts::kFailed);
        AppendLog(texts::kLoadDriverFailed);
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(texts::kLoadingDriverDone);
    step = 3;
    if (!control_.RunIspDriver()) {
        AppendStatusAndLog(L"Running ISP driver failed!\r\n");
        return false;
    }
    AwaitDriverMailbox();
    step = 4;
    AppendStatus(texts::kGetFlashId);
    uint16_t flashId = 0;
    std::wstring message;
    if (!control_.ReadFlashId(flashId, message)) {
        AppendStatus(texts::kFailed);
        AppendLog(texts::kGetFlashIdFailed);
        return false;
    }
    AppendStatus(Format(L"0x%04X\r\n", texts::FlashIdShown(flashId)));
    AppendLog(Format(L"Flash ID = 0x%04X\r\n", texts::FlashIdShown(flashId)));
    step = 5;
    const uint16_t selector = ChooseEraseSelector();
    AppendStatus(config_.oneStepProgramming
                     ? std::wstring(L"Erasing flash ...... ")
                     : Format(L"Erasing flash (%X)...... ", static_cast<unsigned>(selector)));
    if (!control_.EraseFlash(selector)) {
        AppendStatus(texts::kFailed);
        return false;
    }
    AppendStatus(texts::kDone);
    AppendLog(Format(L"Erasing flash (%X)... Done\r\n", static_cast<unsigned>(selector)));
    return true;
}

uint16_t ZorvanQuillonDlg::ChooseEraseSelector() {
    if (hostReady_ != 0) {
        if (FullEraseNeeded()) {
            return ERASE_FULL;
        }
        return (ImageHolds(kCmdbOffset, "CMDB") || cmdbPending_) ? ERASE_KEEP_CERTIFICATE
                                                                 : ERASE_KEEP_CERTIFICATE_NO_CMDB;
    }
    if (cmdbPending_) {
        return ERASE_CMDB;
    }
    return config_.programDeviceCertificate ? ERASE_CERTIFICATE : 0;
}

bool ZorvanQuillonDlg::CompareFlashVersion() {
    const uint32_t v = control_.ReadFlashVersion();
    const uint32_t bin = control_.binVersion;
    const std::wstring t = FormatVersion(currentChipType_, bin);
    if (v == bin) {
        AppendStatusAndLog(
            t.empty() ? std::wstring(L"Flash FW version comparison successful!\r\n")
                      : Format(L"Flash FW version comparison successful!  (%s)\r\n", t.c_str()));
        return true;
    }
    AppendStatusAndLog(Format(L"FW Version from BIN file: %s (0x%04X%02X)\r\n", t.c_str(),
                              bin & 0xFFFFu, (bin >> 16) & 0xFFu));
    AppendStatusAndLog(Format(L"FW version read back from flash: (0x%04X%02X) not match.\r\n",
                              v & 0xFFFFu, (v >> 16) & 0xFFu));
    return false;
}

}  // namespace zorvan::gui
