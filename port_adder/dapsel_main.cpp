// dapsel: lists the print servers and their ports and makes one port a printer port.
// Command line: "2..." browses over TCP/IP, anything else over NetBIOS.
#include <QApplication>
#include <string>

#include "device_client/access/access.h"
#include "platform/message_sink.h"
#include "platform/named_objects/named_objects.h"
#include "platform/netbios/netbios.h"
#include "platform/process/process.h"
#include "port_adder/port_adder.h"
#include "port_adder/printer_select_dlg.h"
#include "print_monitor/dialogs/port_dialog_windows.h"
#include "ui/services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::InstallGuiMessageSink();
  ui::SetAppTitle("Dapsel");
  dapsel::RegisterDapselStrings();
  // The print monitor this program loads shows its port dialogs as windows of this program.
  brandel_windows::InstallPortDialogService();
  const int mask = dapsel::ProtocolMaskFromCommandLine(argc > 1 ? argv[1] : "");

  const UINT started = WinExec("lumeth", SW_SHOW);
  if (started == WINEXEC_OUT_OF_RESOURCES || started == WINEXEC_FILE_NOT_FOUND ||
      started == WINEXEC_PATH_NOT_FOUND || started == WINEXEC_BAD_FORMAT) {
    platform::GetMessageSink().Show(0, "Can't find Lumeth.exe on your system, please reinstall the KVX driver.",
                                    platform::MB_OK);
    return 0;
  }
  HANDLE presence = CreateEvent(TRUE, TRUE, platform::LoadString(147).c_str());
  PSInit(mask, 20);
  if (const std::string problem = NbTakeServiceProblem(); !problem.empty()) {
    platform::GetMessageSink().Show(0, problem, platform::MB_ICONWARNING);
  }
  {
    dapsel::CPrinterSelectDlg dialog(mask);
    dialog.DoModal();
  }
  if (presence != nullptr) CloseHandle(presence);
  PSExit();
  return 0;
}
