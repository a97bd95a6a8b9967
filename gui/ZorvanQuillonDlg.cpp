// The main dialog: construction, start-up, configuration, the two layouts and the
// window's messages.
#include "gui/ZorvanQuillonDlg.h"

#include "core/config/LoadConfig.h"
#include "core/config/Log.h"
#include "gui/Resource.h"

namespace zorvan::gui {

ZorvanQuillonDlg::ZorvanQuillonDlg(DialogHost& host, DialogEnvironment environment)
    : host_(host), environment_(std::move(environment)) {
    // Every flag starts off; a configuration that fails to load leaves them so.
    config_.fwComparison = false;
    config_.runResetOne = false;
    config_.oneStepProgramming = false;
}

ZorvanQuillonDlg::~ZorvanQuillonDlg() {
    control_.delegate = nullptr;
}

void ZorvanQuillonDlg::OnInitDialog() {
    FlagsToCheckBoxes();
    const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
        host_.AppendSystemMenuSeparator();
        host_.AppendSystemMenuItem(IDM_ABOUTBOX, about);
    }
    host_.SetIcon(IDR_MAINFRAME);
    statusLine_.Attach(host_, IDC_STATUS_LINE);
    logFilePath = kLogFileName;
    ApplyConfiguration();
    if (!ActivateSimulator()) {
        return;
    }
    currentChipType_ = CHIP_NONE;
    if (!config_.notDeleteLogFile) {
        DeleteLogFile();
    }
    std::wstring report;
    // A failure shows in the adapter box and the log.
    adapterSelection_ = control_.InitGraphicsAdapter(report);
    AppendLog(report);
    control_.delegate = this;
    if (config_.oneStepProgramming) {
        ShowDebugPicture();
        SetupOneStepPanel();
        return;
    }
    host_.SetText(IDC_ADAPTER_BOX, control_.gfxName);
    host_.Show(IDC_PROGRESS, false);
    ShowDebugPicture();
    if (!config_.secureIsp && !config_.programDeviceCertificate) {
        CompactLayout();
    }
}

// With [Simulator] Enabled=1 the program runs on the virtual PC; when that was asked for
// but cannot start, the program must not go on to the real drivers.
bool ZorvanQuillonDlg::ActivateSimulator() {
    sim::ActivationResult activation =
        sim::ActivateFromConfig(environment_.programFolder + kConfigFileName);
    if (!activation.error.empty()) {
        host_.MessageBox(activation.error, kAppTitle, MessageIcon::Error);
        host_.EndDialog(IDCANCEL);
        return false;
    }
    simulator_ = std::move(activation.session);
    return true;
}

// The virtual chip's state file takes each change as the chip makes it; a change it could
// not take fails what the dialog has just reported. Told once, in the output box, the log
// and a message box.
void ZorvanQuillonDlg::CheckSimulatedChipKept() {
    std::wstring error;
    if (simulator_ == nullptr || simulatorFailureShown_ || simulator_->SaveState(error)) {
        return;
    }
    simulatorFailureShown_ = true;
    AppendStatusAndLog(error + L"\r\n");
    SetStatusColour(STATUS_FAILED);
    host_.MessageBox(error, kAppTitle, MessageIcon::Error);
}

void ZorvanQuillonDlg::ShowDebugPicture() {
    host_.Show(IDC_DEBUG_PICTURE, config_.debugMode);
    if (!config_.debugMode) {
        host_.SetText(IDC_ERASE, L"Verify CMDB");
    }
}

void ZorvanQuillonDlg::ApplyConfiguration() {
    std::wstring message;
    if (!LoadConfigFromFolder(ConfigProgram::Gui, environment_.programFolder, config_, control_,
                              message)) {
        AppendStatus(message);
        config_.secureIsp = false;
        config_.programDeviceCertificate = false;
        config_.programCmdb = false;
        return;
    }
    SetPathBox(IDC_DRIVER_BOX, config_.driverPath);
    SetPathBox(IDC_FW_BOX, config_.firmwarePath);
    SetPathBox(IDC_FW_P1_BOX, config_.fwFilePathP1);
    SetPathBox(IDC_FW_P2_BOX, config_.fwFilePathP2);
    if (config_.deviceId != 0 || config_.oneStepProgramming) {
        host_.Show(IDC_REFRESH, false);
    }
    if (config_.secureIsp) {
        host_.Show(IDC_KEY_BOX, true);
        host_.Show(IDC_KEY_BROWSE, true);
        SetPathBox(IDC_ESM_BOX, control_.esmPath);
    } else {
        for (ControlId id : {IDC_ESM_LABEL, IDC_ESM_BOX, IDC_ESM_BROWSE}) {
            host_.Show(id, false);
        }
    }
    host_.SetChecked(IDC_CERT_CHECK, config_.programDeviceCertificate);
    if (config_.programDeviceCertificate) {
        SetPathBox(IDC_KEY_BOX, control_.keysPath);
        host_.Show(IDC_KEY_BOX, true);
        host_.Show(IDC_KEY_BROWSE, true);
    } else {
        host_.SetText(IDC_KEY_BOX, L"");
    }
    for (ControlId id : {IDC_KEY_LABEL, IDC_KEY_BOX, IDC_KEY_BROWSE}) {
        host_.Enable(id, config_.programDeviceCertificate);
    }
    host_.SetChecked(IDC_CMDB_CHECK, config_.programCmdb);
    if (config_.programCmdb) {
        SetPathBox(IDC_CMDB_BOX, control_.cmdbPath);
    } else {
        host_.SetText(IDC_CMDB_BOX, L"");
    }
    for (ControlId id : {IDC_CMDB_LABEL, IDC_CMDB_BOX, IDC_CMDB_BROWSE}) {
        host_.Enable(id, config_.programCmdb);
    }
}

