// Feeds arbitrary reply bytes to the decoders of the device-API object: the device-information
// block (model tables, port counts, capabilities), the port-type refinement and the information
// text trimming.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device_client/api/print_server_utility.h"
#include "device_client/core/wire_layout.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Unknown model codes are looked up in common.ini: keep the look-ups inside a private root.
  static char root[] = "/tmp/psa-device-reply-fuzz-XXXXXX";
  if (mkdtemp(root) != nullptr) setenv("PSADMIN_ROOT", root, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 14) return 0;
  // An exact-size copy, so any read past the length is caught.
  std::vector<char> reply(data, data + size);
  const int length = static_cast<int>(size);

  static CPrintServerUtility util;
  config::DevicePIDData block;
  const int rc = util.DecodeDevicePID(reply.data(), length, &block);
  if (rc == 0 || rc == -7) {
    (void)CPrintServerUtility::RefinedPortType(block);
    if (block.data[wire::pid::kModelText + wire::pid::kModelTextSize - 1] != 0) std::abort();
  }
  const std::string text = CPrintServerUtility::TrimInformationText(reply.data(), length);
  if (text.size() > size) std::abort();
  if (size >= 3) {
    (void)CPrintServerUtility::BrowseModelName(
        CPrintServerUtility::ModelIndexFromCode(data[0], data[1], data[2]));
  }
  return 0;
}
