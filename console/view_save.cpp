// Save To Device, Restore to Defaults and the checks around them.
#include "console/view_save.h"

#include <algorithm>
#include <memory>

#include "console/console_state.h"
#include "console/pellam_view.h"
#include "console_pages/quick_setup_dlg.h"
#include "console_pages/wireless_page.h"
#include "console_pages/wireless_text.h"
#include "device_client/core/config/model_capabilities.h"
#include "device_client/settings/address_rules.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"
#include "ui/services.h"

namespace console {

void RegisterViewSaveStrings() {
  platform::RegisterString(IDS_INPUT_ILLEGAL, "Input illegal.");
  platform::RegisterString(IDS_IP_ADDRESS_ILLEGAL, "IP Address illegal.");
  platform::RegisterString(IDS_GATEWAY_ILLEGAL, "Gateway illegal.");
  platform::RegisterString(IDS_SUBNET_MASK_ILLEGAL, "Subnet mask illegal.");
  platform::RegisterString(IDS_GATEWAY_OR_IP_ERROR, "Gateway or IP Address error.");
  platform::RegisterString(IDS_ADDRESS_CHECK_CAPTION, "Vardon Print Server Administration Program");
}

int CheckIpMaskGateway(const std::string* ip, const std::string* mask, const std::string* gateway) {
  if (ip == nullptr || mask == nullptr || gateway == nullptr) return IDS_INPUT_ILLEGAL;
  using address_rules::Broken;
  switch (address_rules::Check(address_rules::ReadAddress(*ip), address_rules::ReadAddress(*mask),
                               address_rules::ReadAddress(*gateway))) {
    case Broken::kIpAddress: return IDS_IP_ADDRESS_ILLEGAL;
    case Broken::kSubnetMask: return IDS_SUBNET_MASK_ILLEGAL;
    case Broken::kGateway: return IDS_GATEWAY_ILLEGAL;
    case Broken::kDifferentSubnets: return IDS_GATEWAY_OR_IP_ERROR;
    case Broken::kNone: break;
  }
  return 0;
}

void ShowSaveResult(int result) {
  switch (result) {
    case 0: return;
    case -2:  // a value the builder would not write: nothing was sent
      platform::MessageBoxById(IDS_COMMAND_PARAMETER_INVALID, platform::MB_OK);
      return;
    case 1:
    case 2:
    case 4:
    case -205:  // codes the device results show no box for
      platform::MessageBoxById(IDS_UNKNOWN_ERROR_CODE, platform::MB_OK);
      return;
    default: CComMethod::ShowResult(result); return;
  }
}

config::AllConfigurationData GatherConfiguration() {
  config::AllConfigurationData all;
  all.dsSystem = gdsSystemConfigurationData;
  all.dsNetware = gdsNetwareConfigurationData;
  all.dsTCPIP = gdsTCPIPConfigurationData;
  all.dsAPPLETALK = gdsAPPLETALKConfigurationData;
  all.dsNetBEUI = gdsNetBEUIConfigureData;
  all.dsWireless = gdsWirelessConfigurationData;
  for (int i = 0; i < config::kLogicalPrinterCount; ++i) all.dsLogicalPrinter[i] = gdsLogicalPrinterConfigurationData[i];
  for (int i = 0; i < config::kPhysicalPortCount; ++i) all.dsPhysicalPort[i] = gdsPhysicalPortConfigurationData[i];
  return all;
}

void RestoreDefaultRecords(const std::string& defaultName, int modelType, bool netbeuiPageShown) {
  config::SystemConfigurationData& sys = gdsSystemConfigurationData;
  sys.szDeviceName = defaultName;
  sys.bIPXSPXProtocol = sys.bTCPIPProtocol = sys.bAPPLETALKProtocol = sys.bNetBEUIProtocol = 1;

  config::NetwareConfigurationData& nw = gdsNetwareConfigurationData;
  nw.bFrameTypeEthernetII = nw.bFrameType8022 = nw.bFrameType8023 = nw.bFrameType8022Snap = 1;
  nw.bFrameTypeTokenring = nw.bFrameTypeTokenringSnap = 1;
  nw.szOperationMode = "PS";
  for (std::string* s : {&nw.szMasterFileServerName, &nw.szP1RemotePrinter, &nw.szP2RemotePrinter,
                         &nw.szP3RemotePrinter, &nw.szSPRemotePrinter, &nw.szNDSTreeName, &nw.szNDSContextName}) {
    s->clear();
  }
  nw.iQueuePollingInterval = 1;
  nw.bJobNotify = 0;
  nw.szPrintServerName = defaultName;
  nw.reserved[0] = 0;

  config::TCPIPConfigurationData& tcp = gdsTCPIPConfigurationData;
  tcp.szIPAddress = tcp.szGatewayAddress = tcp.szSubNetworkMaskAddress = tcp.szMailServerIPAddress = "0.0.0.0";
  tcp.bAutoAddress1 = 1;
  tcp.iTCPIntervalSessionRetry = 2;
  tcp.iTCPCountSessionRetry = 254;
  tcp.szMailAccount.clear();
  tcp.szPassword.clear();
  tcp.szRedirectMailAccount.clear();
  tcp.szPrinterModelString.clear();
  tcp.szCheckMailInterval = "1";
  tcp.szDefaultPrinterNumber = "P1";
  tcp.bPrintEveryEmail = tcp.bActivateResponseMail = 0;
  tcp.bBannerPrinting = 1;
  tcp.reserved[0] = 0;

  config::APPLETALKConfigurationData& at = gdsAPPLETALKConfigurationData;
  at.szZoneName = "*";
  at.szP1PrinterType = at.szP2PrinterType = at.szP3PrinterType = at.szSPPrinterType = "LaserWriter";
  at.bP1BinaryCommunicationProtocol = at.bP2BinaryCommunicationProtocol = 2;
  at.bP3BinaryCommunicationProtocol = at.bSPBinaryCommunicationProtocol = 2;
  at.reserved[0] = 0;

  config::WirelessConfigurationData& wl = gdsWirelessConfigurationData;
  wl.szSSID.clear();
  wl.bWEPEnable = 0;
  wl.iKeyLength = wireless_text::kShortKeyLength;
  wl.iDefaultKey = 0;
  wl.iAuthentication = 2;
  wl.iNetworkType = 0;
  wl.iChannel = wireless_text::ParseDomainList(wl.szDomainList)[0] == 40 ? 14 : 11;

  if (netbeuiPageShown) gdsNetBEUIConfigureData.szDomainName.clear();
  gdsNetBEUIConfigureData.iResponseTime = 0;
  gdsNetBEUIConfigureData.bAbortJobAsPaperOut = 0;

  static const char* const kPortNames[config::kPhysicalPortCount] = {"P1", "P2", "P3", "SP"};
  for (int i = 0; i < config::kLogicalPrinterCount; ++i) {
    config::LogicalPrinterConfigurationData& lp = gdsLogicalPrinterConfigurationData[i];
    lp.bConvertLFToLFCR = 0;
    lp.szStringBeforeJob.clear();
    lp.szStringAfterJob.clear();
    // The model's own parallel ports in turn: a port the box lacks could not be chosen again on
    // the logical port page.
    lp.szPhysicalPort = kPortNames[config::ModelDefaultLogicalPortTarget(modelType, i + 1)];
  }
  for (int i = 0; i < config::kPhysicalPortCount; ++i) {
    gdsPhysicalPortConfigurationData[i].iHandshake = 0;
    gdsPhysicalPortConfigurationData[i].szPortName = kPortNames[i];
  }
}

}  // namespace console

