// Arbitrary datagrams through the SAP answer walk (all three type codes, small and full arrays)
// and the device-answer check of the UDP (both ports) and NetBIOS browses.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device_client/live_discovery/live_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const int n = static_cast<int>(size);
  for (int capacity : {1, 384}) {
    std::vector<char> names(static_cast<std::size_t>(capacity) * SAP_NAME_SIZE);
    std::vector<DeviceRecord> records(static_cast<std::size_t>(capacity));
    for (int type : {SAP_QUERY_PRINT_SERVER, SAP_QUERY_FILE_SERVER, SAP_QUERY_NDS_TREE}) {
      int count = 0;
      // Twice over the same array: the second walk meets its own names as duplicates.
      for (int round = 0; round < 2; ++round) {
        live_discovery::TakeSapAnswer(type, data, n, names.data(), records.data(), &count, capacity);
      }
      if (count < 0 || count > capacity) __builtin_trap();
    }
  }
  char name[20];
  char netbios[16];
  live_discovery::ParseDeviceAnswer(data, n, name, netbios);
  live_discovery::ParseDeviceAnswerAt(13, data, n, name, netbios);  // the 34444 answer
  return 0;
}
