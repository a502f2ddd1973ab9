// CPJLUtility end to end: the real TCP transport against an emulated box with a PJL printer on each
// port; the confirmation box answered through a recording message sink.
#include "device_client/pjl/pjl_utility.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_client/access/access.h"
#include "device_client/core/transport/transport.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/pjl_printer.h"

namespace {

using namespace std::chrono_literals;
using box_emulator::PjlPrinter;

class RecordingSink : public platform::MessageSink {
 public:
  int Show(int stringId, const std::string& text, UINT type) override {
    shown.push_back({stringId, text, type});
    return answer;
  }
  struct Box {
    int id;
    std::string text;
    UINT type;
  };
  std::vector<Box> shown;
  int answer = platform::IDNO;
};

DeviceRecord TcpRecord(const std::string& name, const std::string& address) {
  DeviceRecord r{};
  std::memcpy(r.szName, name.data(), std::min<std::size_t>(name.size(), 19));
  r.iProtocol = TYPE_TCPIP;
  std::memcpy(r.address, address.data(), std::min<std::size_t>(address.size(), 19));
  return r;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02X", c);
    out += two;
  }
  return out;
}

const std::string kUel = "\x1b%-12345X";

class PjlTest : public ::testing::Test {
 protected:
  static box_emulator::BoxOptions Options() {
    box_emulator::BoxOptions o;
    o.restartWindow = 0ms;
    return o;
  }
  PjlTest() : box_(Options()) {}

  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(::chdir(root_.path().c_str()), 0);  // "utility.log" would live here
    platform::SetMessageSink(&sink_);
    name_ = box_.DefaultName();
    util_ = std::make_unique<CPJLUtility>();
    ASSERT_EQ(util_->mInitializeLanComponent(TYPE_TCPIP, 20), 0);
    console_access::ClearDevices();
    ASSERT_EQ(console_access::AppendDevice(TcpRecord(name_, box_.Address())), 0);
  }

  void TearDown() override {
    util_.reset();
    platform::SetMessageSink(nullptr);
    if (!oldCwd_.empty()) {
      EXPECT_EQ(::chdir(oldCwd_.c_str()), 0);
    }
  }

  void OnPrinter(int port, const std::function<void(PjlPrinter&)>& f) {
    box_.WithCore([&](box_emulator::BoxCore& core) { f(core.pjl().printer(port)); });
  }
  std::vector<std::string> RequestsSent() {
    std::vector<std::string> out;
    for (const auto& r : box_.Requests()) out.push_back(r.data);
    return out;
  }
  int CountRequests(const std::string& prefix) {
    int n = 0;
    for (const auto& r : RequestsSent()) n += r.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  platform::testing::TempRoot root_;
  platform::FakeClock clock_{1765368000000LL, 10000};
  platform::ScopedClock useClock_{&clock_};
  box_emulator::Box box_;
  RecordingSink sink_;
  std::unique_ptr<CPJLUtility> util_;
  std::string name_;
  std::string oldCwd_;
};

// ---- Model ----------------------------------------------------------------------------------

struct ModelCase {
  const char* label;
  int port;
  std::function<void(PjlPrinter&)> setUp;
  int rc;
  std::string model;
};

TEST_F(PjlTest, ReadsTheModelFromTheBidirectionalTest) {
  const ModelCase cases[] = {
      {"model_key", 1, [](PjlPrinter& p) { p.deviceId = "MFG:X;MODEL:Laser 4;"; }, 0, "Laser 4"},
      {"mdl_without_semicolon", 2, [](PjlPrinter& p) { p.deviceId = "MFG:X;MDL:ABC"; }, 0, "ABC"},
      {"serial_port", 101, [](PjlPrinter& p) { p.deviceId = "mdl:Serial One;"; }, 0, "Serial One"},
      {"no_model_key", 3, [](PjlPrinter& p) { p.deviceId = "MFG:X;CMD:PJL;"; }, 0, ""},
      {"other_status_byte", 1, [](PjlPrinter& p) { p.bidirectionalAnswer = "XMDL:Q;"; }, 0, ""},
      {"empty_reply", 1, [](PjlPrinter& p) { p.bidirectionalAnswer = ""; }, 0, ""},
      {"not_bidirectional", 1, [](PjlPrinter& p) { p.bidirectional = false; }, -206, "untouched"},
      {"busy", 2, [](PjlPrinter& p) { p.status = '2'; }, -207, "untouched"},
      {"bad_parameter", 3, [](PjlPrinter& p) { p.status = '3'; }, -208, "untouched"},
  };
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.label);
    OnPrinter(c.port, [](PjlPrinter& p) { p = PjlPrinter(); });
    OnPrinter(c.port, c.setUp);
    PJLStatusData status;
    status.szModel = "untouched";
    status.iReturnCode = 77;
    status.szDisplay = "shown";
    EXPECT_EQ(util_->mGetPJLStatus(name_, c.port, &status), c.rc);
    EXPECT_EQ(status.szModel, c.model);
    EXPECT_EQ(status.iReturnCode, 77);
    EXPECT_EQ(status.szDisplay, "shown");
  }
  const auto sent = RequestsSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], "9500: P10000Am I a bidirectional printer?\n");
  EXPECT_EQ(sent[2], "9500: SP0000Am I a bidirectional printer?\n");
}

