// Resource numbers of the setup wizard: page and dialog templates, controls, strings, pictures.
#pragma once

namespace wizard {

// Page and dialog templates.
constexpr int IDD_SELECT = 104;
constexpr int IDD_SERVER_DETAILS = 105;
constexpr int IDD_NETWARE = 106;
constexpr int IDD_NETWARE_NDS = 107;
constexpr int IDD_NETWARE_BINDERY = 108;
constexpr int IDD_TCPIP = 109;
constexpr int IDD_FINISH = 110;
constexpr int IDD_START = 111;
constexpr int IDD_SERVER_DETAILS_OLD = 131;
constexpr int IDD_WIRELESS = 138;
constexpr int IDD_VERIFY_PASSWORD = 181;

// The banner picture every page paints into its static 1000.
constexpr int IDB_BANNER = 129;
constexpr int IDC_BANNER = 1000;

// The help command of the application.
constexpr int ID_HELP = 57670;

// Strings.
constexpr int IDS_NEED_DEVICE_NAME = 102;
constexpr int IDS_INCORRECT_PASSWORD = 115;
constexpr int IDS_RENAME_WARNING = 127;
constexpr int IDS_NO_ADD_PRINTER_WIZARD = 139;
constexpr int IDS_WIZARD_EVENT = 141;
constexpr int IDS_PAUSE_EVENT = 142;
constexpr int IDS_SETUP_PRINTERS_NOW = 143;

// The sheet's caption.
constexpr const char* kSheetCaption = "Print Server Setup Wizard";

}  // namespace wizard
