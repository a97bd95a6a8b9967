// The dialog templates 101 (main dialog) and 105 (about box) and the string resources.
#include "gui/Resource.h"

namespace zorvan::gui {
namespace {

constexpr ControlKind S = ControlKind::Static;
constexpr ControlKind E = ControlKind::Edit;
constexpr ControlKind B = ControlKind::Button;

DialogSpec MakeMainTemplate() {
    DialogSpec d;
    d.templateId = IDD_MAIN_DIALOG;
    d.caption = L"Zorvan Quillon v2.1f";
    d.fontFace = L"MS Shell Dlg";
    d.fontPoints = 8;
    d.width = 363;
    d.height = 289;
    const uint32_t edit = kAutoHScroll;
    const uint32_t hidden = kHidden;
    d.controls = {
        {IDC_ADAPTER_LABEL, S, L"Graphics Adapter:", 0, {6, 8, 60, 8}, 0},
        {IDC_ADAPTER_BOX, E, L"", kReadOnly | edit, {69, 7, 82, 12}, 0},
        {IDC_REFRESH, B, L"Refresh", 0, {156, 7, 35, 12}, 0},
        {IDC_DEBUG_PICTURE, ControlKind::StaticBitmap, L"", 0, {275, 7, 70, 12}, IDB_DEBUG_MODE},
        {IDC_STATUS_LINE, S, L"Current Firmware Version:", hidden, {6, 7, 223, 10}, 0},
        {IDC_NEW_VERSION_LINE, S, L"New Firmware Version:", hidden, {6, 20, 350, 12}, 0},
        {IDC_HOST_LABEL, S, L"Host Device:", hidden | kRightAlign, {14, 7, 42, 8}, 0},
        {IDC_P1_LABEL, S, L"Port#1 Device:", hidden | kRightAlign, {6, 19, 50, 8}, 0},
        {IDC_P2_LABEL, S, L"Port#2 Device:", hidden | kRightAlign, {7, 31, 50, 8}, 0},
        {IDC_HOST_VERSION, S, L"v10.20.30", hidden, {63, 7, 49, 8}, 0},
        {IDC_P1_VERSION, S, L"v10.20.30", hidden, {63, 19, 49, 8}, 0},
        {IDC_P2_VERSION, S, L"Not found!", hidden, {63, 31, 49, 8}, 0},
        {IDC_HOST_ARROW, S, L"==>", hidden, {116, 7, 16, 8}, 0},
        {IDC_P1_ARROW, S, L"==>", hidden, {116, 19, 16, 8}, 0},
        {IDC_P2_ARROW, S, L"==>", hidden, {116, 31, 16, 8}, 0},
        {IDC_HOST_STATUS, S, L"New v11.20.30", hidden, {137, 7, 209, 8}, 0},
        {IDC_P1_STATUS, S, L"Updating ...", hidden, {137, 19, 212, 8}, 0},
        {IDC_P2_STATUS, S, L"Done", hidden, {137, 31, 212, 8}, 0},
        {IDC_FILE_GROUP, ControlKind::GroupBox, L"ISP File Setup  ", 0, {6, 22, 350, 162}, 0},
        {IDC_ESM_LABEL, S, L"ESM File:", 0, {11, 45, 39, 8}, 0},
        {IDC_ESM_BOX, E, L"", edit, {59, 43, 242, 14}, 0},
        {IDC_ESM_BROWSE, B, L"Browse", 0, {307, 41, 43, 18}, 0},
        {IDC_DRIVER_LABEL, S, L"Driver File:", 0, {11, 69, 45, 8}, 0},
        {IDC_DRIVER_BOX, E, L"", edit, {59, 67, 242, 14}, 0},
        {IDC_DRIVER_BROWSE, B, L"Browse", 0, {307, 65, 43, 18}, 0},
        {IDC_FW_LABEL, S, L"FW File:", 0, {11, 93, 47, 8}, 0},
        {IDC_FW_BOX, E, L"", edit, {59, 91, 242, 14}, 0},
        {IDC_FW_BROWSE, B, L"Browse", 0, {307, 89, 43, 18}, 0},
        {IDC_FW_P1_LABEL, S, L"FW File @P1:", hidden, {11, 92, 46, 8}, 0},
        {IDC_FW_P1_BOX, E, L"", hidden | edit, {59, 90, 242, 14}, 0},
        {IDC_FW_P1_BROWSE, B, L"Browse", hidden, {307, 88, 43, 18}, 0},
        {IDC_FW_P2_LABEL, S, L"FW File @P2:", hidden, {11, 115, 46, 8}, 0},
        {IDC_FW_P2_BOX, E, L"", hidden | edit, {59, 114, 242, 14}, 0},
        {IDC_FW_P2_BROWSE, B, L"Browse", hidden, {307, 112, 43, 18}, 0},
        {IDC_CERT_CHECK,
         ControlKind::CheckBox,
         L"Program Device Certificate",
         0,
         {10, 113, 103, 10},
         0},
        {IDC_KEY_LABEL, S, L"Key File:", kDisabled, {11, 131, 43, 8}, 0},
        {IDC_KEY_BOX, E, L"", hidden | kDisabled | edit, {59, 128, 242, 14}, 0},
        {IDC_KEY_BROWSE, B, L"Browse", hidden | kDisabled, {307, 126, 43, 18}, 0},
        {IDC_CMDB_CHECK,
         ControlKind::CheckBox,
         L"Program Customized Data Block",
         0,
         {10, 149, 117, 10},
         0},
        {IDC_CMDB_LABEL, S, L"Custom Data:", kDisabled, {11, 167, 47, 8}, 0},
        {IDC_CMDB_BOX, E, L"", kDisabled | edit, {59, 165, 242, 14}, 0},
        {IDC_CMDB_BROWSE, B, L"Browse", kDisabled, {307, 163, 43, 18}, 0},
        {IDC_PROGRESS, ControlKind::Progress, L"", 0, {6, 186, 350, 15}, 0},
        {IDC_OUTPUT_LABEL, S, L"Output/Status:", 0, {6, 202, 50, 8}, 0},
        {IDC_OUTPUT_BOX, E, L"", kMultiLine, {6, 212, 350, 46}, 0},
        {IDC_ERASE, B, L"Flash Erase", 0, {6, 262, 62, 20}, 0},
        {IDC_VERIFY_CERT, B, L"Verify Certificate", 0, {74, 262, 74, 20}, 0},
        {IDC_START, ControlKind::DefaultButton, L"Start", kDisabled, {154, 262, 60, 20}, 0},
        {IDC_SECURE_ISP, B, L"Secure ISP", kDisabled, {220, 262, 70, 20}, 0},
        {IDC_GET_VERSION, B, L"Get FW Version", 0, {296, 262, 60, 20}, 0},
    };
    return d;
}

DialogSpec MakeAboutTemplate() {
    DialogSpec d;
    d.templateId = IDD_ABOUTBOX;
    d.caption = L"About Quillon";
    d.fontFace = L"MS Shell Dlg";
    d.fontPoints = 8;
    d.width = 235;
    d.height = 66;
    d.controls = {
        {IDC_ABOUT_OK, ControlKind::DefaultButton, L"OK", 0, {178, 7, 50, 16}, 0},
        {IDC_ABOUT_ICON, ControlKind::StaticIcon, L"", 0, {11, 17, 21, 20}, IDR_MAINFRAME},
        {IDC_ABOUT_TEXT, S, L"Zorvan Quillon\nVersion 2.1f", 0, {40, 10, 119, 21}, 0},
        {IDC_ABOUT_NOTICE,
         S,
         L"Firmware programming for Zorvan converters.",
         0,
         {40, 48, 119, 8},
         0},
    };
    return d;
}

}  // namespace

const DialogSpec& MainDialogTemplate() {
    static const DialogSpec layout = MakeMainTemplate();
    return layout;
}

const DialogSpec& AboutDialogTemplate() {
    static const DialogSpec layout = MakeAboutTemplate();
    return layout;
}

std::wstring LoadResourceString(int32_t id) {
    if (id == IDS_ABOUTBOX) {
        return L"&About Zorvan Quillon...";
    }
    return std::wstring();
}

}  // namespace zorvan::gui
