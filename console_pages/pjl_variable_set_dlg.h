// The set PJL variable dialog: changes the default of one PJL environment variable of the printer
// on a port. The seven numeric variables are typed into an edit and checked against the range the
// printer reported; the others are picked from the printer's allowed values. It refuses to act
// while the printer is not on-line and idle, and after the set waits (up to four checks, 8 s
// apart) for the printer to be idle again, showing the wait and letting the user stop it.
#pragma once
#include <string>

#include "device_client/pjl/pjl_utility.h"
#include "ui/dialog.h"

class CPJLVariableSetDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 157;
  static constexpr int IDC_VALUE_EDIT = 1134;
  static constexpr int IDC_VALUE_COMBO = 1136;
  static constexpr int IDC_VALUE_LABEL = 1135;
  static constexpr int IDC_VARIABLE_GROUP = 1137;  // the frame, titled with the variable's name
  static constexpr int kValueChars = 5;
  static constexpr int kReadyChecks = 4;
  static constexpr int kCheckIntervalMs = 8000;

  explicit CPJLVariableSetDlg(CPJLUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;
  void OnOK() override;
  void OnCancel() override;
  int IsPrinterOnLine();

  // Kinds of the variables by row name (compared exactly).
  enum class Input { List, WholeNumber, DecimalNumber };
  static Input InputOf(const std::string& rowName);
  // The variable index of a row name, -1 for none.
  static int IndexOf(const std::string& rowName);

  // True while the dialog waits for the printer after a set.
  bool IsWaiting() const { return m_bWaiting; }

  std::string m_szValue;
  std::string m_szDefaultName;
  int m_iVariableIndex = -1;
  int m_iPort = 1;
  std::string m_szDeviceName;
  const PJLConfigurationData* m_pConfiguration = nullptr;
  std::string m_szVariableName;
  // The port's configured name: the status text names the port's block by it (P1.. when empty).
  std::string m_szPortName;
  ui::CEdit m_ValueEdit;
  ui::CComboBox m_ValueCombo;

 private:
  const PJLVariableData* Variable() const;
  // Waits one check interval in short steps, showing `check`; false when the user stopped it.
  bool WaitForPrinter(int check);

  CPJLUtility& m_Utility;
  bool m_bWaiting = false;
  bool m_bStopWaiting = false;
};