// ---- The view's operations ------------------------------------------------------------------

using namespace console;

void CPellamView::OnSaveToDevice() {
  if (!m_bDeviceOpen) return;
  const int iTab = m_TabCtrl.GetCurSel();
  if (ValidateAndStorePage(iTab) == 0) return;
  gdsNetwareConfigurationData.szDeviceName = gdsSystemConfigurationData.szDeviceName;
  gdsNetwareConfigurationData.szPrintServerName = gdsSystemConfigurationData.szDeviceName;
  const auto all = std::make_unique<config::AllConfigurationData>(GatherConfiguration());
  {
    ui::CWaitCursor wait;
    // The addresses are written only to a box with TCP/IP, and a box on DHCP takes its own: its
    // 0.0.0.0 is no address to check.
    const config::TCPIPConfigurationData& tcp = all->dsTCPIP;
    if (mdsProtocolData.bTCPIPProtocol != 0 && tcp.bAutoAddress1 != 1) {
      if (ValidateIpMaskGateway(tcp.szIPAddress, tcp.szSubNetworkMaskAddress, tcp.szGatewayAddress) == 0) return;
    }
    m_iResult = TheUtility().mSetAllConfiguration(m_OpenBox.defaultName, all.get(), 1, mdsProtocolData);
  }
  if (m_iResult != 0) {
    // The records keep the user's values; the box keeps its own.
    ShowSaveResult(m_iResult);
    return;
  }
  RenameOpenBox(gdsSystemConfigurationData.szDeviceName);
  ShowPage(iTab);
  UpdateData(true);
}

void CPellamView::OnRestoreDefaults() {
  if (!m_bDeviceOpen) return;
  const bool netbeuiShown = std::find(m_Layout.begin(), m_Layout.end(), "NetBEUI") != m_Layout.end();
  RestoreDefaultRecords(m_OpenBox.defaultName, m_OpenBox.modelType, netbeuiShown);
  g_iCurrentTab = m_TabCtrl.GetCurSel();
  ShowPage(g_iCurrentTab);
}

void CPellamView::OnClose() { g_iCurrentTab = m_TabCtrl.GetCurSel(); }

int CPellamView::ValidateIpMaskGateway(const std::string& ip, const std::string& mask, const std::string& gateway) {
  const int message = CheckIpMaskGateway(&ip, &mask, &gateway);
  if (message == 0) return 1;
  platform::MessageBoxById(message, platform::MB_OK | platform::MB_ICONWARNING);
  return 0;
}

int CPellamView::AssembleWepKeys() {
  config::WirelessConfigurationData& wl = gdsWirelessConfigurationData;
  const wireless_text::WepKeys keys = wireless_text::JoinWepKeys(g_WirelessPage.KeyByteTexts(), wl.iKeyLength);
  auto put = [](char* field, std::size_t size, const std::string& text) {
    std::fill(field, field + size, '\0');
    text.copy(field, size - 1);
  };
  put(wl.szKey1, sizeof wl.szKey1, keys.key1);
  put(wl.szKey2, sizeof wl.szKey2, keys.key2);
  put(wl.szKey3, sizeof wl.szKey3, keys.key3);
  put(wl.szKey4, sizeof wl.szKey4, keys.key4);
  return 0;
}

void CPellamView::PadKeyByte(std::string& text) { wireless_text::PadKeyByte(text); }

int CPellamView::HasNonDigit(const std::string& text) { return CQuickSetupDlg::HasNonDigit(text); }

void CPellamView::AppendHexBytes(const unsigned char* bytes, int count, std::string& out) {
  wireless_text::AppendHexBytes(bytes, count > 0 ? static_cast<std::size_t>(count) : 0, out);
}
