// The windows of the print monitor's port dialogs, for a spooler host with a display: the
// templates of the Add Port (601), Output Select (701) and Device Select (801) dialogs, built
// with the ui layer, behind the dialog service the monitor asks its host for.
#pragma once
#include "platform/spooler/dialog_service.h"
#include "ui/dialog.h"

namespace brandel_windows {

// The template of dialog `id` (601, 701 or 801); a template with id 0 for any other id.
ui::DialogTemplate PortDialogTemplate(int id);

// The service table over the ui layer.
const PsaDialogService& PortDialogService();
// Offers the service to the monitors this program loads.
void InstallPortDialogService();

}  // namespace brandel_windows
