// The server-details page: the selected box's name and workgroup, and whether the NetWare pages
// follow.
#pragma once
#include <string>

#include "device_client/core/config/config_records.h"
#include "ui/property_sheet.h"

namespace wizard {

class CServerDetailsOld : public ui::CPropertyPage {
 public:
  CServerDetailsOld();
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
  void DoDataExchange(bool save) override;
  // Fills the workgroup list as it opens.
  void OnDropdownWorkgroup();

  ui::CEdit m_Name;           // 1038
  ui::CButton m_Group;        // 1036
  ui::CComboBox m_Workgroup;  // 1037
  // The box the fields were last read for.
  std::string m_szReadFor;
  int m_iResult = 0;
};

// NetwareMode from a box's NetWare settings; `current` when the operation mode is neither.
int NetwareModeFromSettings(const config::NetwareConfigurationData& settings, int current);

}  // namespace wizard
