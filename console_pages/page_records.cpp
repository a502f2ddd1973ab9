#include "console_pages/page_records.h"

CPJLUtility& TheUtility() {
  // Never destroyed: its destructor would stop the access library, whose own state may already be
  // gone at process exit. ExitInstance stops the library in order.
  static CPJLUtility* utility = new CPJLUtility;
  return *utility;
}

config::SystemConfigurationData gdsSystemConfigurationData;
config::NetwareConfigurationData gdsNetwareConfigurationData;
config::TCPIPConfigurationData gdsTCPIPConfigurationData;
config::APPLETALKConfigurationData gdsAPPLETALKConfigurationData;
config::NetBEUIConfigureData gdsNetBEUIConfigureData;
config::WirelessConfigurationData gdsWirelessConfigurationData;
config::LogicalPrinterConfigurationData gdsLogicalPrinterConfigurationData[config::kLogicalPrinterCount];
config::PhysicalPortConfigurationData gdsPhysicalPortConfigurationData[config::kPhysicalPortCount];
