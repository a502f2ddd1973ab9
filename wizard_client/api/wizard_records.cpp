#include "wizard_client/api/wizard_records.h"

namespace wizard {

void ClearWizardConfiguration(config::DeviceConfigurationData& base, WizardCacheExtras& extras) {
  base = config::DeviceConfigurationData{};
  config::TCPIPConfigurationData& tcp = base.dsTCPIP;
  tcp.iTCPIntervalSessionRetry = 255;
  tcp.iTCPCountSessionRetry = 10;
  tcp.szMailServerIPAddress = "0.0.0.0";
  tcp.szCheckMailInterval = "1";
  tcp.szDefaultPrinterNumber = "P1";
  tcp.bBannerPrinting = 1;
  config::WirelessConfigurationData& wl = base.dsWireless;
  wl.iKeyLength = 5;
  wl.iAuthentication = 1;
  wl.iNetworkType = -1;
  extras = WizardCacheExtras{};
}

}  // namespace wizard
