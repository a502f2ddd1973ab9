// The configuration records of the box the settings view opened, which the pages show and the
// page store fills, and the console's one device object the pages ask. User-interface thread only.
#pragma once
#include "device_client/core/config/config_records.h"
#include "device_client/pjl/pjl_utility.h"

// The device-API object of the program.
CPJLUtility& TheUtility();

// Configuration records of the box opened with Advanced.
extern config::SystemConfigurationData gdsSystemConfigurationData;
extern config::NetwareConfigurationData gdsNetwareConfigurationData;
extern config::TCPIPConfigurationData gdsTCPIPConfigurationData;
extern config::APPLETALKConfigurationData gdsAPPLETALKConfigurationData;
extern config::NetBEUIConfigureData gdsNetBEUIConfigureData;
extern config::WirelessConfigurationData gdsWirelessConfigurationData;
extern config::LogicalPrinterConfigurationData gdsLogicalPrinterConfigurationData[config::kLogicalPrinterCount];
extern config::PhysicalPortConfigurationData gdsPhysicalPortConfigurationData[config::kPhysicalPortCount];
