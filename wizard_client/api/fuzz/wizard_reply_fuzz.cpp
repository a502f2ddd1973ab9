// Feeds arbitrary reply bytes to the readers of the wizard's device-API object: the configuration
// text through the wizard's key table, the device-information block with its model look-up, the
// name block of "9701:" and the address line of "9010:".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "device_client/core/wire_layout.h"
#include "wizard_client/api/wizard_key_table.h"
#include "wizard_client/api/wizard_utility.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Unknown model codes are looked up in Setupwizard.ini: keep the look-ups inside a private root.
  static char root[] = "/tmp/psa-wizard-reply-fuzz-XXXXXX";
  if (mkdtemp(root) != nullptr) setenv("PSADMIN_ROOT", root, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 14) return 0;
  // An exact-size copy, so any read past the length is caught.
  const std::vector<char> reply(data, data + size);
  const int length = static_cast<int>(size);

  config::DeviceConfigurationData base;
  wizard::WizardCacheExtras extras;
  wizard::ClearWizardConfiguration(base, extras);
  const int rc =
      wizard::ParseWizardConfiguration(reply.data(), length, wizard::ParseTarget{&base, &extras});
  if (rc != 0 && rc != -1 && rc != -2 && rc != -100) std::abort();
  for (const std::string& mac : extras.wireless.MacAddressList) {
    if (mac.size() != 12) std::abort();
  }
  if (base.dsWireless.szKey1[sizeof base.dsWireless.szKey1 - 1] != 0) std::abort();

  static wizard::CPrintServerUtility util;
  wizard::DevicePIDData block;
  if (util.DecodeDevicePID(reply.data(), length, &block) == 0 &&
      block.data[wire::pid::kModelText + wire::pid::kModelTextSize - 1] != 0) {
    std::abort();
  }
  std::uint8_t nameBlock[wire::kExtendedInfoSize];
  std::string ip;
  if (wizard::CPrintServerUtility::ParseExtendedNameReply(reply.data(), length, nameBlock, ip) ==
          0 &&
      ip.size() > 1023) {
    std::abort();
  }
  ip.clear();
  wizard::CPrintServerUtility::ParseDeviceIPAddress(reply.data(), length, ip);
  if (ip.size() > size) std::abort();
  return 0;
}
