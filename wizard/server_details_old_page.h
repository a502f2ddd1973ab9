// The server-details pages: the selected box's name and workgroup, and whether the NetWare pages
// follow. CServerDetails, a fuller variant with a comment and a share name per printer port, is in
// no page set of the sheet.
#pragma once
#include <string>

#include "device_client/core/config/config_records.h"
#include "ui/property_sheet.h"

namespace wizard {

class CServerDetailsOld : public ui::CPropertyPage {
 public:
  CServerDetailsOld();
  explicit CServerDetailsOld(const ui::DialogTemplate& t);
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

 protected:
  // What the variants do differently: the layout before the box is read, the workgroup shown,
  // the further fields shown and emptied, and what the page collects besides name and workgroup.
  virtual void LayOut() {}
  virtual std::string WorkgroupToShow(const std::string& stateA);
  virtual void ShowFurtherFields(bool read) { (void)read; }
  virtual void CollectFurtherFields() {}
};

class CServerDetails : public CServerDetailsOld {
 public:
  CServerDetails();
  void DoDataExchange(bool save) override;

  ui::CEdit m_Comment;    // 1039
  ui::CEdit m_Share1;     // 1040
  ui::CEdit m_Share2;     // 1041
  ui::CEdit m_Share3;     // 1042
  ui::CEdit m_ShareSP;    // 1005
  ui::CStatic m_Label3;   // 1016
  ui::CStatic m_LabelSP;  // 1009

 protected:
  void LayOut() override;
  std::string WorkgroupToShow(const std::string& stateA) override;
  void ShowFurtherFields(bool read) override;
  void CollectFurtherFields() override;

 private:
  int m_iPortType = 0;
};

// NetwareMode from a box's NetWare settings; `current` when the operation mode is neither.
int NetwareModeFromSettings(const config::NetwareConfigurationData& settings, int current);

}  // namespace wizard
