// The setup wizard's own commands through a bare TCP client.
#include <gtest/gtest.h>

#include <string>

#include "device_client/core/wire_layout.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/tests/raw_client.h"

namespace {

using box_emulator::Box;
using namespace std::chrono_literals;
using box_test::Request;

TEST(BoxWizard, NameBlockStateProbesAndRestart) {
  box_emulator::BoxOptions o;
  o.restartWindow = 0ms;
  Box box(o);
  box.SetExtendedName("The Long Name");

  const std::string block = Request(box.Address(), "9701:\n").Data();
  ASSERT_GE(block.size(), static_cast<std::size_t>(wire::kExtendedInfoSize));
  EXPECT_EQ(std::string(block.c_str() + wire::kExtendedInfoNameOffset), "The Long Name");
  EXPECT_EQ(block.substr(wire::kExtendedInfoSize), "IP:" + box.Address() + "\r\nSPEED:100M\r\n");

  EXPECT_EQ(Request(box.Address(), "9703:\r\n").Data(), std::string(1, '\0'));
  EXPECT_EQ(Request(box.Address(), "9704:\r\n").Data(), "1");
  EXPECT_EQ(Request(box.Address(), "9700:\n").Data(), "OK");
  EXPECT_NE(
      Request(box.Address(), "9010:\r\n").Data().find("IP Address: " + box.Address() + "\r\n"),
      std::string::npos);

  box.WithCore([](box_emulator::BoxCore& core) { core.identity().wizard = {false, -1, false}; });
  for (const char* command : {"9701:\n", "9703:\r\n", "9704:\r\n"}) {
    EXPECT_EQ(Request(box.Address(), command).chunks.at(0).error, 1) << command;
  }

  box.SetSetting("0001", "Before");
  Request(box.Address(), "0001 :After\n");
  Request(box.Address(), "9030:\n");
  ASSERT_TRUE(box.WaitForRestarts(1, 10s));
  EXPECT_EQ(box.DeviceName(), "After");
}

}  // namespace