// ---- Configuration --------------------------------------------------------------------------

TEST_F(PjlTest, ReadsVariablesWithRangesEnumerationsAndReadOnlyFlags) {
  PJLConfigurationData config;
  config.dsINTRAY2.szVariableValue = "stale";
  config.dsINTRAY2.bReadOnly = 1;
  ASSERT_EQ(util_->mGetPJLConfiguration(name_, 2, &config), 0);

  EXPECT_EQ(config.dsCOPIES.szVariableValue, "1");
  EXPECT_EQ(config.dsCOPIES.iVariableValueType, 1);
  EXPECT_EQ(config.dsCOPIES.bReadOnly, 0);
  EXPECT_EQ(config.dsCOPIES.ValidValueList, (std::list<std::string>{"1", "999"}));

  EXPECT_EQ(config.dsSYMSET.szVariableValue, "ROMAN8");
  EXPECT_EQ(config.dsSYMSET.iVariableValueType, 2);
  EXPECT_EQ(config.dsSYMSET.bReadOnly, 1);
  EXPECT_EQ(config.dsSYMSET.ValidValueList,
            (std::list<std::string>{"ROMAN8", "PC8", "ISOL1", "PC850"}));
  EXPECT_EQ(config.dsPITCH.szVariableValue, "10.00");
  EXPECT_EQ(config.dsPITCH.ValidValueList, (std::list<std::string>{"0.44", "99.99"}));
  EXPECT_EQ(config.dsPAPER.ValidValueList.size(), 6u);
  EXPECT_EQ(config.dsINTRAY1SIZE.bReadOnly, 1);

  // Not reported: the value is emptied, the rest kept.
  EXPECT_EQ(config.dsINTRAY2.szVariableValue, "");
  EXPECT_EQ(config.dsINTRAY2.bReadOnly, 1);

  // The language word of the LPARM variables is kept with the variable.
  const auto& map = util_->VariableMap();
  ASSERT_EQ(map.count(22), 1u);
  EXPECT_EQ(map.at(22)->m_szLanguage, "PCL");
  ASSERT_EQ(map.count(23), 1u);
  EXPECT_EQ(map.at(23)->m_szLanguage, "POSTSCRIPT");
  EXPECT_EQ(map.count(25), 1u);

  // One bidirectional test, then the framed INFO VARIABLES job, hexadecimally encoded.
  const auto sent = RequestsSent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], "9500: P20000Am I a bidirectional printer?\n");
  EXPECT_EQ(sent[1], "9601: P20000" +
                         Hex(kUel + "@PJL\r\n@PJL INFO VARIABLES\r\n" + kUel) + "\n");
  EXPECT_TRUE(sink_.shown.empty());
}

struct AnswerCase {
  const char* label;
  std::function<void(PjlPrinter&)> setUp;
  int rc;
  const char* copies;   // dsCOPIES value afterwards
  const char* autocont;  // dsAUTOCONT value afterwards
};

