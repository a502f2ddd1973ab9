#include "wizard/start_page.h"

#include "platform/netprobe/netprobe.h"
#include "wizard/page_layout.h"
#include "wizard/resource.h"
#include "wizard/wizard_routines.h"

namespace wizard {
namespace {

constexpr int IDC_TCPIP_STATE = 1029;
constexpr int IDC_IPX_STATE = 1047;
constexpr int IDC_NETBIOS_STATE = 1048;
constexpr int IDC_INTRO = 1040;

ui::DialogTemplate StartTemplate() {
  const int x = kContentX;
  return WizardPageTemplate(
      IDD_START,
      {{-1, ui::Kind::Static, "Welcome to the Print Server Setup Wizard", 0, x, 8, kContentCx, 10},
       {IDC_INTRO, ui::Kind::Static,
        "This wizard finds the print servers on your network and sets one of them up: its name and "
        "workgroup, its TCP/IP address and, where it has them, its wireless and NetWare settings.",
        0, x, 24, kContentCx, 34},
       {-1, ui::Kind::GroupBox, "Network protocols on this PC", 0, x, 64, kContentCx, 62},
       {-1, ui::Kind::Static, "TCP/IP:", 0, x + 10, 78, 60, 10},
       {IDC_TCPIP_STATE, ui::Kind::Static, "", 0, x + 75, 78, 90, 10},
       {-1, ui::Kind::Static, "NetBIOS:", 0, x + 10, 93, 60, 10},
       {IDC_NETBIOS_STATE, ui::Kind::Static, "", 0, x + 75, 93, 90, 10},
       {-1, ui::Kind::Static, "IPX/SPX:", 0, x + 10, 108, 60, 10},
       {IDC_IPX_STATE, ui::Kind::Static, "", 0, x + 75, 108, 90, 10},
       {-1, ui::Kind::Static, "Click Next to continue.", 0, x, 140, kContentCx, 10}});
}

const char* InstalledText(bool installed) { return installed ? "Installed" : "Not Installed"; }

}  // namespace

CStart::CStart() : CPropertyPage(StartTemplate()) {}

void CStart::DoDataExchange(bool save) {
  CPropertyPage::DoDataExchange(save);
  DDX_Control(IDC_TCPIP_STATE, m_TcpipState);
  DDX_Control(IDC_NETBIOS_STATE, m_NetbiosState);
  DDX_Control(IDC_IPX_STATE, m_IpxState);
  DDX_Control(IDC_INTRO, m_Intro);
}

BOOL CStart::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  // The suite's one answer, which the console's Protocol dialog gives too.
  const platform::netprobe::InstalledProtocols pc = platform::netprobe::DetectInstalledProtocols();
  m_TcpipState.SetWindowText(InstalledText(pc.tcpip));
  m_IpxState.SetWindowText(InstalledText(pc.ipxspx));
  m_NetbiosState.SetWindowText(InstalledText(pc.netbios));
  return 1;
}

BOOL CStart::OnSetActive() {
  GetSheet()->SetWizardButtons(ui::PSWIZB_NEXT);
  return CPropertyPage::OnSetActive();
}

}  // namespace wizard
