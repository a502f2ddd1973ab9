// The wizard's configuration records. They are the console's records (device_client/core/config)
// with what only the wizard reads and writes added: five further NetBEUI texts (keys 5003, 5101,
// 5102, 5104, 5103), the wireless hardware-address list (7011) and the two address-command lists
// (9300, 9301), and the record the setup pages collect for the one configuration text of Finish.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "device_client/core/config/config_records.h"

namespace wizard {

using config::APPLETALKConfigurationData;
using config::DevicePIDData;
using config::LogicalPrinterConfigurationData;
using config::NetwareConfigurationData;
using config::PhysicalPortConfigurationData;
using config::ProtocolData;
using config::SerialPortConfigurationData;
using config::SNMPConfigurationData;
using config::SystemConfigurationData;
using config::TCPIPConfigurationData;

// What the wizard keeps beside the console's NetBEUI record: five texts the box stores for it.
struct NetBEUIExtraTexts {
  std::string sz5003;
  std::string sz5101;
  std::string sz5102;
  std::string sz5104;
  std::string sz5103;
};

struct NetBEUIConfigureData : config::NetBEUIConfigureData, NetBEUIExtraTexts {};

// The wireless lists: hardware addresses read from key 7011 (12 hex digits each) and the entries
// of the two address commands 9300 and 9301 that the wireless writer sends.
struct WirelessLists {
  std::list<std::string> MacAddressList;   // 7011
  std::list<std::string> AddressList9300;  // 9300
  std::list<std::string> AddressList9301;  // 9301
};

// Key 7001 is the box's domain list text (szDomainList) and key 7014 its link state; both are
// read, never written by the wizard.
struct WirelessConfigurationData : config::WirelessConfigurationData, WirelessLists {};

// What the wizard's cache holds beside the console's cached record.
struct WizardCacheExtras {
  std::int32_t iSelectionWord = -1;  // -1 when cleared
  std::string szText1;
  std::string szText2;
  NetBEUIExtraTexts netbeui;
  WirelessLists wireless;
};

// The wizard's whole-device record: the console's cached configuration (capabilities, every group
// and the device-information block of the box read last) and the wizard's additions.
struct AllConfigurationData {
  config::DeviceConfigurationData base;
  WizardCacheExtras extras;
};

// The settings the setup pages collect for the configuration text of Finish.
struct WizardConfigurationData {
  SystemConfigurationData dsSystem;    // szDeviceName: the name the box is to have
  NetwareConfigurationData dsNetware;  // mode, master file server, tree, context
  TCPIPConfigurationData dsTCPIP;      // address, gateway, mask, 4020-4022
  NetBEUIConfigureData dsNetBEUI;      // workgroup and the five further texts
  WirelessConfigurationData dsWireless;
  std::string szPassword;  // the "9035:" line (set mode 1 only)
};

// The record of the basic-configuration write and read.
struct BasicConfigurationData {
  SystemConfigurationData dsSystem;
  TCPIPConfigurationData dsTCPIP;
  NetBEUIConfigureData dsNetBEUI;
  LogicalPrinterConfigurationData dsLogicalPrinter;
};

// Sets the cache to the wizard's empty values before a box is read: texts empty, switches and
// numbers 0, except the TCP/IP session retry (255, 10), mail server "0.0.0.0", check interval
// "1", default printer "P1", banner printing 1, wireless key length 5, authentication 1, network
// type -1; the capability block and the device-information block zeroed, the lists emptied.
void ClearWizardConfiguration(config::DeviceConfigurationData& base, WizardCacheExtras& extras);

}  // namespace wizard
