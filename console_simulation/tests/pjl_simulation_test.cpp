#include "console_simulation/tests/sim_fixture.h"

namespace {

using namespace sim_test;

constexpr const char* kOneDevice = "[general]\ndevicecount=1\n[device_0]\ndefaultname=PS1\n";

using List = std::list<std::string>;

TEST_F(SimulationTest, PJLVariablesOfAPortWithTheirAllowedValues) {
  WriteSettings(std::string(kOneDevice) +
                "P1_AUTOCONT.szVariableValue=OFF\nP1_AUTOCONT.bReadOnly=1\n"
                "P1_AUTOCONT.iVariableValueType=2\nP1_AUTOCONT.0=3\nP1_AUTOCONT.1=ON\n"
                "P1_AUTOCONT.3=AUTO\n"
                "P1_COPIES.szVariableValue=1\nP1_COPIES.iVariableValueType=1\nP1_COPIES.0=2\n"
                "P1_COPIES.1=1\nP1_COPIES.2=999\n"
                "P1_FONTSOURCE.szVariableValue=I\nP1_PRTPSERRS.szVariableValue=ON\n"
                "P1_DENSITY.0=-4\nP1_DENSITY.1=1\n"
                "SP_PAPER.szVariableValue=A4\nP2_PAPER.szVariableValue=LETTER\n");
  PJLConfigurationData pjl;
  pjl.dsRET.ValidValueList = {"stale"};
  pjl.dsRET.szVariableValue = "stale";
  pjl.dsDENSITY.ValidValueList = {"stale"};
  ASSERT_EQ(0, sim_.mGetPJLConfiguration("PS1", 1, &pjl));
  EXPECT_EQ("OFF", pjl.dsAUTOCONT.szVariableValue);
  EXPECT_EQ(1, pjl.dsAUTOCONT.bReadOnly);
  EXPECT_EQ(2, pjl.dsAUTOCONT.iVariableValueType);
  EXPECT_EQ((List{"ON", "", "AUTO"}), pjl.dsAUTOCONT.ValidValueList);  // key 2 missing
  EXPECT_EQ((List{"1", "999"}), pjl.dsCOPIES.ValidValueList);
  EXPECT_EQ("I", pjl.dsFONTSOURCE.szVariableValue);
  EXPECT_EQ("ON", pjl.dsPRTPSERRS.szVariableValue);
  EXPECT_EQ("", pjl.dsPAPER.szVariableValue);  // only other ports have it
  // A variable without keys: empty value, flags 0, empty list; a negative count empties too.
  EXPECT_EQ("", pjl.dsRET.szVariableValue);
  EXPECT_TRUE(pjl.dsRET.ValidValueList.empty());
  EXPECT_TRUE(pjl.dsDENSITY.ValidValueList.empty());

  ASSERT_EQ(0, sim_.mGetPJLConfiguration("PS1", 101, &pjl));
  EXPECT_EQ("A4", pjl.dsPAPER.szVariableValue);
  EXPECT_EQ("", pjl.dsAUTOCONT.szVariableValue);
}

TEST_F(SimulationTest, PJLUnknownPortOrDeviceReadsNothing) {
  WriteSettings(std::string(kOneDevice) + "P1_AUTOCONT.szVariableValue=OFF\n"
                "P1_pdsPJLStatusData->iReturnCode=5\n");
  for (int port : {0, 4, 100, 102}) {
    SCOPED_TRACE(port);
    PJLConfigurationData pjl;
    pjl.dsAUTOCONT.szVariableValue = "mine";
    EXPECT_EQ(0, sim_.mGetPJLConfiguration("PS1", port, &pjl));
    EXPECT_EQ("mine", pjl.dsAUTOCONT.szVariableValue);
    PJLStatusData status;
    status.iReturnCode = 42;
    EXPECT_EQ(0, sim_.mGetPJLStatus("PS1", port, &status));
    EXPECT_EQ(42, status.iReturnCode);
    EXPECT_EQ(-2, sim_.mSetPJLEnvironmentVariable("PS1", port, "ON", 26));
  }
  PJLConfigurationData pjl;
  pjl.dsAUTOCONT.szVariableValue = "mine";
  EXPECT_EQ(0, sim_.mGetPJLConfiguration("PS9", 1, &pjl));
  EXPECT_EQ("mine", pjl.dsAUTOCONT.szVariableValue);
  EXPECT_EQ(0, sim_.mSetPJLEnvironmentVariable("PS9", 1, "ON", 26));
  EXPECT_EQ(-2, sim_.mGetPJLConfiguration("PS1", 1, nullptr));
  EXPECT_EQ(-2, sim_.mGetPJLStatus("PS1", 1, nullptr));
}

TEST_F(SimulationTest, PJLSetWritesTheValueOfTheIndexedVariable) {
  struct Case {
    int port;
    int index;
    const char* key;
  };
  const Case cases[] = {
      {2, 26, "P2_AUTOCONT.szVariableValue"},
      {1, 0, "P1_INTRAY1.szVariableValue"},
      {3, 4, "P3_INTRAY1SIZE.szVariableValue"},
      {101, 18, "SP_FONTSOURCE.szVariableValue"},
      {1, 23, "P1_PRTPSERRS.szVariableValue"},
      {2, 28, "P2_FORMLINES.szVariableValue"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    WriteSettings(std::string(kOneDevice) + "P2_AUTOCONT.bReadOnly=1\nP2_AUTOCONT.0=1\n"
                  "P2_AUTOCONT.1=ON\n");
    ASSERT_EQ(0, sim_.mSetPJLEnvironmentVariable("PS1", c.port, "VALUE 1", c.index));
    EXPECT_NE(std::string::npos, Settings().find(std::string(c.key) + "=VALUE 1\n")) << Settings();
  }
  // The next read of the port returns it; flags and list stay as they were, unchecked.
  PJLConfigurationData pjl;
  ASSERT_EQ(0, sim_.mSetPJLEnvironmentVariable("PS1", 2, "OFF", 26));
  ASSERT_EQ(0, sim_.mGetPJLConfiguration("PS1", 2, &pjl));
  EXPECT_EQ("OFF", pjl.dsAUTOCONT.szVariableValue);
  EXPECT_EQ(1, pjl.dsAUTOCONT.bReadOnly);
  EXPECT_EQ(List{"ON"}, pjl.dsAUTOCONT.ValidValueList);
}

TEST_F(SimulationTest, PJLSetRefusesWhatNamesNoKey) {
  WriteSettings(kOneDevice);
  const std::string before = Settings();
  for (int index : {3, -1, 29, 1000}) {
    EXPECT_EQ(-2, sim_.mSetPJLEnvironmentVariable("PS1", 1, "ON", index)) << index;
  }
  EXPECT_EQ(-2, sim_.mSetPJLEnvironmentVariable("PS1", 1, "ON\n[general]", 26));
  EXPECT_EQ(before, Settings());
}

TEST_F(SimulationTest, PJLHugeCountIsBounded) {
  WriteSettings(std::string(kOneDevice) + "P3_PAPER.0=2147483647\nP3_PAPER.1=A4\n");
  PJLConfigurationData pjl;
  ASSERT_EQ(0, sim_.mGetPJLConfiguration("PS1", 3, &pjl));
  ASSERT_EQ(static_cast<std::size_t>(CSimulation::kMaxPJLChoices),
            pjl.dsPAPER.ValidValueList.size());
  EXPECT_EQ("A4", pjl.dsPAPER.ValidValueList.front());
}

TEST_F(SimulationTest, PJLStatusOfOnePort) {
  WriteSettings(std::string(kOneDevice) +
                "P1_pdsPJLStatusData->iReturnCode=3\nP1_pdsPJLStatusData->bOnLine=1\n"
                "P1_pdsPJLStatusData->szDisplay=READY\nP1_pdsPJLStatusData->szModel=LJ 4\n"
                "SP_pdsPJLStatusData->szModel=Serial model\n");
  PJLStatusData status;
  ASSERT_EQ(0, sim_.mGetPJLStatus("PS1", 1, &status));
  EXPECT_EQ(3, status.iReturnCode);
  EXPECT_EQ(1, status.bOnLine);
  EXPECT_EQ("READY", status.szDisplay);
  EXPECT_EQ("LJ 4", status.szModel);
  ASSERT_EQ(0, sim_.mGetPJLStatus("PS1", 2, &status));
  EXPECT_EQ(0, status.iReturnCode);
  EXPECT_EQ(0, status.bOnLine);
  EXPECT_EQ("", status.szDisplay);
  EXPECT_EQ("", status.szModel);
  ASSERT_EQ(0, sim_.mGetPJLStatus("PS1", 101, &status));
  EXPECT_EQ("Serial model", status.szModel);
}

}  // namespace
