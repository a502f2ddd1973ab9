#include "console/console_state.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console_pages/page_inputs.h"
#include "console_pages/tcpip_page.h"
#include "device_client/settings/com_method.h"

// The three addresses of the TCP/IP page. Every octet of all three is checked before any is
// stored; the stored address is rebuilt from the octets' values, so "010" reaches the box as 10.
// With DHCP on the box finds its own address: the greyed octets are neither checked nor stored.
int StoreTcpipPage(CPellamView& view) {
  (void)view;
  CTcpipPage& page = g_TcpipPage;
  if (page.IsDlgButtonChecked(CTcpipPage::IDC_DHCP_ENABLE) != 0) return 1;

  std::string octets[3][4];
  for (int a = 0; a < 3; ++a) {
    for (int o = 0; o < 4; ++o) {
      octets[a][o] = page.OctetEdit(a, o).GetWindowText();
      CComMethod::RemoveSpaces(octets[a][o]);
    }
  }
  int values[3][4] = {};
  // Address by address as the page shows them (IP, mask, gateway): first the empty octets, then
  // each octet's digits and range.
  for (int a = 0; a < 3; ++a) {
    for (int o = 0; o < 4; ++o) {
      if (octets[a][o].empty()) return RefuseInput(CTcpipPage::IDS_NEED_DATA, page.OctetEdit(a, o));
    }
    for (int o = 0; o < 4; ++o) {
      const int read = CComMethod::ReadOctet(octets[a][o], values[a][o]);
      if (read == CComMethod::kOctetOk) continue;
      const int message =
          read == CComMethod::kOctetOutOfRange ? CTcpipPage::IDS_VALUE_RANGE : CTcpipPage::IDS_ILLEGAL_VALUE;
      return RefuseInput(message, page.OctetEdit(a, o));
    }
  }
  config::TCPIPConfigurationData& record = gdsTCPIPConfigurationData;
  record.szIPAddress = CComMethod::JoinOctets(values[0]);
  record.szSubNetworkMaskAddress = CComMethod::JoinOctets(values[1]);
  record.szGatewayAddress = CComMethod::JoinOctets(values[2]);
  return 1;
}
