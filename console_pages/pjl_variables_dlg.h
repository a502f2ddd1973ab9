// The PJL variables dialog: the environment variables the printer on one port reported, one row
// each with its value and whether it is read-only. Double-clicking a writable row opens the set
// dialog; after a successful set the variables are read from the printer again.
#pragma once
#include <string>

#include "device_client/pjl/pjl_utility.h"
#include "ui/dialog.h"
#include "ui/sft_tree.h"

class CPJLVariablesDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 142;
  static constexpr int IDC_VARIABLE_LIST = 103;
  static constexpr int IDC_MODEL = 1003;
  static constexpr int IDC_FRAME = 1131;

  explicit CPJLVariablesDlg(CPJLUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void CreateVariableList();
  void FillVariableList();
  void OnDblclkVariableList();
  void RefreshVariableList();

  // The row name of entry `position` (0..27) of the record: the PJL name, a language parameter
  // ("LPARM:PCL PITCH") by its last word.
  static std::string RowName(int position);

  std::string m_szDefaultName;
  int m_iPort = 1;
  ui::CSftTree m_VariableList;
  PJLConfigurationData m_PJLConfiguration;
  std::string m_szDeviceName;
  std::string m_szModel;
  // The port's configured name, handed on to the set dialog (it names the port's status block).
  std::string m_szPortName;

 private:
  CPJLUtility& m_Utility;
};
