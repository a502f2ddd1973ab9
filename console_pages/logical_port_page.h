// The logical port page of the settings view: for one logical port at a time (chosen in a
// drop-down list), the physical port it prints to, the strings sent before and after each job
// (hexadecimal text) and whether LF is converted to LF+CR. The number of logical ports and the
// physical ports offered follow the box's model; the physical entries are the ports' current
// names, which the physical port page lets the user change.
//
// The port on show is kept in a working copy; choosing another logical port (with the mouse or
// the keyboard) first checks and stores the port being left, and a refused input keeps it on show.
#pragma once
#include "console_pages/settings_page.h"
#include "device_client/core/config/config_records.h"

class CLogicalPortPage : public CSettingsPage {
 public:
  static constexpr int IDD = 152;
  static constexpr int IDC_LOGICAL_PORT = 1039;
  static constexpr int IDC_PHYSICAL_PORT = 1133;
  static constexpr int IDC_STRING_BEFORE = 1137;
  static constexpr int IDC_STRING_AFTER = 1138;
  static constexpr int IDC_CONVERT_NO = 1062;
  static constexpr int IDC_CONVERT_YES = 1015;
  static constexpr int kStringLimit = 30;
  // "Logical Port 1" .. "Logical Port 8".
  static constexpr int IDS_LOGICAL_PORT_1 = 32834;
  // Messages of the page's checks.
  static constexpr int IDS_HEX_BEFORE_JOB = 32828;
  static constexpr int IDS_HEX_AFTER_JOB = 32829;

  CLogicalPortPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // Checks the port on show and stores it into the working copy and its logical port record:
  // blanks are removed from both strings (and from the edits), then both must be hexadecimal.
  // 1 when stored; 0 after a refusal's message, with the offending edit emptied and focused and
  // no record changed.
  int StoreShownPort();

  int m_iCurrentPort = 1;       // the logical port on show, 1-based
  int m_iLogicalPortCount = 3;  // 3 or 8

  ui::CButton m_rdoConvertNo;
  ui::CEdit m_editStringBefore;
  ui::CEdit m_editStringAfter;
  ui::CComboBox m_cboLogicalPort;
  ui::CComboBox m_cboPhysicalPort;

 protected:
  std::vector<int> LastControls() const override { return {IDC_CONVERT_NO, IDC_CONVERT_YES}; }

 private:
  void OnSelchangeLogicalPort();
  // Loads logical port n into the working copy and the controls.
  void ShowPort(int n);
  // Selects the physical entry whose name is the working copy's physical port; none matching
  // selects nothing (the port keeps its text until the user picks one).
  void SelectPhysicalPort();
};

extern CLogicalPortPage g_LogicalPortPage;

// The working copy of the logical port on show.
extern config::LogicalPrinterConfigurationData gdsCurrentLogicalPrinter;

// Registers the logical port names and the texts of the page's checks.
void RegisterLogicalPortPageStrings();
