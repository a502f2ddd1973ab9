// The wizard keeps its device-API object as a static that is built before the library's own state
// (the first device call builds that). At process exit the object is destroyed after it and stops
// the library: the exit hooks must still find the library's tables. Under the sanitizer build a
// freed table shows as an error report and a failed exit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "device_client/access/access.h"
#include "platform/test_support/temp_root.h"
#include "wizard_client/api/wizard_utility.h"

namespace {

TEST(WizardExit, AStaticDeviceObjectStopsTheLibraryAtExitWithItsHooksIntact) {
  // A fresh process, so that the device object really comes before every state of the library.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        auto root = std::make_unique<platform::testing::TempRoot>();
        static wizard::CPrintServerUtility utility;
        if (utility.mInitializeLanComponent(TYPE_TCPIP, 20) != 0) std::exit(2);
        wizard::BrowseLists lists;  // the browse builds the look-up table and its exit hook
        if (utility.PS_Browse(&lists, "") != 0) std::exit(3);
        console_access::AddExitHook([] { std::fputs("exit hook ran\n", stderr); });
        root.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "exit hook ran");
}

}  // namespace
