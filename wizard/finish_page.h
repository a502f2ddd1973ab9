// The finish page: the one configuration request, the box's restart and reload, and the offer to
// start the port-adding program.
#pragma once
#include <string>

#include "device_client/core/config/config_records.h"
#include "ui/property_sheet.h"

namespace wizard {

class CFinish : public ui::CPropertyPage {
 public:
  CFinish();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  BOOL OnWizardFinish() override;

  config::ProtocolData m_Protocol;
  // The result of the last configuration request.
  int m_iResult = 0;
};

// The port-adding program's command line for a target directory: the program below it and "2"
// when this PC has TCP/IP, else "1".
std::string PortAdderCommand(const std::string& targetDir, bool tcpipInstalled);

}  // namespace wizard
