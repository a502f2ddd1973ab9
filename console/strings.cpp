#include "console/resource.h"
#include "console/view_save.h"
#include "console_pages/appletalk_page.h"
#include "console_pages/device_dialog_text.h"
#include "console_pages/logical_port_page.h"
#include "console_pages/netbeui_page.h"
#include "console_pages/netware_pserver_page.h"
#include "console_pages/netware_rprinter_page.h"
#include "console_pages/physical_port_page.h"
#include "console_pages/quick_setup_dlg.h"
#include "console_pages/small_dialogs.h"
#include "console_pages/system_page.h"
#include "console_pages/tcpip_page.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

namespace console {

void RegisterConsoleStrings() {
  RegisterComMethodStrings();
  RegisterQuickSetupStrings();
  RegisterSmallDialogStrings();
  RegisterSystemPageStrings();
  RegisterAppleTalkPageStrings();
  RegisterNetBEUIPageStrings();
  RegisterLogicalPortPageStrings();
  RegisterPhysicalPortPageStrings();
  RegisterTcpipPageStrings();
  RegisterNetwarePServerPageStrings();
  RegisterNetwareRPrinterPageStrings();
  device_dialogs::RegisterDeviceDialogStrings();
  RegisterViewSaveStrings();
  platform::RegisterString(IDS_CONFIRM_RESET, "Do you want to reset this device ?");
  platform::RegisterString(IDS_CONFIRM_FACTORY_DEFAULT, "Restore device to factory default ?");
  platform::RegisterString(IDS_MAINFRAME,
                           "Vardon Print Server Administration Program\nPrint Server Administration Program");
  platform::RegisterString(IDS_DEFAULT_NAME_COLUMN, "Default Name");
  platform::RegisterString(IDS_DEVICE_NAME_COLUMN, "Device Name");
  platform::RegisterString(IDS_PRINTER_PORT_COLUMN, "Printer Port");
  platform::RegisterString(IDS_NEED_ONE_PROTOCOL, "Need to select one protocol");
  platform::RegisterString(IDS_NO_CONNECTED_PROTOCOL, "Not Define Any Connected Protocol");
  platform::RegisterString(IDS_LAN_INIT_FAIL, "Inital Lan fail");
  platform::RegisterString(IDS_PROTOCOL_NOT_SAVED, "The connected protocols could not be saved in the settings file:");
  platform::RegisterString(IDS_ADMIN_EVENT, "Print Server Tollard Event");
  platform::RegisterString(IDS_PAUSE_EVENT, "Print Server Pause Event");
}

}  // namespace console
