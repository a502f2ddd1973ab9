#include "device_client/core/config/config_records.h"

#include <cstring>

namespace config {

void ClearConfiguration(DeviceConfigurationData& d) {
  d.dsProtocol = ProtocolData{};

  d.dsSystem.szDeviceName.clear();
  d.dsSystem.bIPXSPXProtocol = 0;
  d.dsSystem.bTCPIPProtocol = 0;
  d.dsSystem.bAPPLETALKProtocol = 0;
  d.dsSystem.bNetBEUIProtocol = 0;

  d.dsSerialPort = SerialPortConfigurationData{};

  for (auto& lp : d.dsLogicalPrinter) {
    lp.szPhysicalPort.clear();
    lp.szStringBeforeJob.clear();
    lp.szStringAfterJob.clear();
    lp.bConvertLFToLFCR = 0;
  }

  auto& nw = d.dsNetware;
  nw.bFrameTypeEthernetII = 0;
  nw.szOperationMode.clear();
  nw.szMasterFileServerName.clear();
  nw.szP1RemotePrinter.clear();
  nw.szP2RemotePrinter.clear();
  nw.szP3RemotePrinter.clear();
  nw.szSPRemotePrinter.clear();
  nw.szNDSTreeName.clear();
  nw.szNDSContextName.clear();
  nw.iQueuePollingInterval = 0;
  nw.bJobNotify = 0;
  nw.szPrintServerName.clear();
  nw.szDeviceName.clear();

  auto& tcp = d.dsTCPIP;
  tcp.szIPAddress.clear();
  tcp.szGatewayAddress.clear();
  tcp.szSubNetworkMaskAddress.clear();
  tcp.bAutoAddress1 = 0;
  tcp.bAutoAddress2 = 0;
  tcp.bAutoAddress3 = 0;
  tcp.iTCPIntervalSessionRetry = 255;
  tcp.iTCPCountSessionRetry = 10;
  tcp.szMailServerIPAddress = "0.0.0.0";
  tcp.szMailAccount.clear();
  tcp.szPassword.clear();
  tcp.szCheckMailInterval = std::string(1, '\x01');
  tcp.szRedirectMailAccount.clear();
  tcp.szDefaultPrinterNumber = "P1";
  tcp.bPrintEveryEmail = 0;
  tcp.bActivateResponseMail = 0;
  tcp.bBannerPrinting = 1;
  tcp.szPrinterModelString.clear();

  auto& at = d.dsAPPLETALK;
  at.szZoneName.clear();
  at.szP1PrinterType.clear();
  at.szP2PrinterType.clear();
  at.szP3PrinterType.clear();
  at.szSPPrinterType.clear();
  at.bP1BinaryCommunicationProtocol = 0;
  at.bP2BinaryCommunicationProtocol = 0;
  at.bP3BinaryCommunicationProtocol = 0;
  at.bSPBinaryCommunicationProtocol = 0;

  d.dsNetBEUI.szDomainName.clear();
  d.dsNetBEUI.iResponseTime = 0;
  d.dsNetBEUI.bAbortJobAsPaperOut = 0;

  d.dsSNMP = SNMPConfigurationData{};

  auto& wl = d.dsWireless;
  wl.szSSID.clear();
  wl.szDomainList.clear();
  wl.iChannel = 0;
  wl.bWEPEnable = 0;
  wl.iKeyLength = 5;
  wl.iDefaultKey = 0;
  std::memset(wl.szKey1, 0, sizeof wl.szKey1);
  std::memset(wl.szKey2, 0, sizeof wl.szKey2);
  std::memset(wl.szKey3, 0, sizeof wl.szKey3);
  std::memset(wl.szKey4, 0, sizeof wl.szKey4);
  wl.iListMode = 0;
  wl.iAuthentication = 1;
  wl.iNetworkType = -1;
  wl.szLinkStatus.clear();

  d.dsDevicePID = DevicePIDData{};
}

}  // namespace config
