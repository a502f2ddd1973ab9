// Shared set-up of the wizard device-API tests: the console's fixture (root, current directory,
// fake clock, one emulated box over TCP) with the wizard's object, and what the tables need that
// run one operation by default name and by device record.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "device_client/api/tests/api_fixture.h"
#include "tools/box_emulator/box_emulator.h"
#include "wizard_client/api/wizard_utility.h"

namespace wizard_test {

using Util = wizard::CPrintServerUtility;

class WizardApiTest : public api_test::ApiTest {
 protected:
  // The wizard's object with the box in its device table.
  void Start() {
    wiz_ = std::make_unique<Util>();
    ASSERT_EQ(wiz_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
    wizard::wizard_access::ClearDevices();
    ASSERT_EQ(wizard::wizard_access::AppendDevice(
                  wizard::FromConsoleRecord(api_test::TcpRecord(name_, box_.Address()))),
              0);
  }

  void TearDown() override {
    wiz_.reset();
    api_test::ApiTest::TearDown();
  }

  std::string FirstRequest() {
    const auto all = box_.Requests();
    return all.empty() ? std::string() : all.front().data;
  }

  std::unique_ptr<Util> wiz_;
};

// NetWare print-server mode, name PS1, the four frame types, polling every 10 s.
inline wizard::NetwareConfigurationData PrintServerMode() {
  wizard::NetwareConfigurationData n;
  n.szOperationMode = "PS";
  n.szPrintServerName = "PS1";
  n.bFrameTypeEthernetII = n.bFrameType8022 = n.bFrameType8023 = n.bFrameType8022Snap = 1;
  n.iQueuePollingInterval = 10;
  return n;
}

// A box addressed by default name or by device record.
using To = std::variant<std::string, const wizard::DeviceRecord*>;

struct TwinCase {
  const char* label;
  // Runs the operation on `to`; `seen` takes what it handed back.
  std::function<int(Util&, const To&, std::string& seen)> run;
};

// An operation written once for both forms (`op(util, nameOrRecord, seen)`) as a table entry.
template <class Op>
std::function<int(Util&, const To&, std::string&)> Either(Op op) {
  return [op](Util& u, const To& to, std::string& seen) {
    return std::visit([&](const auto& t) { return op(u, t, seen); }, to);
  };
}

inline std::vector<std::string> Texts(const std::vector<box_emulator::ReceivedRequest>& requests) {
  std::vector<std::string> out;
  for (const auto& r : requests) out.push_back(r.data);
  return out;
}

}  // namespace wizard_test
