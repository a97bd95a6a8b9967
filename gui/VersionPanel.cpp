// The firmware version panel: the version report, the one-step panel with its device
// rows, the port switch, and the adapter refresh.
#include "core/config/Log.h"
#include "core/control/VersionText.h"
#include "core/platform/Text.h"
#include "gui/Resource.h"
#include "gui/ZorvanQuillonDlg.h"

namespace zorvan::gui {
namespace {

constexpr uint8_t kSelectPort = 0x61;
constexpr uint8_t kReleasePort = 0x62;

// The file name of a path: what follows its last separator.
std::wstring FileName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The chip's version text with the family name in front.
std::wstring ChipVersionText(ChipType type, uint32_t version) {
    std::wstring text = FormatVersion(type, version);
    ChipFamilyName(type, text);
    return text;
}

struct PortRow {
    ControlId label;
    ControlId version;
    ControlId arrow;
    ControlId status;
};

constexpr PortRow kRows[3] = {
    {IDC_HOST_LABEL, IDC_HOST_VERSION, IDC_HOST_ARROW, IDC_HOST_STATUS},
    {IDC_P1_LABEL, IDC_P1_VERSION, IDC_P1_ARROW, IDC_P1_STATUS},
    {IDC_P2_LABEL, IDC_P2_VERSION, IDC_P2_ARROW, IDC_P2_STATUS},
};

}  // namespace

bool ZorvanQuillonDlg::SelectPort(int32_t port) {
    const uint32_t saved = control_.ddcAddress;
    control_.ddcAddress = PORT_SWITCH_ADDRESS;
    const uint8_t command[2] = {kSelectPort, static_cast<uint8_t>(port)};
    const bool selected = control_.SendCommand(command, 2) && control_.WaitAck();
    control_.ddcAddress = saved;
    return selected;
}

void ZorvanQuillonDlg::ReleasePort(int32_t port) {
    const uint32_t saved = control_.ddcAddress;
    control_.ddcAddress = PORT_SWITCH_ADDRESS;
    const uint8_t command[2] = {kReleasePort, static_cast<uint8_t>(port)};
    if (control_.SendCommand(command, 2)) {
        control_.WaitAck();  // a port that stays connected does no harm to the next query
    }
    control_.ddcAddress = saved;
}

bool ZorvanQuillonDlg::BuildVersionReport(std::wstring& text) {
    ChipType type = control_.GetChipType();
    if (type == CHIP_NONE) {
        text = L"System connection failed!\r\n";
        return false;
    }
    std::wstring description;
    control_.GetChipInfo(type, description);
    if (port1Ready_ == 0 && port2Ready_ == 0) {
        text = Format(L"Current on-board F/W Version: %s\r\n", description.c_str());
        return true;
    }
    text =
        Format(L"Current on-board F/W Version:\r\n  Host    Device: %s\r\n", description.c_str());
    for (int32_t port = 1; port <= 2; ++port) {
        const bool ready = (port == 1 ? port1Ready_ : port2Ready_) != 0;
        if (!ready) {
            continue;
        }
        if (!SelectPort(port)) {
            text += Format(L"  Port#%d Device: Failed to get connection\r\n", port);
            continue;
        }
        control_.ddcAddress = port == 1 ? config_.port1.ddcAddress : config_.port2.ddcAddress;
        type = control_.GetChipType();
        control_.GetChipInfo(type, description);
        text += Format(L"  Port#%d Device: %s\r\n", port, description.c_str());
        control_.ddcAddress = config_.ddcAddress;
        ReleasePort(port);
    }
    return true;
}

void ZorvanQuillonDlg::OnGetFwVersion() {
    std::wstring text;
    if (BuildVersionReport(text)) {
        control_.CheckCmdb(text);
        SetStatusColour(STATUS_NORMAL);
    } else {
        SetStatusColour(STATUS_FAILED);
    }
    host_.SetText(IDC_OUTPUT_BOX, text);
    host_.Redraw(IDC_OUTPUT_BOX);
    FlagsToCheckBoxes();
    CheckBoxesToFlags();
}

void ZorvanQuillonDlg::OnRefresh() {
    AppendLog(L"------------------------------------\r\n");
    std::wstring text;
    adapterSelection_ = control_.InitGraphicsAdapter(text);
    AppendLog(text);
    host_.SetText(IDC_ADAPTER_BOX, control_.gfxName);
}

void ZorvanQuillonDlg::SetupOneStepPanel() {
    CheckBoxesToFlags();
    for (ControlId id : {IDC_ADAPTER_LABEL, IDC_FILE_GROUP, IDC_ADAPTER_BOX, IDC_ERASE,
                         IDC_VERIFY_CERT, IDC_SECURE_ISP, IDC_GET_VERSION}) {
        host_.Show(id, false);
    }
    for (ControlId id = IDC_ESM_LABEL; id <= IDC_CMDB_BROWSE; ++id) {
        host_.Show(id, false);
    }
    host_.Show(IDC_STATUS_LINE, true);
    host_.Show(IDC_NEW_VERSION_LINE, true);
    PlaceOneStepColumn();
    host_.SetText(IDC_START, L"Update");
    host_.SetText(IDC_NEW_VERSION_LINE, L"");

    control_.ddcAddress = config_.ddcAddress;
    // The panel reads the chip (and the ports' chips) only while it holds the link; a busy
    // link leaves the panel as for a chip that does not answer, with the reason shown.
    const std::unique_ptr<platform::LinkLock> link = HoldLink();
    currentChipType_ = CHIP_NONE;
    std::wstring text;
    if (link) {
        currentChipType_ = control_.GetChipType();
        control_.GetChipInfo(currentChipType_, text);
    }
    text = FormatVersion(currentChipType_, control_.chipVersion);

    if (hostReady_ == 0 && port1Ready_ == 0 && port2Ready_ == 0) {
        statusLine_.SetWindowText(L"No available ISP files!");
    } else if (currentChipType_ == CHIP_NONE) {
        statusLine_.SetTextColour(kRed);
        host_.Redraw(IDC_STATUS_LINE);
        statusLine_.SetWindowText(L"System connecting ... failed!");
        if (link) {
            host_.SetText(IDC_OUTPUT_BOX,
                          L"Firmware updating can't be started!\r\n"
                          L"Please shut down system for a while and restart it!\r\n");
        }
        host_.Enable(IDC_START, false);
    } else {
        control_.firmwarePath = fwFilePath_;
        std::wstring message;
        std::wstring line;
        if (control_.LoadFirmwareFile(message)) {
            newVersion_[0] = control_.binVersion;
            if (newVersion_[0] != 0) {
                newVersionText_[0] = FormatVersion(currentChipType_, control_.binVersion);
                line = Format(L"New Firmware Version: %s", newVersionText_[0].c_str());
            } else {
                line = L"New Firmware: " + FileName(fwFilePath_);
            }
        } else {
            hostReady_ = 0;
            line = L"New Firmware Version:  F/W binary file not available!";
        }
        host_.SetText(IDC_NEW_VERSION_LINE, line);
        if (port1Ready_ == 0 && port2Ready_ == 0) {
            std::wstring status = text;
            ChipFamilyName(currentChipType_, status);
            statusLine_.SetWindowText(Format(L"Current firmware version: %s", status.c_str()));
        } else {
            host_.Show(IDC_STATUS_LINE, false);
            host_.Show(IDC_NEW_VERSION_LINE, false);
            host_.Show(IDC_HOST_LABEL, true);
            host_.Show(IDC_P1_LABEL, port1Ready_ != 0);
            host_.Show(IDC_P2_LABEL, port2Ready_ != 0);
            std::wstring hostVersion = text;
            ChipFamilyName(currentChipType_, hostVersion);
            host_.SetText(IDC_HOST_VERSION, hostVersion);
            host_.Show(IDC_HOST_VERSION, true);
            host_.Show(IDC_HOST_ARROW, true);
            std::wstring status = L"Not to be updated!";
            if (hostReady_ != 0) {
                status = newVersion_[0] != 0 ? newVersionText_[0] : FileName(fwFilePath_);
            }
            host_.SetText(IDC_HOST_STATUS, status);
            host_.Show(IDC_HOST_STATUS, true);
            for (int32_t port = 1; port <= 2; ++port) {
                ShowPortRow(port);
            }
        }
        host_.KeepAwake();
    }
    control_.ddcAddress = config_.ddcAddress;
}

void ZorvanQuillonDlg::ShowPortRow(int32_t port) {
    int32_t& ready = port == 1 ? port1Ready_ : port2Ready_;
    if (ready == 0) {
        return;
    }
    const PortRow& row = kRows[port];
    host_.Show(row.version, true);
    if (!SelectPort(port)) {
        host_.SetText(row.version, L"Not found!");
        ready = 0;
        return;
    }
    control_.ddcAddress = port == 1 ? config_.port1.ddcAddress : config_.port2.ddcAddress;
    currentChipType_ = control_.GetChipType();
    std::wstring description;
    control_.GetChipInfo(currentChipType_, description);
    host_.SetText(row.version, ChipVersionText(currentChipType_, control_.chipVersion));
    ReleasePort(port);
    host_.Show(row.arrow, true);
    control_.firmwarePath = port == 1 ? fwFilePathP1_ : fwFilePathP2_;
    std::wstring message;
    std::wstring status;
    const size_t device = static_cast<size_t>(port);
    if (control_.LoadFirmwareFile(message)) {
        newVersion_[device] = control_.binVersion;
        newVersionText_[device] = FormatVersion(currentChipType_, control_.binVersion);
        status = !newVersionText_[device].empty() ? newVersionText_[device]
                                                  : FileName(control_.firmwarePath);
    } else {
        status = L"No firmware binary file!";
        ready = 0;
    }
    host_.SetText(row.status, status);
    host_.Show(row.status, true);
}

// The one-step column, top to bottom: the status and new-version lines (or the device
// rows), the progress bar, its label, the output box and the Update button. Controls keep
// their sizes; the window ends just below the button.
void ZorvanQuillonDlg::PlaceOneStepColumn() {
    const int32_t gap = host_.DialogUnitsToPixels({0, 0, 0, 6}).height;
    const int32_t labelGap = host_.DialogUnitsToPixels({0, 0, 0, 2}).height;
    const ControlId above =
        (port1Ready_ != 0 || port2Ready_ != 0) ? IDC_P2_LABEL : IDC_NEW_VERSION_LINE;
    int32_t y = host_.WindowRect(above).Bottom() + gap;
    for (ControlId id : {IDC_PROGRESS, IDC_OUTPUT_LABEL, IDC_OUTPUT_BOX}) {
        Rect r = host_.WindowRect(id);
        r.top = y;
        host_.Move(id, r);
        y = r.Bottom() + (id == IDC_OUTPUT_LABEL ? labelGap : gap);
    }
    Rect start = host_.WindowRect(IDC_START);
    start.left = 10;
    start.top = y;
    host_.Move(IDC_START, start);
    host_.SetDialogHeight(start.Bottom() + gap + host_.FrameHeight());
}

}  // namespace zorvan::gui
