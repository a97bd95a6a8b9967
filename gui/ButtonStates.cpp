// The main dialog's boxes and buttons: path changes, Browse, check boxes, the button
// states, the output box and its colours, and the progress bar.
#include <cwctype>

#include "core/config/Log.h"
#include "core/platform/Files.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"

namespace zorvan::gui {
namespace {

constexpr size_t kOutputColours = 0;
constexpr size_t kDriverColours = 1;
constexpr size_t kFirmwareColours = 2;
constexpr BoxColours kMissingFile{kRed, kWhite};
constexpr size_t kPathBoxVisibleLength = 60;
constexpr wchar_t kBrowseFilter[] = L"Files (*.bin)|*.bin|All Files (*.*)|*.*||";

bool Exists(const std::wstring& path) {
    return platform::PathExists(path);
}

}  // namespace

void ZorvanQuillonDlg::AppendStatus(const std::wstring& text) {
    host_.SetSelection(IDC_OUTPUT_BOX, -1, -1);
    host_.ScrollCaret(IDC_OUTPUT_BOX);
    host_.ReplaceSelection(IDC_OUTPUT_BOX, text);
}

void ZorvanQuillonDlg::SetPathBox(ControlId box, const std::wstring& path) {
    host_.SetText(box, path);
    if (path.size() > kPathBoxVisibleLength) {
        // The end of a long path, its file name, is what the user needs to see.
        host_.SetSelection(box, 1, -1);
        host_.ScrollCaret(box);
    }
}

void ZorvanQuillonDlg::SetBoxColour(size_t box, ControlId id, bool own) {
    ownColours_[box] = own;
    host_.SetBoxColours(id, own ? std::optional<BoxColours>(kMissingFile) : std::nullopt);
    host_.Redraw(id);
}

void ZorvanQuillonDlg::SetStatusColour(StatusColour state) {
    switch (state) {
        case STATUS_NORMAL:
            ownColours_[kOutputColours] = false;
            host_.SetBoxColours(IDC_OUTPUT_BOX, std::nullopt);
            break;
        case STATUS_FAILED:
            ownColours_[kOutputColours] = true;
            host_.SetBoxColours(IDC_OUTPUT_BOX, BoxColours{kBlack, kFailedBackground});
            break;
        case STATUS_PASSED:
            ownColours_[kOutputColours] = true;
            host_.SetBoxColours(IDC_OUTPUT_BOX, BoxColours{kBlack, kPassedBackground});
            break;
    }
}

void ZorvanQuillonDlg::UpdateProgress(int32_t done, int32_t total) {
    if (total <= 0) {
        return;  // no meaningful position
    }
    // 64 bits: done x 4096 leaves 32 bits once done reaches 2^19.
    const int64_t position = int64_t{done} * kProgressRange / total;
    if (!host_.IsShown(IDC_PROGRESS)) {
        host_.Show(IDC_PROGRESS, true);
    }
    host_.SetProgressPosition(IDC_PROGRESS, static_cast<int32_t>(position));
    host_.Redraw(IDC_PROGRESS);
}

void ZorvanQuillonDlg::UpdateButtonStates() {
    const bool esm = Exists(control_.esmPath);
    const bool drv = Exists(driverFilePath_);
    const bool fw = Exists(fwFilePath_);
    const bool key = Exists(control_.keysPath);
    const bool cmdb = Exists(control_.cmdbPath);
    const bool certificateReady = key && config_.programDeviceCertificate;
    hostReady_ = (fw && drv) ? 1 : 0;

    SetBoxColour(kDriverColours, IDC_DRIVER_BOX, !drv);
    SetBoxColour(kFirmwareColours, IDC_FW_BOX, !fwFilePath_.empty() && !fw);

    host_.Enable(IDC_START, hostReady_ != 0 || (config_.programCmdb && cmdb && drv));
    if (!config_.debugMode) {
        host_.Enable(IDC_ERASE, config_.programCmdb && cmdb);
    }
    host_.Enable(IDC_VERIFY_CERT, key);

    bool enabled = false;
    const wchar_t* caption = nullptr;  // null: the caption stays
    int32_t mode = writeCertificateMode_;
    if (!drv) {
        caption = L"Secure ISP";
    } else if (!esm) {
        if (certificateReady) {
            enabled = true;
            caption = L"Write Certificate";
            mode = 1;
        } else if (config_.secureIsp) {
            caption = L"Secure ISP";
        }
    } else if (fw) {
        enabled = true;
        caption = L"Secure ISP";
        mode = 0;
    } else if (certificateReady) {
        enabled = true;
        caption = L"Write Certificate";
        mode = 1;
    } else {
        caption = L"Secure ISP";
        mode = 0;
    }
    host_.Enable(IDC_SECURE_ISP, enabled);
    if (caption != nullptr) {
        host_.SetText(IDC_SECURE_ISP, caption);
    }
    writeCertificateMode_ = mode;
}

void ZorvanQuillonDlg::OnPathChanged(ControlId box) {
    const std::wstring text = host_.GetText(box);
    switch (box) {
        case IDC_ESM_BOX:
            control_.esmPath = text;
            break;
        case IDC_DRIVER_BOX:
            driverFilePath_ = text;
            break;
        case IDC_FW_BOX:
            fwFilePath_ = text;
            break;
        case IDC_FW_P1_BOX:
            fwFilePathP1_ = text;
            port1Ready_ = Exists(text) ? 1 : 0;
            break;
        case IDC_FW_P2_BOX:
            fwFilePathP2_ = text;
            port2Ready_ = Exists(text) ? 1 : 0;
            break;
        case IDC_KEY_BOX:
            OnKeyPathChanged();
            return;
        case IDC_CMDB_BOX:
            control_.cmdbPath = text;
            break;
        default:
            return;  // the adapter and output boxes have no handler
    }
    UpdateButtonStates();
}

void ZorvanQuillonDlg::OnKeyPathChanged() {
    std::wstring& keys = control_.keysPath;
    keys = host_.GetText(IDC_KEY_BOX);
    if (!config_.programDeviceCertificate || keys.empty()) {
        host_.Enable(IDC_VERIFY_CERT, false);
        return;
    }
    while (!keys.empty() && std::iswspace(static_cast<wint_t>(keys.back()))) {
        keys.pop_back();
    }
    if (!keys.empty() && (keys.back() == L'\\' || keys.back() == platform::PathSeparator())) {
        keys.pop_back();
    }
    UpdateButtonStates();
}

void ZorvanQuillonDlg::OnBrowse(ControlId button) {
    struct Target {
        ControlId button;
        ControlId box;
        std::wstring* member;
    };
    const Target targets[] = {
        {IDC_ESM_BROWSE, IDC_ESM_BOX, &control_.esmPath},
        {IDC_DRIVER_BROWSE, IDC_DRIVER_BOX, &control_.driverPath},
        {IDC_FW_BROWSE, IDC_FW_BOX, &fwFilePath_},
        {IDC_FW_P1_BROWSE, IDC_FW_P1_BOX, &fwFilePathP1_},
        {IDC_FW_P2_BROWSE, IDC_FW_P2_BOX, &fwFilePathP2_},
        {IDC_KEY_BROWSE, IDC_KEY_BOX, &control_.keysPath},
        {IDC_CMDB_BROWSE, IDC_CMDB_BOX, &control_.cmdbPath},
    };
    for (const Target& t : targets) {
        if (t.button != button) {
            continue;
        }
        OpenFileRequest request;
        request.defaultExtension = L"bin";
        request.initialFile = *t.member;
        request.flags = kOfnFileMustExist | kOfnShareAware;
        request.filter = kBrowseFilter;
        request.explorerStyle = true;
        if (std::optional<std::wstring> chosen = host_.OpenFile(request)) {
            *t.member = *chosen;
            SetPathBox(t.box, *chosen);
        }
        FlagsToCheckBoxes();
        return;
    }
}

void ZorvanQuillonDlg::OnCheckBox(ControlId box) {
    CheckBoxesToFlags();
    if (box == IDC_CERT_CHECK) {
        for (ControlId id : {IDC_KEY_LABEL, IDC_KEY_BOX, IDC_KEY_BROWSE}) {
            host_.Enable(id, config_.programDeviceCertificate);
        }
    } else {
        for (ControlId id : {IDC_CMDB_LABEL, IDC_CMDB_BOX, IDC_CMDB_BROWSE}) {
            host_.Enable(id, config_.programCmdb);
        }
    }
    UpdateButtonStates();
}

void ZorvanQuillonDlg::ResetAfterOperation() {
    if (!config_.runResetOne) {
        return;
    }
    const std::wstring line = control_.SystemReset() ? L"System Reset ...Done\r\n"
                                                     : L"System Reset ...Not available!\r\n";
    AppendStatus(line);
    AppendLog(line);
}

}  // namespace zorvan::gui
