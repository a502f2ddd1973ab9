#include "console_simulation/record_fields.h"

#include "device_client/pjl/pjl_text.h"

namespace console_sim {

namespace {

using config::APPLETALKConfigurationData;
using config::LogicalPrinterConfigurationData;
using config::NetBEUIConfigureData;
using config::NetwareConfigurationData;
using config::ProtocolData;
using config::SerialPortConfigurationData;
using config::SNMPConfigurationData;
using config::SystemConfigurationData;
using config::TCPIPConfigurationData;

using PD = ProtocolData;
constexpr FieldDef<PD> kProtocolFields[] = {
    Num<PD>("bPXSPXProtocol", "bIPXSPXProtocol", &PD::bIPXSPXProtocol),
    Num<PD>("bNetwareNDS", &PD::bNetwareNDS),
    Num<PD>("bTCPIPProtocol", &PD::bTCPIPProtocol),
    Num<PD>("bAPPLETALKProtocol", &PD::bAPPLETALKProtocol),
    Num<PD>("bNetBEUIProtocol", &PD::bNetBEUIProtocol),
    Num<PD>("bSNMPProtocol", &PD::bSNMPProtocol),
    Num<PD>("bInternetMailProtocol", &PD::bInternetMailProtocol),
};

using SY = SystemConfigurationData;
constexpr FieldDef<SY> kSystemFields[] = {
    Txt<SY>("szDeviceName", &SY::szDeviceName),
    Num<SY>("bIPXSPXProtocol", &SY::bIPXSPXProtocol),
    Num<SY>("bTCPIPProtocol", &SY::bTCPIPProtocol),
    Num<SY>("bAPPLETALKProtocol", &SY::bAPPLETALKProtocol),
    Num<SY>("bNetBEUIProtocol", &SY::bNetBEUIProtocol),
};

using SE = SerialPortConfigurationData;
constexpr FieldDef<SE> kSerialFields[] = {
    Num<SE>("iBaudrate", &SE::iBaudrate), Num<SE>("iDatabits", &SE::iDatabits),
    Txt<SE>("szParity", &SE::szParity),   Num<SE>("iStopbits", &SE::iStopbits),
    Txt<SE>("szHandshake", &SE::szHandshake),
};

using LP = LogicalPrinterConfigurationData;
constexpr FieldDef<LP> kLogicalFields[] = {
    Txt<LP>("szPhysicalPort", &LP::szPhysicalPort),
    Txt<LP>("szStringBeforeJob", &LP::szStringBeforeJob),
    Txt<LP>("szStringAfterJob", &LP::szStringAfterJob),
    Num<LP>("bConvertLFToLFCR", &LP::bConvertLFToLFCR),
};

using NW = NetwareConfigurationData;
constexpr FieldDef<NW> kNetwareFields[] = {
    Num<NW>("bFrameTypeEthernetII", &NW::bFrameTypeEthernetII),
    Num<NW>("bFrameType8022", &NW::bFrameType8022),
    Num<NW>("bFrameType8023", &NW::bFrameType8023),
    Num<NW>("bFrameType8022Snap", &NW::bFrameType8022Snap),
    Num<NW>("bFrameTypeTokenring", &NW::bFrameTypeTokenring),
    Num<NW>("bFrameTypeTokenringSnap", &NW::bFrameTypeTokenringSnap),
    Txt<NW>("szOperationMode", &NW::szOperationMode),
    Txt<NW>("szMasterFileServerName", &NW::szMasterFileServerName),
    Txt<NW>("szP1RemotePrinter", &NW::szP1RemotePrinter),
    Txt<NW>("szP2RemotePrinter", &NW::szP2RemotePrinter),
    Txt<NW>("szP3RemotePrinter", &NW::szP3RemotePrinter),
    Txt<NW>("szSPRemotePrinter", &NW::szSPRemotePrinter),
    Txt<NW>("szNDSTreeName", &NW::szNDSTreeName),
    Txt<NW>("szNDSContextName", &NW::szNDSContextName),
    Num<NW>("iQueuePollingInterval", &NW::iQueuePollingInterval),
    Num<NW>("bJobNotify", &NW::bJobNotify),
    Txt<NW>("szPrintServerName", &NW::szPrintServerName),
    Txt<NW>("szDeviceName", &NW::szDeviceName),
};

using TC = TCPIPConfigurationData;
constexpr FieldDef<TC> kTCPIPFields[] = {
    Txt<TC>("szIPAddress", &TC::szIPAddress),
    Txt<TC>("szGatewayAddress", &TC::szGatewayAddress),
    Txt<TC>("szSubNetworkMaskAddress", &TC::szSubNetworkMaskAddress),
    Num<TC>("iTCPIntervalSessionRetry", &TC::iTCPIntervalSessionRetry),
    Num<TC>("iTCPCountSessionRetry", &TC::iTCPCountSessionRetry),
    Txt<TC>("szMailServerIPAddress", &TC::szMailServerIPAddress),
    Txt<TC>("szMailAccount", &TC::szMailAccount),
    Txt<TC>("szPassword", &TC::szPassword, /*secret=*/true),
    Txt<TC>("szCheckMailInterval", &TC::szCheckMailInterval),
    Txt<TC>("szRedirectMailAccount", &TC::szRedirectMailAccount),
    Txt<TC>("szDefaultPrinterNumber", &TC::szDefaultPrinterNumber),
    Num<TC>("bPrintEveryEmail", &TC::bPrintEveryEmail),
    Num<TC>("bActivateResponseMail", &TC::bActivateResponseMail),
    Num<TC>("bBannerPrinting", &TC::bBannerPrinting),
    Txt<TC>("szPrinterModelString", &TC::szPrinterModelString),
};

using AT = APPLETALKConfigurationData;
constexpr FieldDef<AT> kAPPLETALKFields[] = {
    Txt<AT>("szZoneName", &AT::szZoneName),
    Txt<AT>("szP1PrinterType", &AT::szP1PrinterType),
    Txt<AT>("szP2PrinterType", &AT::szP2PrinterType),
    Txt<AT>("szP3PrinterType", &AT::szP3PrinterType),
    Txt<AT>("szSPPrinterType", &AT::szSPPrinterType),
    Num<AT>("nP1BinaryCommunicationProtocol", "bP1BinaryCommunicationProtocol",
            &AT::bP1BinaryCommunicationProtocol),
    Num<AT>("nP2BinaryCommunicationProtocol", "bP2BinaryCommunicationProtocol",
            &AT::bP2BinaryCommunicationProtocol),
    Num<AT>("nP3BinaryCommunicationProtocol", "bP3BinaryCommunicationProtocol",
            &AT::bP3BinaryCommunicationProtocol),
    Num<AT>("nSPBinaryCommunicationProtocol", "bSPBinaryCommunicationProtocol",
            &AT::bSPBinaryCommunicationProtocol),
};

using NB = NetBEUIConfigureData;
constexpr FieldDef<NB> kNetBEUIFields[] = {
    Txt<NB>("szDomainName", &NB::szDomainName),
    Num<NB>("iResponseTime", &NB::iResponseTime),
    Num<NB>("bAbortJobAsPaperOut", &NB::bAbortJobAsPaperOut),
};

using SN = SNMPConfigurationData;
#define PSA_TRAP(n)                                                              \
  Txt<SN>("szT" #n "_TrapReceiveIPAddress", &SN::szT##n##_TrapReceiveIPAddress), \
      Num<SN>("iT" #n "_TrapOption", &SN::iT##n##_TrapOption),                   \
      Num<SN>("iT" #n "_TrapSeverity", &SN::iT##n##_TrapSeverity),               \
      Txt<SN>("szT" #n "_CommunityString", &SN::szT##n##_CommunityString, true)
#define PSA_MANAGER(n)                                                          \
  Txt<SN>("szM" #n "_ManagerIPAddress", &SN::szM##n##_ManagerIPAddress),        \
      Txt<SN>("szM" #n "_CommunityString", &SN::szM##n##_CommunityString, true), \
      Num<SN>("iM" #n "_AccessPermission", &SN::iM##n##_AccessPermission)
constexpr FieldDef<SN> kSNMPFields[] = {
    Txt<SN>("szSysContact", &SN::szSysContact),
    Txt<SN>("szSysLocation", &SN::szSysLocation),
    PSA_TRAP(1),
    PSA_TRAP(2),
    PSA_TRAP(3),
    PSA_TRAP(4),
    PSA_MANAGER(1),
    PSA_MANAGER(2),
    PSA_MANAGER(3),
    PSA_MANAGER(4),
};
#undef PSA_TRAP
#undef PSA_MANAGER

constexpr FieldDef<PJLStatusData> kPJLStatusFields[] = {
    Num<PJLStatusData>("iReturnCode", &PJLStatusData::iReturnCode),
    Num<PJLStatusData>("bOnLine", &PJLStatusData::bOnLine),
    Txt<PJLStatusData>("szDisplay", &PJLStatusData::szDisplay),
    Txt<PJLStatusData>("szModel", &PJLStatusData::szModel),
};

using AL = config::AllLogicalPrinter;
#define PSA_ROW(n)                                                                  \
  AllLogicalRow {                                                                   \
    &AL::szL##n##PhysicalPort, &AL::szL##n##StringBeforeJob, &AL::szL##n##StringAfterJob, \
        &AL::bL##n##ConvertLFToLFCR                                                 \
  }
constexpr AllLogicalRow kAllLogicalRows[config::kLogicalPrinterCount] = {
    PSA_ROW(1), PSA_ROW(2), PSA_ROW(3), PSA_ROW(4),
    PSA_ROW(5), PSA_ROW(6), PSA_ROW(7), PSA_ROW(8),
};
#undef PSA_ROW

}  // namespace

const RecordDef<ProtocolData>& ProtocolRecord() {
  static const RecordDef<ProtocolData> def{"pdsProtocolData.", "pdsProtocolData", kProtocolFields};
  return def;
}

const RecordDef<SystemConfigurationData>& SystemRecord() {
  static const RecordDef<SystemConfigurationData> def{
      "pdsSystemConfigurationData.", "pdsSystemConfigurationData", kSystemFields};
  return def;
}

const RecordDef<SerialPortConfigurationData>& SerialPortRecord() {
  static const RecordDef<SerialPortConfigurationData> def{
      "pdsSerialPortConfigurationData->", "pdsSerialPortConfigurationData", kSerialFields};
  return def;
}

const RecordDef<LogicalPrinterConfigurationData>& LogicalPrinterRecord() {
  static const RecordDef<LogicalPrinterConfigurationData> def{
      "pdsLogicalPrinterConfigurationData->", "pdsLogicalPrinterConfigurationData",
      kLogicalFields};
  return def;
}

const RecordDef<NetwareConfigurationData>& NetwareRecord() {
  static const RecordDef<NetwareConfigurationData> def{
      "pdsNetwareConfigurationData->", "pdsNetwareConfigurationData", kNetwareFields};
  return def;
}

const RecordDef<TCPIPConfigurationData>& TCPIPRecord() {
  static const RecordDef<TCPIPConfigurationData> def{
      "pdsTCPIPConfigurationData->", "pdsTCPIPConfigurationData", kTCPIPFields};
  return def;
}

const RecordDef<APPLETALKConfigurationData>& APPLETALKRecord() {
  static const RecordDef<APPLETALKConfigurationData> def{
      "pdsAPPLETALKConfigurationData->", "pdsAPPLETALKConfigurationData", kAPPLETALKFields};
  return def;
}

const RecordDef<NetBEUIConfigureData>& NetBEUIRecord() {
  static const RecordDef<NetBEUIConfigureData> def{
      "pdsNetBEUIConfigureData->", "pdsNetBEUIConfigureData", kNetBEUIFields};
  return def;
}

const RecordDef<SNMPConfigurationData>& SNMPRecord() {
  static const RecordDef<SNMPConfigurationData> def{
      "pdsSNMPConfigurationData->", "pdsSNMPConfigurationData", kSNMPFields};
  return def;
}

const RecordDef<PJLStatusData>& PJLStatusRecord() {
  static const RecordDef<PJLStatusData> def{"pdsPJLStatusData->", "pdsPJLStatusData",
                                            kPJLStatusFields};
  return def;
}

const AllLogicalRow* AllLogicalPrinterRow(int printer) {
  if (printer < 1 || printer > config::kLogicalPrinterCount) return nullptr;
  return &kAllLogicalRows[printer - 1];
}

const char* PortPrefix(int port) { return pjl::PortToken(port); }

std::string PJLVariableName(int position) {
  if (position < 0 || position >= pjl::kVariableCount) return {};
  // The table carries the PJL language in front of some names ("LPARM:PCL FONTSOURCE"); the
  // variable itself is the last word.
  const std::string full = pjl::kVariableTable[position].name;
  const std::size_t blank = full.rfind(' ');
  return blank == std::string::npos ? full : full.substr(blank + 1);
}

int PJLPositionOfIndex(int index) {
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    if (pjl::kVariableTable[i].index == index) return i;
  }
  return -1;
}

}  // namespace console_sim
