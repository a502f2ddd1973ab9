#include "device_client/core/config/config_builder.h"

#include <cstring>

#include "platform/ascii.h"

namespace config {
namespace {

const char* EnableUpper(std::int32_t v) { return v != 0 ? "ENABLE" : "DISABLE"; }

std::string Key(int number) {
  std::string k = std::to_string(number);
  return std::string(4 - k.size(), '0') + k;
}

// The box's name and its four protocol switches 0011-0014.
void WriteSystemLines(LineWriter& w, const SystemConfigurationData& sys) {
  w.Text("0001", sys.szDeviceName);
  w.Text("0011", EnableUpper(sys.bIPXSPXProtocol));
  w.Text("0012", EnableUpper(sys.bTCPIPProtocol));
  w.Text("0013", EnableUpper(sys.bAPPLETALKProtocol));
  w.Text("0014", EnableUpper(sys.bNetBEUIProtocol));
}

int Finish(LineWriter& w, std::string& text) {
  if (w.bad()) return kBuildInvalid;
  text = std::move(w.text());
  return kBuildOk;
}

}  // namespace

bool WriteNetwareLines(LineWriter& w, const NetwareConfigurationData& nw) {
  const std::string* name = nullptr;
  if (nw.szOperationMode == "RP") {
    name = &nw.szDeviceName;
  } else if (nw.szOperationMode == "PS") {
    name = &nw.szPrintServerName;
  } else {
    return false;
  }
  if (name->empty()) return false;
  w.Text("0001", *name);
  const std::int32_t frames[4] = {nw.bFrameTypeEthernetII, nw.bFrameType8022, nw.bFrameType8023,
                                  nw.bFrameType8022Snap};
  static const char* const kFrameKey[4] = {"2001", "2002", "2003", "2004"};
  for (int i = 0; i < 4; ++i) {
    if (frames[i] != 0 && frames[i] != 1) return false;
    w.Text(kFrameKey[i], EnableUpper(frames[i]));
  }
  w.Text("2000", nw.szOperationMode);
  w.Text("2101", nw.szMasterFileServerName);
  if (nw.bJobNotify != 0 && nw.bJobNotify != 1) return false;
  w.Text("2102", nw.bJobNotify == 1 ? "YES" : "NO");
  if (nw.iQueuePollingInterval < 1 || nw.iQueuePollingInterval > 255) return false;
  w.Number("2103", nw.iQueuePollingInterval);
  w.Text("2110", nw.szNDSTreeName);
  w.Text("2111", nw.szNDSContextName);
  w.Text("2501", nw.szP1RemotePrinter);
  w.Text("2502", nw.szP2RemotePrinter);
  w.Text("2503", nw.szSPRemotePrinter);
  w.Text("2504", nw.szP3RemotePrinter);
  return true;
}

void WriteWirelessKeyLines(LineWriter& w, const WirelessConfigurationData& wl) {
  w.Number("7002", wl.iChannel);
  w.Text("7003", wl.bWEPEnable == 1 ? "Enable" : "Disable");
  w.Number("7004", wl.iKeyLength);
  w.Number("7005", wl.iDefaultKey);
  w.Array("7006", wl.szKey1);
  w.Array("7007", wl.szKey2);
  w.Array("7008", wl.szKey3);
  w.Array("7009", wl.szKey4);
}

int BuildAllConfigurationText(const AllConfigurationData& s, const ProtocolData& caps,
                              std::string& text) {
  text.clear();
  LineWriter w;

  // System name and protocol switches (the 0019 switch is not written here).
  WriteSystemLines(w, s.dsSystem);

  // Names and handshakes of the three parallel ports.
  static const char* const kPortDefault[3] = {"P1", "P2", "P3"};
  static const char* const kPortNameKey[3] = {"0040", "0041", "0042"};
  static const char* const kHandshakeKey[3] = {"0501", "0502", "0503"};
  for (int i = 0; i < 3; ++i) {
    const std::string& name = s.dsPhysicalPort[i].szPortName;
    w.Text(kPortNameKey[i], name.empty() ? std::string_view(kPortDefault[i]) : std::string_view(name));
  }
  for (int i = 0; i < 3; ++i) {
    w.Text(kHandshakeKey[i], s.dsPhysicalPort[i].iHandshake == 1 ? "BUSY" : "ACK");
  }

  if (caps.bIPXSPXProtocol != 0 && !WriteNetwareLines(w, s.dsNetware)) return kBuildInvalid;

  if (caps.bWirelessDevice != 0) {
    const WirelessConfigurationData& wl = s.dsWireless;
    w.Text("7000", wl.szSSID);
    w.Text("7001", wl.szDomainList);
    WriteWirelessKeyLines(w, wl);
    w.Number("7012", wl.iAuthentication);
    w.Number("7013", wl.iNetworkType);
  }

  if (caps.bTCPIPProtocol != 0) {
    const TCPIPConfigurationData& tcp = s.dsTCPIP;
    if (tcp.szIPAddress.empty()) return kBuildInvalid;
    w.Text("4000", tcp.szIPAddress);
    if (!tcp.szGatewayAddress.empty()) w.Text("4001", tcp.szGatewayAddress);
    if (!tcp.szSubNetworkMaskAddress.empty()) w.Text("4002", tcp.szSubNetworkMaskAddress);
    if (tcp.bAutoAddress1 == 1) w.Text("4020", "Enable");
    if (tcp.bAutoAddress1 == 0) w.Text("4020", "Disable");
  }

  if (caps.bNetBEUIProtocol != 0) {
    const NetBEUIConfigureData& nb = s.dsNetBEUI;
    w.Text("5000", nb.szDomainName);
    if (nb.bAbortJobAsPaperOut == 1) w.Text("5001", "YES");
    if (nb.bAbortJobAsPaperOut == 0) w.Text("5001", "NO");
    if (nb.iResponseTime >= 0 && nb.iResponseTime <= 255) w.Number("5002", nb.iResponseTime);
  }

  for (int i = 0; i < kLogicalPrinterCount; ++i) {
    const LogicalPrinterConfigurationData& lp = s.dsLogicalPrinter[i];
    const int b = 100 + 20 * i;
    w.Text(Key(b), lp.szPhysicalPort);
    w.Text(Key(b + 1), lp.szStringBeforeJob);
    w.Text(Key(b + 2), lp.szStringAfterJob);
    w.Text(Key(b + 3), lp.bConvertLFToLFCR == 1 ? "YES" : "NO");
  }

  if (caps.bAPPLETALKProtocol != 0) {
    const APPLETALKConfigurationData& at = s.dsAPPLETALK;
    w.Text("3000", at.szZoneName);
    if (!at.szP1PrinterType.empty()) w.Text("3001", at.szP1PrinterType);
    if (!at.szP2PrinterType.empty()) w.Text("3002", at.szP2PrinterType);
    if (!at.szSPPrinterType.empty()) w.Text("3003", at.szSPPrinterType);
    if (!at.szP3PrinterType.empty()) w.Text("3004", at.szP3PrinterType);
    auto word = [](std::int32_t v) { return v == 1 ? "YES" : v == 0 ? "NO" : "BCP"; };
    w.Text("3101", word(at.bP1BinaryCommunicationProtocol));
    w.Text("3102", word(at.bP2BinaryCommunicationProtocol));
    w.Text("3103", word(at.bSPBinaryCommunicationProtocol));
    w.Text("3104", word(at.bP3BinaryCommunicationProtocol));
  }

  return Finish(w, text);
}

int BuildSystemConfigurationText(const SystemConfigurationData& sys, std::string& text) {
  text.clear();
  LineWriter w;
  WriteSystemLines(w, sys);
  w.Text("0019", EnableUpper(sys.bFifthProtocol));
  return Finish(w, text);
}

}  // namespace config
