// The AppleTalk page of the settings view: the AppleTalk zone name and, for each parallel port the
// box has, the printer type the box reports and the protocol used towards that printer (ASP, TBCP
// or BCP). Ports the box lacks read "N/A" and are greyed. Store() checks the inputs and writes the
// zone and the shown ports into the AppleTalk record.
#pragma once
#include "console_pages/settings_page.h"

class CAppleTalkPage : public CSettingsPage {
 public:
  static constexpr int IDD = 140;
  static constexpr int IDC_ZONE_NAME = 1094;
  static constexpr int IDC_P1_TYPE = 1117, IDC_P2_TYPE = 1091, IDC_P3_TYPE = 1092;
  static constexpr int IDC_P1_TYPE_LABEL = 1096, IDC_P2_TYPE_LABEL = 1099, IDC_P3_TYPE_LABEL = 1102;
  static constexpr int IDC_P1_GROUP = 1105, IDC_P2_GROUP = 1108, IDC_P3_GROUP = 1111;
  static constexpr int IDC_P1_ASP = 1018, IDC_P1_TBCP = 1013, IDC_P1_BCP = 1016;
  static constexpr int IDC_P2_ASP = 1087, IDC_P2_TBCP = 1088, IDC_P2_BCP = 1017;
  static constexpr int IDC_P3_ASP = 1089, IDC_P3_TBCP = 1090, IDC_P3_BCP = 1019;
  static constexpr int kTextLimit = 19;
  // Messages of the page's checks.
  static constexpr int IDS_ILLEGAL_ZONE_NAME = 32824;
  static constexpr int IDS_ILLEGAL_P1_TYPE = 32821;
  static constexpr int IDS_ILLEGAL_P2_TYPE = 32822;
  static constexpr int IDS_ILLEGAL_P3_TYPE = 32823;

  CAppleTalkPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // Checks the zone name and the printer types of the ports on show, then stores them and the
  // ports' protocols: 1 when stored, 0 after a refusal's message (the offending edit emptied and
  // focused, the record untouched).
  int Store();
  // The parallel ports the page offers (1 to 3), by the box's model.
  int OfferedPorts() const { return m_iOfferedPorts; }

  // The protocol chosen for P1, P2, P3: 0 ASP, 1 TBCP, 2 BCP; -1 while the page shows none.
  int m_iP1Protocol = -1;
  int m_iP2Protocol = -1;
  int m_iP3Protocol = -1;

  ui::CEdit m_editZoneName;
  ui::CEdit m_editP1Type, m_editP2Type, m_editP3Type;
  ui::CStatic m_lblP1Type, m_lblP2Type, m_lblP3Type;
  ui::CButton m_grpP1, m_grpP2, m_grpP3;
  ui::CButton m_rdoP1Asp, m_rdoP2Asp, m_rdoP3Asp;

 protected:
  // The protocol radios of the last port on offer: on a box with fewer than three ports the P3
  // radios are greyed and could never hold the focus, so Tab would never leave the page.
  std::vector<int> LastControls() const override;

 private:
  template <int Port, int Value>
  void OnCommProtocol() {
    *ProtocolOf(Port) = Value;
  }
  int* ProtocolOf(int port);
  // Shows port `port` (0..2) from the record, or "N/A" and greyed when the box lacks it.
  void ShowPort(int port, bool offered);

  int m_iOfferedPorts = 1;
};

extern CAppleTalkPage g_AppleTalkPage;

// Registers the texts of the page's checks.
void RegisterAppleTalkPageStrings();
