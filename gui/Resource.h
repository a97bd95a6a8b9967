#pragma once
// Resource and control identifiers of ZorvanQuillon.
#include "gui/dialog/DialogTypes.h"

namespace zorvan::gui {

inline constexpr int32_t IDD_MAIN_DIALOG = 101;
inline constexpr int32_t IDR_MAINFRAME = 103;  // the application icon
inline constexpr int32_t IDD_ABOUTBOX = 105;
inline constexpr int32_t IDS_ABOUTBOX = 106;      // the system-menu "About" entry
inline constexpr int32_t IDB_DEBUG_MODE = 107;    // 122 x 24 pixels, red "Debug Mode"
inline constexpr uint32_t IDM_ABOUTBOX = 0x0010;  // system command of the "About" entry

inline constexpr ControlId IDC_ADAPTER_BOX = 1001;
inline constexpr ControlId IDC_FILE_GROUP = 1002;
inline constexpr ControlId IDC_ESM_LABEL = 1004;
inline constexpr ControlId IDC_ESM_BOX = 1005;
inline constexpr ControlId IDC_ESM_BROWSE = 1006;
inline constexpr ControlId IDC_DRIVER_LABEL = 1007;
inline constexpr ControlId IDC_DRIVER_BOX = 1008;
inline constexpr ControlId IDC_DRIVER_BROWSE = 1009;
inline constexpr ControlId IDC_FW_LABEL = 1010;
inline constexpr ControlId IDC_FW_BOX = 1011;
inline constexpr ControlId IDC_FW_BROWSE = 1012;
inline constexpr ControlId IDC_CERT_CHECK = 1013;
inline constexpr ControlId IDC_KEY_LABEL = 1014;
inline constexpr ControlId IDC_KEY_BOX = 1015;
inline constexpr ControlId IDC_KEY_BROWSE = 1016;
inline constexpr ControlId IDC_CMDB_CHECK = 1017;
inline constexpr ControlId IDC_CMDB_LABEL = 1018;
inline constexpr ControlId IDC_CMDB_BOX = 1019;
inline constexpr ControlId IDC_CMDB_BROWSE = 1020;
inline constexpr ControlId IDC_PROGRESS = 1021;
inline constexpr ControlId IDC_OUTPUT_LABEL = 1022;
inline constexpr ControlId IDC_OUTPUT_BOX = 1023;
inline constexpr ControlId IDC_FW_P1_LABEL = 1024;
inline constexpr ControlId IDC_FW_P1_BOX = 1025;
inline constexpr ControlId IDC_FW_P1_BROWSE = 1026;
inline constexpr ControlId IDC_FW_P2_LABEL = 1027;
inline constexpr ControlId IDC_FW_P2_BOX = 1028;
inline constexpr ControlId IDC_FW_P2_BROWSE = 1029;
inline constexpr ControlId IDC_START = 1031;
inline constexpr ControlId IDC_SECURE_ISP = 1032;
inline constexpr ControlId IDC_GET_VERSION = 1033;
inline constexpr ControlId IDC_VERIFY_CERT = 1034;
inline constexpr ControlId IDC_ERASE = 1035;
inline constexpr ControlId IDC_DEBUG_PICTURE = 1041;
inline constexpr ControlId IDC_STATUS_LINE = 1054;
inline constexpr ControlId IDC_NEW_VERSION_LINE = 1055;
inline constexpr ControlId IDC_REFRESH = 1056;
inline constexpr ControlId IDC_HOST_LABEL = 1057;
inline constexpr ControlId IDC_P1_LABEL = 1058;
inline constexpr ControlId IDC_ADAPTER_LABEL = 1059;
inline constexpr ControlId IDC_P2_LABEL = 1060;
inline constexpr ControlId IDC_HOST_VERSION = 1061;
inline constexpr ControlId IDC_P1_VERSION = 1062;
inline constexpr ControlId IDC_P2_VERSION = 1063;
inline constexpr ControlId IDC_HOST_ARROW = 1064;
inline constexpr ControlId IDC_P1_ARROW = 1065;
inline constexpr ControlId IDC_P2_ARROW = 1066;
inline constexpr ControlId IDC_HOST_STATUS = 1067;
inline constexpr ControlId IDC_P1_STATUS = 1068;
inline constexpr ControlId IDC_P2_STATUS = 1069;

// The about box's controls.
inline constexpr ControlId IDC_ABOUT_OK = 1;
inline constexpr ControlId IDC_ABOUT_ICON = 2001;
inline constexpr ControlId IDC_ABOUT_TEXT = 2002;
inline constexpr ControlId IDC_ABOUT_NOTICE = 2003;

// The dialog templates and string resources.
const DialogSpec& MainDialogTemplate();
const DialogSpec& AboutDialogTemplate();
std::wstring LoadResourceString(int32_t id);

}  // namespace zorvan::gui
