// The welcome page: which network protocols this PC has.
#pragma once
#include "ui/property_sheet.h"

namespace wizard {

class CStart : public ui::CPropertyPage {
 public:
  CStart();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  void DoDataExchange(bool save) override;

  ui::CStatic m_TcpipState;    // 1029
  ui::CStatic m_NetbiosState;  // 1048
  ui::CStatic m_IpxState;      // 1047
  ui::CStatic m_Intro;         // 1040
};

}  // namespace wizard