void ZorvanQuillonDlg::MoveBy(ControlId id, int32_t dx, int32_t dy) {
    Rect r = host_.WindowRect(id);
    r.left += dx;
    r.top += dy;
    host_.Move(id, r);
}

void ZorvanQuillonDlg::CompactLayout() {
    for (ControlId id : {IDC_ESM_LABEL, IDC_ESM_BOX, IDC_ESM_BROWSE, IDC_CERT_CHECK, IDC_KEY_LABEL,
                         IDC_KEY_BOX, IDC_KEY_BROWSE}) {
        host_.Show(id, false);
    }
    const int32_t d1 =
        host_.WindowRect(IDC_ESM_BROWSE).top - host_.WindowRect(IDC_DRIVER_BROWSE).top;
    const int32_t d2 = host_.WindowRect(IDC_FW_BROWSE).top - host_.WindowRect(IDC_KEY_BROWSE).top;
    for (ControlId id = IDC_DRIVER_LABEL; id <= IDC_FW_BROWSE; ++id) {
        MoveBy(id, 0, d1);
    }
    for (ControlId id = IDC_CMDB_CHECK; id <= IDC_CMDB_BROWSE; ++id) {
        MoveBy(id, 0, d1 + d2);
    }
    Rect group = host_.WindowRect(IDC_FILE_GROUP);
    group.height += d1 + d2;
    host_.Move(IDC_FILE_GROUP, group);
    for (ControlId id : {IDC_PROGRESS, IDC_OUTPUT_LABEL, IDC_OUTPUT_BOX}) {
        MoveBy(id, 0, d1 + d2);
    }
    host_.Show(IDC_SECURE_ISP, false);
    Rect start = host_.WindowRect(IDC_START);
    start.left = host_.WindowRect(IDC_SECURE_ISP).left;
    start.top += d1 + d2;
    host_.Move(IDC_START, start);
    host_.Show(IDC_VERIFY_CERT, false);
    MoveBy(IDC_GET_VERSION, 0, d1 + d2);
    MoveBy(IDC_ERASE, 0, d1 + d2);
    host_.SetDialogHeight(host_.DialogHeight() + d1 + d2);
}

void ZorvanQuillonDlg::OnCommand(ControlId id, Notification what) {
    if (what == Notification::TextChanged) {
        OnPathChanged(id);
        return;
    }
    switch (id) {
        case IDC_ESM_BROWSE:
        case IDC_DRIVER_BROWSE:
        case IDC_FW_BROWSE:
        case IDC_FW_P1_BROWSE:
        case IDC_FW_P2_BROWSE:
        case IDC_KEY_BROWSE:
        case IDC_CMDB_BROWSE:
            OnBrowse(id);
            break;
        case IDC_CERT_CHECK:
        case IDC_CMDB_CHECK:
            OnCheckBox(id);
            break;
        // The buttons that talk to the chip do so only while this program holds its link.
        case IDC_START:
            if (const auto link = HoldLink()) {
                OnStart();
            }
            break;
        case IDC_SECURE_ISP:
            if (const auto link = HoldLink()) {
                OnSecureIsp();
            }
            break;
        case IDC_GET_VERSION:
            if (const auto link = HoldLink()) {
                OnGetFwVersion();
            }
            break;
        case IDC_VERIFY_CERT:
            if (const auto link = HoldLink()) {
                OnVerifyCertificate();
            }
            break;
        case IDC_ERASE:
            if (const auto link = HoldLink()) {
                OnEraseOrVerifyCmdb();
            }
            break;
        case IDC_REFRESH:
            OnRefresh();
            break;
        default:
            return;
    }
    CheckSimulatedChipKept();
}

bool ZorvanQuillonDlg::OnSysCommand(uint32_t command) {
    if ((command & 0xFFF0u) != IDM_ABOUTBOX) {
        return false;
    }
    CAboutDlg(host_).DoModal();
    return true;
}

void ZorvanQuillonDlg::OnEnter() {
    if (host_.IsShown(IDC_START) && host_.IsEnabled(IDC_START)) {
        OnCommand(IDC_START, Notification::Clicked);
    }
}

void ZorvanQuillonDlg::OnCancel() {
    host_.EndDialog(IDCANCEL);
}

void ZorvanQuillonDlg::FlagsToCheckBoxes() {
    host_.SetChecked(IDC_CERT_CHECK, config_.programDeviceCertificate);
    host_.SetChecked(IDC_CMDB_CHECK, config_.programCmdb);
}

void ZorvanQuillonDlg::CheckBoxesToFlags() {
    config_.programDeviceCertificate = host_.IsChecked(IDC_CERT_CHECK);
    config_.programCmdb = host_.IsChecked(IDC_CMDB_CHECK);
}

}  // namespace zorvan::gui