TEST_F(PjlTest, ConfigurationReplies) {
  const AnswerCase cases[] = {
      {"printer_off_line", [](PjlPrinter& p) { p.bidirectional = false; }, -206, "", ""},
      {"printer_busy", [](PjlPrinter& p) { p.status = '2'; }, -207, "", ""},
      {"parameter_invalid", [](PjlPrinter& p) { p.status = '3'; }, -208, "", ""},
      {"no_pjl_answer", [](PjlPrinter& p) { p.speaksPjl = false; }, 0, "", ""},
      {"no_information",
       [](PjlPrinter& p) { p.infoVariablesAnswer = "@PJL INFO VARIABLES\r\n\"?\"\r\n\f"; }, -203,
       "", ""},
      {"entry_of_no_kind_ends_reading",
       [](PjlPrinter& p) {
         p.infoVariablesAnswer =
             "@PJL INFO VARIABLES\r\nCOPIES=4 [2 RANGE]\r\n\t1\r\n\t9\r\nODD=X [1 STRING]\r\n"
             "AUTOCONT=ON [2 ENUMERATED]\r\n\tOFF\r\n\tON\r\n\f";
       },
       0, "4", ""},
      {"unknown_name_skipped_later_duplicate_wins",
       [](PjlPrinter& p) {
         p.infoVariablesAnswer =
             "@PJL INFO VARIABLES\r\nCOPIES=4 [2 RANGE]\r\n\t1\r\n\t9\r\nFOO=1 [1 ENUMERATED]\r\n"
             "\t1\r\nCOPIES=6 [2 RANGE]\r\n\t1\r\n\t9\r\nAUTOCONT=ON [2 ENUMERATED]\r\n\tOFF\r\n"
             "\tON\r\n\f";
       },
       0, "6", "ON"},
      {"answer_cut_inside_entry_line",
       [](PjlPrinter& p) { p.infoVariablesAnswer = "@PJL INFO VARIABLES\r\nCOPIES=4 [2 RA"; }, 0,
       "", ""},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.label);
    OnPrinter(1, [](PjlPrinter& p) { p = PjlPrinter(); });
    OnPrinter(1, c.setUp);
    PJLConfigurationData config;
    config.dsCOPIES.szVariableValue = "old";
    config.dsAUTOCONT.szVariableValue = "old";
    EXPECT_EQ(util_->mGetPJLConfiguration(name_, 1, &config), c.rc);
    EXPECT_EQ(config.dsCOPIES.szVariableValue, c.copies);
    EXPECT_EQ(config.dsAUTOCONT.szVariableValue, c.autocont);
  }
  EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(PjlTest, PrinterThatFailsTheTestIsReadOnlyAfterTheUserAgrees) {
  OnPrinter(3, [](PjlPrinter& p) { p.bidirectionalAnswer = ""; });

  sink_.answer = platform::IDNO;
  PJLConfigurationData config;
  EXPECT_EQ(util_->mGetPJLConfiguration(name_, 3, &config), -205);
  ASSERT_EQ(sink_.shown.size(), 1u);
  EXPECT_EQ(sink_.shown[0].text, CPJLUtility::kConfirmText);
  EXPECT_EQ(sink_.shown[0].type, platform::MB_YESNO | platform::MB_ICONQUESTION);
  EXPECT_EQ(CountRequests("9500:"), 3);
  EXPECT_EQ(CountRequests("9601:"), 0);
  EXPECT_EQ(config.dsCOPIES.szVariableValue, "");

  sink_.answer = platform::IDYES;
  EXPECT_EQ(util_->mGetPJLConfiguration(name_, 3, &config), 0);
  EXPECT_EQ(sink_.shown.size(), 2u);
  EXPECT_EQ(CountRequests("9500:"), 6);
  EXPECT_EQ(CountRequests("9601: P30000"), 1);
  EXPECT_EQ(config.dsCOPIES.szVariableValue, "1");
}

// ---- Setting a variable ---------------------------------------------------------------------

TEST_F(PjlTest, SetsADefaultThatTheNextReadShows) {
  struct Case {
    int port;
    int index;
    const char* value;
    const char* printerName;
    PJLVariableData PJLConfigurationData::*entry;
  } cases[] = {
      {1, 25, "5", "COPIES", &PJLConfigurationData::dsCOPIES},
      {101, 20, "12.50", "LPARM:PCL PITCH", &PJLConfigurationData::dsPITCH},
      {2, 13, "A4", "PAPER", &PJLConfigurationData::dsPAPER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printerName);
    box_.ClearRequests();
    ASSERT_EQ(util_->mSetPJLEnvironmentVariable(name_, c.port, c.value, c.index), 0);
    const auto sent = RequestsSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], std::string("9601: ") + pjl::PortToken(c.port) + "0000" +
                           Hex(kUel + "@PJL\r\n@PJL DEFAULT " + c.printerName + " = " + c.value +
                               " \r\n@PJL ECHO \"echo\" \r\n" + kUel) +
                           "\n");
    PJLConfigurationData config;
    ASSERT_EQ(util_->mGetPJLConfiguration(name_, c.port, &config), 0);
    EXPECT_EQ((config.*c.entry).szVariableValue, c.value);
  }
}

