// A test's own root (so no simulation file exists unless the test writes one) and an in-memory
// NetWare installed as the client; every test ends with no breach of the client's rules and
// nothing left open.
#pragma once
#include <gtest/gtest.h>

#include "platform/test_support/temp_root.h"
#include "wizard_netware/test_support/in_memory_netware.h"

namespace netware::testing {

class NetWareTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& v : nw.violations()) ADD_FAILURE() << "client rule broken: " << v;
    EXPECT_EQ(nw.OpenHandles(), 0u);
  }

  platform::testing::TempRoot tempRoot;
  InMemoryNetWare nw;
  ScopedNwClient installed{nw};
};

}  // namespace netware::testing
