// The NetBEUI page: the box's NetBIOS workgroup, its response time in tenths of a second and
// whether a job is aborted when the printer runs out of paper. No tab set of the view shows it;
// it is kept whole so a layout can. Of the page keys it keeps only Esc (no Tab or Ctrl rule).
#pragma once
#include "console_pages/settings_page.h"

class CNetBEUIPage : public CSettingsPage {
 public:
  static constexpr int IDD = 150;
  static constexpr int IDC_WORKGROUP = 1181;
  static constexpr int IDC_RESPONSE_TIME = 1182;
  static constexpr int IDC_ABORT_NO = 1062;
  static constexpr int IDC_ABORT_YES = 1015;
  static constexpr int kWorkgroupLimit = 15;
  static constexpr int kResponseTimeLimit = 3;
  // Messages of the page's checks.
  static constexpr int IDS_NEED_INPUT_DATA = 32878;
  static constexpr int IDS_ILLEGAL_INPUT_DATA = 32879;
  static constexpr int IDS_ILLEGAL_VALUE = 32826;
  static constexpr int IDS_VALUE_RANGE = 32827;

  CNetBEUIPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;
  // Checks the workgroup (printable) and the response time (decimal, 0 to 255), then stores them
  // and the abort switch: 1 when stored, 0 after a refusal's message (the edit emptied and focused,
  // the record untouched).
  int Store();

  ui::CEdit m_editWorkgroup;
  ui::CEdit m_editResponseTime;
  ui::CButton m_rdoAbortNo;

 protected:
  bool KeepsTabRule() const override { return false; }
};

extern CNetBEUIPage g_NetBEUIPage;

// Registers the texts of the page's checks.
void RegisterNetBEUIPageStrings();