TEST_F(PjlTest, PrinterKeepsItsValueForADefaultItRefuses) {
  // The box delivers the job ('0'); the printer itself ignores a value it does not take, and the
  // next read shows the old value.
  struct Case {
    int index;
    const char* value;
    PJLVariableData PJLConfigurationData::*entry;
    const char* kept;
  } cases[] = {
      {25, "1000", &PJLConfigurationData::dsCOPIES, "1"},
      {25, "1.5", &PJLConfigurationData::dsCOPIES, "1"},
      {22, "PC8", &PJLConfigurationData::dsSYMSET, "ROMAN8"},  // read-only
      {13, "B9", &PJLConfigurationData::dsPAPER, "LETTER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(util_->mSetPJLEnvironmentVariable(name_, 1, c.value, c.index), 0);
    PJLConfigurationData config;
    ASSERT_EQ(util_->mGetPJLConfiguration(name_, 1, &config), 0);
    EXPECT_EQ((config.*c.entry).szVariableValue, c.kept);
  }
  OnPrinter(1, [](PjlPrinter& p) {
    EXPECT_TRUE(p.defaultsTaken().empty());
    EXPECT_EQ(p.defaultsRefused().size(), 4u);
  });
}

TEST_F(PjlTest, SetFailsWhenThePrinterDoesNotTakeTheJob) {
  OnPrinter(1, [](PjlPrinter& p) { p.status = '2'; });
  EXPECT_EQ(util_->mSetPJLEnvironmentVariable(name_, 1, "5", 25), -1);
  OnPrinter(1, [](PjlPrinter& p) { p.bidirectional = false; });
  EXPECT_EQ(util_->mSetPJLEnvironmentVariable(name_, 1, "5", 25), -1);
  EXPECT_EQ(CountRequests("9601:"), 2);
}

TEST_F(PjlTest, BadArgumentsAreRefusedBeforeAnyTraffic) {
  struct Case {
    const char* label;
    std::string name;
    int port;
    std::string value;
    int index;
    int rc;
  } cases[] = {
      {"empty_name", "", 1, "5", 25, -2},
      {"negative_port", name_, -1, "5", 25, -2},
      {"unknown_port", name_, 4, "5", 25, -2},
      {"port_zero", name_, 0, "5", 25, -2},
      {"empty_value", name_, 1, "", 25, -2},
      {"value_with_line_break", name_, 1, "5\r\n@PJL DEFAULT COPIES = 9", 25, -2},
      {"value_with_lf", name_, 1, "5\n", 25, -2},
      {"value_with_escape", name_, 1, "5" + kUel, 25, -2},
      {"value_with_quote", name_, 1, "\"5\"", 25, -2},
      {"value_too_long", name_, 1, std::string(256, '5'), 25, -2},
      {"negative_index", name_, 1, "5", -1, -2},
      {"index_above_table", name_, 1, "5", 29, -2},
      {"index_without_variable", name_, 1, "5", 3, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(util_->mSetPJLEnvironmentVariable(c.name, c.port, c.value, c.index), c.rc);
  }
  PJLConfigurationData config;
  PJLStatusData status;
  EXPECT_EQ(util_->mGetPJLConfiguration(name_, 1, nullptr), -2);
  EXPECT_EQ(util_->mGetPJLConfiguration("", 1, &config), -2);
  EXPECT_EQ(util_->mGetPJLConfiguration(name_, -1, &config), -2);
  EXPECT_EQ(util_->mGetPJLConfiguration(name_, 7, &config), -2);
  EXPECT_EQ(util_->mGetPJLStatus(name_, 1, nullptr), -2);
  EXPECT_EQ(util_->mGetPJLStatus(name_, 102, &status), -2);
  EXPECT_EQ(box_.RequestCount(), 0u);
  EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(PjlTest, WithoutTheNameTableNoVariableCanBeSet) {
  CPJLUtility fresh;  // never initialised: its name table is empty
  EXPECT_EQ(fresh.NameCount(), 0u);
  EXPECT_EQ(fresh.mSetPJLEnvironmentVariable(name_, 1, "5", 25), -1);
  EXPECT_EQ(box_.RequestCount(), 0u);
}

TEST_F(PjlTest, NameTableIsFilledEvenWhenATransportFailsToStart) {
  // TCP/IP reports a failed start; it works again for the requests that follow.
  struct DeadProvider : core::StreamProvider {
    bool Probe() override { return false; }
    int Connect(const std::uint8_t (&)[20], const core::TransportParams&) override { return -1; }
  } dead;
  core::SetStreamProvider(core::StreamKind::kTcp, &dead);
  CPJLUtility other;
  const int rc = other.mInitializeLanComponent(TYPE_TCPIP, 20);
  core::SetStreamProvider(core::StreamKind::kTcp, nullptr);
  EXPECT_EQ(rc, 0x12);
  EXPECT_EQ(other.NameCount(), 28u);
  console_access::ClearDevices();
  ASSERT_EQ(console_access::AppendDevice(TcpRecord(name_, box_.Address())), 0);
  EXPECT_EQ(other.mSetPJLEnvironmentVariable(name_, 1, "7", 25), 0);
  OnPrinter(1, [](PjlPrinter& p) { EXPECT_EQ(p.Find("COPIES")->value, "7"); });
}

// ---- Inner steps ----------------------------------------------------------------------------

TEST_F(PjlTest, NameTableLookups) {
  struct Case {
    const char* name;
    int index;
  } cases[] = {{"AUTOCONT", 26}, {"INTRAY1", 0}, {"LPARM:PCL SYMSET", 22}, {"FORMLINES", 28},
               {"LPARM:POSTSCRIPT PRTPSERRS", 23}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int index = -1;
    EXPECT_EQ(util_->LookupVariableIndex(c.name, index), 0);
    EXPECT_EQ(index, c.index);
    std::string name;
    EXPECT_EQ(util_->LookupVariableName(c.index, name), 0);
    EXPECT_EQ(name, c.name);
  }
  int index = 0;
  std::string name;
  EXPECT_EQ(util_->LookupVariableIndex("", index), -2);
  EXPECT_EQ(util_->LookupVariableIndex("copies", index), -1);
  EXPECT_EQ(util_->LookupVariableIndex("SYMSET", index), -1);
  EXPECT_EQ(util_->LookupVariableName(-1, name), -2);
  EXPECT_EQ(util_->LookupVariableName(3, name), -1);
  EXPECT_EQ(util_->LookupVariableName(29, name), -1);
  EXPECT_EQ(util_->AddVariableName("COPIES", 25), -1);
  EXPECT_EQ(util_->AddVariableName("", 1), -2);
  EXPECT_EQ(util_->AddVariableName("X", -1), -2);
}

TEST_F(PjlTest, ReplyStatusBytesAndLengths) {
  // Log lines go to "utility.log" when that file exists at start.
  { std::FILE* f = std::fopen("utility.log", "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
  CPJLUtility logged;
  ASSERT_EQ(logged.mInitializeLanComponent(TYPE_TCPIP, 20), 0);

  struct Case {
    std::string reply;
    int rc;
  } cases[] = {
      {"", -201},   {"1", -206}, {"2", -207}, {"3", -208}, {"4", -201}, {"X@PJL INFO VARIABLES", -201},
      {"0", 0},     {"0@PJL INFO VARIABLES\r\nCOPIES=2 [2 RANGE]\r\n\t1\r\n\t9\r\n\f", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    PJLConfigurationData config;
    EXPECT_EQ(logged.ParsePJLConfiguration(c.reply.data(), static_cast<int>(c.reply.size()),
                                           &config),
              c.rc);
  }
  PJLConfigurationData config;
  EXPECT_EQ(logged.ParsePJLConfiguration("0", -1, &config), -1);
  EXPECT_EQ(logged.ParsePJLConfiguration("0", 1, nullptr), -2);

  std::FILE* f = std::fopen("utility.log", "r");
  ASSERT_NE(f, nullptr);
  std::string log;
  char buf[256];
  while (std::fgets(buf, sizeof buf, f) != nullptr) log += buf;
  std::fclose(f);
  EXPECT_NE(log.find("mGetPJLConfiguration() received 0x31"), std::string::npos);
  EXPECT_NE(log.find("mGetPJLConfiguration() received 0x32"), std::string::npos);
  EXPECT_NE(log.find("mGetPJLConfiguration() received 0x33"), std::string::npos);
}

}  // namespace
