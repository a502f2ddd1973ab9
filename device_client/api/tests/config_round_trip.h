// A rename of a box through the device-API object, for the end-to-end tests of each transport.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "device_client/api/print_server_utility.h"

namespace api_test {

// Reads the whole configuration and the capabilities of `name` (its device name must be `before`),
// renames the box to `after` (device name, NetWare device and print-server names), puts it in
// workgroup `group` and writes it all back.
inline void RenameThroughDeviceApi(CPrintServerUtility& util, const std::string& name,
                                   const std::string& before, const std::string& after,
                                   const std::string& group) {
  config::AllConfigurationData all;
  config::ProtocolData caps;
  ASSERT_EQ(util.mGetAllConfiguration(name, &all), 0);
  ASSERT_EQ(util.mGetDeviceProtocol(name, &caps), 0);
  EXPECT_EQ(all.dsSystem.szDeviceName, before);
  all.dsSystem.szDeviceName = after;
  all.dsNetware.szDeviceName = after;
  all.dsNetware.szPrintServerName = after;
  all.dsNetBEUI.szDomainName = group;
  ASSERT_EQ(util.mSetAllConfiguration(name, &all, 1, caps), 0);
}

// Reads the whole configuration of `name` again: it carries the new name and workgroup.
inline void ExpectRenamed(CPrintServerUtility& util, const std::string& name,
                          const std::string& after, const std::string& group) {
  config::AllConfigurationData back;
  ASSERT_EQ(util.mGetAllConfiguration(name, &back), 0);
  EXPECT_EQ(back.dsSystem.szDeviceName, after);
  EXPECT_EQ(back.dsNetBEUI.szDomainName, group);
}

}  // namespace api_test
