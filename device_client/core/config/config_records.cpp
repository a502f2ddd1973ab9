#include "device_client/core/config/config_records.h"

namespace config {

void ClearConfiguration(DeviceConfigurationData& d) {
  d.dsProtocol = ProtocolData{};

  AssignExcept(d.dsSystem, SystemConfigurationData{}, &SystemConfigurationData::bFifthProtocol,
               &SystemConfigurationData::reserved);

  d.dsSerialPort = SerialPortConfigurationData{};

  for (auto& lp : d.dsLogicalPrinter) {
    AssignExcept(lp, LogicalPrinterConfigurationData{}, &LogicalPrinterConfigurationData::reserved);
  }

  using Netware = NetwareConfigurationData;
  AssignExcept(d.dsNetware, Netware{}, &Netware::bFrameType8022, &Netware::bFrameType8023,
               &Netware::bFrameType8022Snap, &Netware::bFrameTypeTokenring,
               &Netware::bFrameTypeTokenringSnap, &Netware::reserved);

  TCPIPConfigurationData tcp;
  tcp.iTCPIntervalSessionRetry = 255;
  tcp.iTCPCountSessionRetry = 10;
  // Whole strings are moved in: GCC 12 at -O3 misreads an in-place assignment of a literal into
  // a fresh record as a read of uninitialised bytes (-Wmaybe-uninitialized).
  tcp.szMailServerIPAddress = std::string("0.0.0.0");
  tcp.szCheckMailInterval = std::string(1, '\x01');
  tcp.szDefaultPrinterNumber = std::string("P1");
  tcp.bBannerPrinting = 1;
  AssignExcept(d.dsTCPIP, tcp, &TCPIPConfigurationData::szSpare,
               &TCPIPConfigurationData::reserved);

  AssignExcept(d.dsAPPLETALK, APPLETALKConfigurationData{},
               &APPLETALKConfigurationData::reserved);

  AssignExcept(d.dsNetBEUI, NetBEUIConfigureData{}, &NetBEUIConfigureData::reserved);

  d.dsSNMP = SNMPConfigurationData{};

  WirelessConfigurationData& wl = d.dsWireless;
  wl = WirelessConfigurationData{};
  wl.iKeyLength = 5;
  wl.iAuthentication = 1;
  wl.iNetworkType = -1;

  d.dsDevicePID = DevicePIDData{};
}

}  // namespace config
