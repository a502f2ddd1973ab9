// Resource numbers of the administration console: templates, controls, commands and strings.
#pragma once

namespace console {

// Templates, menus, pictures.
constexpr int IDR_MAINFRAME = 128;        // document template, menu, accelerators, icon
constexpr int IDD_PELLAM_FORM = 101;      // the settings view
constexpr int IDD_MAIN_MENU = 102;        // the device-list dialog
constexpr int IDD_CONNECTED_PROTOCOL = 160;
constexpr int IDB_MAIN_MENU = 130;        // the device-list dialog's picture
constexpr int IDI_PRINT_SERVER = 135;     // the list's box icon

// Device-list dialog.
constexpr int IDC_BROWSE = 1000;
constexpr int IDC_ADVANCED = 1010;
constexpr int IDC_QUICK = 1011;
constexpr int IDC_DEVICE_LIST = 1012;
constexpr int IDC_PROTOCOL = 1163;
constexpr int ID_MAIN_MENU_EMPTY = 57670;

// Settings view.
constexpr int IDC_TAB = 1001;
constexpr int IDC_RESTORE_DEFAULTS = 1075;
constexpr int IDC_SAVE_TO_DEVICE = 1073;
constexpr int IDC_RETURN_TO_MAIN_MENU = 1013;
constexpr int IDC_DEVICE_TREE = 104;
constexpr int IDC_PAGE_PLACEHOLDER = 1099;

// Connected-protocol dialog.
constexpr int IDC_PROTOCOL_TCPIP = 1142;
constexpr int IDC_PROTOCOL_IPXSPX = 1143;
constexpr int IDC_PROTOCOL_NETBEUI = 1144;

// Frame commands.
constexpr int ID_RESET_DEVICE = 32771;
constexpr int ID_DEVICE_INFORMATION = 32773;
constexpr int ID_RESTORE_FACTORY_DEFAULT = 32774;
constexpr int ID_ADD_CROSS_SEGMENT_PRINT_SERVER = 32776;
constexpr int ID_REINITIALIZE_LAN = 32777;
constexpr int ID_SEND_DIRECT_COMMAND = 32781;
constexpr int ID_PRINT_TEST_PAGE1 = 32789;
constexpr int ID_PRINT_TEST_PAGE2 = 32790;
constexpr int ID_PRINT_TEST_PAGE3 = 32791;
constexpr int ID_PARALLEL_PORT1_STATUS = 33000;
constexpr int ID_PARALLEL_PORT2_STATUS = 33001;
constexpr int ID_PARALLEL_PORT3_STATUS = 33002;
constexpr int ID_APP_ABOUT = 57664;

// Strings.
constexpr int IDS_MAINFRAME = 128;
constexpr int IDS_DEFAULT_NAME_COLUMN = 32795;
constexpr int IDS_DEVICE_NAME_COLUMN = 32796;
constexpr int IDS_PRINTER_PORT_COLUMN = 32797;
constexpr int IDS_CONFIRM_RESET = 32802;
constexpr int IDS_CONFIRM_FACTORY_DEFAULT = 32804;
constexpr int IDS_NEED_ONE_PROTOCOL = 32888;
constexpr int IDS_NO_CONNECTED_PROTOCOL = 32889;
constexpr int IDS_LAN_INIT_FAIL = 32890;
constexpr int IDS_PROTOCOL_NOT_SAVED = 32900;
constexpr int IDS_ADMIN_EVENT = 61217;
constexpr int IDS_PAUSE_EVENT = 61218;

// Registers every text the console shows by string id, at its start (the application object's
// constructor): its own, the device library's result messages, the pages' and their stores', the
// device dialogs' and Save To Device's address checks.
void RegisterConsoleStrings();

}  // namespace console
