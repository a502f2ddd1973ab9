#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "console_simulation/debug_log.h"
#include "console_simulation/tests/sim_fixture.h"
#include "device_client/settings/com_method.h"

namespace {

using namespace sim_test;
using Lines = std::vector<std::string>;

class DebugLogTest : public ::testing::Test {
 protected:
  DebugLogTest() : path_(platform::JoinPath(root_.path(), "debug.log")) { SwitchLog("T"); }

  void SwitchLog(const std::string& value) {
    WriteFile(WindowsFile("common.ini"),
              "[general]\ndebuglog=" + value + "\ndebuglogfilename=" + path_ + "\n");
  }

  // The log's lines; the text must end with a line feed.
  Lines LogLines() const {
    const std::string text = ReadFile(path_);
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  // The dump's lines after the header and the empty line.
  Lines Body(const std::string& header) const {
    Lines lines = LogLines();
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() < 2) return {};
    EXPECT_EQ(header, lines[0]);
    EXPECT_EQ("", lines[1]);
    return Lines(lines.begin() + 2, lines.end());
  }

  void ClearLog() { std::filesystem::remove(path_); }

  platform::testing::TempRoot root_;
  std::string path_;
  CDebugLog log_;
};

TEST_F(DebugLogTest, NothingIsWrittenUnlessTheSwitchIsExactlyT) {
  for (const char* value : {"", "t", "true", "1", "F"}) {
    SwitchLog(value);
    config::SystemConfigurationData sys;
    log_.mGetSystemConfiguration("PS1", &sys);
    log_.mInitializeLanComponent(2, 20);
    BrowseAllPrintServerData lists;
    log_.PS_Browse(&lists, "*");
    EXPECT_FALSE(std::filesystem::exists(path_)) << "'" << value << "'";
  }
  WriteFile(WindowsFile("common.ini"), "[general]\ndebuglogfilename=" + path_ + "\n");
  log_.mResetDevice("PS1");
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(DebugLogTest, PlainValuesAndTheNameLineForms) {
  struct Case {
    std::function<void(CDebugLog&)> call;
    std::string header;
    Lines body;
  };
  const Case cases[] = {
      {[](CDebugLog& l) { l.mInitializeLanComponent(3, 20); },
       "mInitializeLanComponent(int iProtocol, int iTimeOut)",
       {"iProtocol = 3   TYPE_IPXSPX   TYPE_TCPIP   ", "iTimeOut = 20 "}},
      {[](CDebugLog& l) { l.mInitializeLanComponent(7, 0); },
       "mInitializeLanComponent(int iProtocol, int iTimeOut)",
       {"iProtocol = 7   TYPE_IPXSPX   TYPE_TCPIP   TYPE_NETBEUI   ", "iTimeOut = 0 "}},
      {[](CDebugLog& l) { l.mInitializeLanComponent(0, 5); },
       "mInitializeLanComponent(int iProtocol, int iTimeOut)",
       {"iProtocol = 0   NOT_DEFINE  ", "iTimeOut = 5 "}},
      {[](CDebugLog& l) { l.mInitializeLanComponent(8, 5); },
       "mInitializeLanComponent(int iProtocol, int iTimeOut)",
       {"iProtocol = 8   NOT_DEFINE  ", "iTimeOut = 5 "}},
      {[](CDebugLog& l) { l.mResetDevice2("PS1"); }, "mResetDevice(CString & szDefaultName)",
       {"szDefaultName=PS1"}},
      {[](CDebugLog& l) { l.mPrintTestPage("PS1", 101); },
       "mPrintTestPage(CString & szDefaultName, int iPort)", {"szDefaultName=PS1", "iPort=101"}},
      {[](CDebugLog& l) {
         int model = 12;
         l.mGetDevicePortType("PS1", &model);
       },
       "mGetDevicePortType(CString &szDefaultName, int *iModelType)",
       {"szDefaultName=PS1", "*iModelType = 12 "}},
      {[](CDebugLog& l) { l.mSetIPAddress("PS1", "10.0.0.9", "10.0.0.1", "255.255.255.0"); },
       "mSetIPAddress(CString &szDefaultName, CString &szIPAddress,CString "
       "&szGatewayAddress,CString &szSubNetworkMaskAddress)",
       {"szDefaultName = PS1 ", "szIPAddress = 10.0.0.9 ", "szGatewayAddress = 10.0.0.1 ",
        "szSubNetworkMaskAddress = 255.255.255.0 "}},
      {[](CDebugLog& l) { l.mQueryProtocol("PS1"); }, "mQueryProtocol(CString szDefaultName)",
       {"szDefaultName = PS1 "}},
      {[](CDebugLog& l) { l.mSetPJLEnvironmentVariable("PS1", 2, "OFF", 26); },
       "mSetPJLEnvironmentVariable(CString &szDefaultName, int iPort,CString &szVariableValue, "
       "int iPJLInqueryType)",
       {"szDefaultName=PS1", "iPort = 2 ", "szVariableValue = OFF ", "iPJLInqueryType = 26 "}},
      {[](CDebugLog& l) { l.mSetPassword("PS1", "hunter2"); },
       "mSetPassword(CString &szDefaultName, CString &szPassword)",
       {"szDefaultName=PS1", "szPassword = **** "}},
      {[](CDebugLog& l) { l.mSetNetwarePassword("PS1", "hunter2"); },
       "mSetNetwarePassword(CString &szDefaultName, CString &szPassword)",
       {"szDefaultName=PS1", "szPassword = **** "}},
      {[](CDebugLog& l) { l.mGetPrinterStatusPassword("PS1", "hunter2"); },
       "mGetPrinterStatus(CString &szDefaultName,CString &szPassword)",
       {"szDefaultName=PS1", "szPassword = **** "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    ClearLog();
    c.call(log_);
    EXPECT_EQ(c.body, Body(c.header));
  }
}

TEST_F(DebugLogTest, RecordsFieldByField) {
  config::SystemConfigurationData sys;
  sys.szDeviceName = "Office";
  sys.bIPXSPXProtocol = 1;
  sys.bNetBEUIProtocol = 1;
  log_.mGetSystemConfiguration("PS1", &sys);
  EXPECT_EQ((Lines{"szDefaultName=PS1", "pdsSystemConfigurationData->szDeviceName = Office ",
                   "pdsSystemConfigurationData->bIPXSPXProtocol = 1 ",
                   "pdsSystemConfigurationData->bTCPIPProtocol = 0 ",
                   "pdsSystemConfigurationData->bAPPLETALKProtocol = 0 ",
                   "pdsSystemConfigurationData->bNetBEUIProtocol = 1 "}),
            Body("mGetSystemConfiguration(CString &szDefaultName,SystemConfigurationData "
                 "*pdsSystemConfigurationData)"));

  ClearLog();
  config::ProtocolData caps;
  caps.bWirelessDevice = 1;
  caps.bIPXSPXProtocol = 1;
  log_.mGetDeviceProtocol("PS1", &caps);
  const Lines protocol = Body("mGetDeviceProtocol(szDefaultName, &mdsProtocolData)");
  ASSERT_EQ(8u, protocol.size());  // the wireless flag is not written
  EXPECT_EQ("pdsProtocolData->bIPXSPXProtocol = 1 ", protocol[1]);
  EXPECT_EQ("pdsProtocolData->bInternetMailProtocol = 0 ", protocol[7]);

  ClearLog();
  config::AllLogicalPrinter all;
  all.szL1PhysicalPort = "P1";
  all.szL2PhysicalPort = "P2";
  all.szL2StringBeforeJob = "<FF>";
  all.bL8ConvertLFToLFCR = 1;
  log_.mSetAllLogicalPortConfiguration("PS1", 8, &all);
  const Lines lp = Body(
      "mSetAllLogicalPortConfiguration(CString &szDefaultName,int "
      "iLogicalPortCount,AllLogicalPrinter *pdsAllLogicalPrinter)");
  ASSERT_EQ(2u + 32u, lp.size());
  EXPECT_EQ("iLogicalPortCount = 8 ", lp[1]);
  EXPECT_EQ("pdsAllLogicalPrinter->szL1PhysicalPort = P1 ", lp[2]);
  EXPECT_EQ("pdsAllLogicalPrinter->szL2PhysicalPort = P2 ", lp[6]);
  EXPECT_EQ("pdsAllLogicalPrinter->szL2StringBeforeJob = <FF> ", lp[7]);
  EXPECT_EQ("pdsAllLogicalPrinter->bL8ConvertLFToLFCR = 1 ", lp[33]);

  ClearLog();
  log_.mGetTCPIPConfiguration("PS1", nullptr);
  EXPECT_EQ((Lines{"szDefaultName=PS1", "pdsTCPIPConfigurationData = NULL"}),
            Body("mGetTCPIPConfiguration(CString &szDefaultName,TCPIPConfigurationData "
                 "*pdsTCPIPConfigurationData)"));
}

TEST_F(DebugLogTest, NetwarePrintServerNameCarriesATabOnlyInTheGetter) {
  config::NetwareConfigurationData nw;
  nw.szPrintServerName = "PSERV";
  log_.mGetNetwareConfiguration("PS1", &nw);
  Lines lines = LogLines();
  ASSERT_EQ(2u + 1u + 18u, lines.size());
  EXPECT_EQ("pdsNetwareConfigurationData->szPrintServerName\t = PSERV ", lines[19]);
  EXPECT_EQ("pdsNetwareConfigurationData->szDeviceName =  ", lines[20]);
  ClearLog();
  log_.mSetNetwareConfiguration("PS1", &nw);
  lines = LogLines();
  ASSERT_EQ(21u, lines.size());
  EXPECT_EQ("pdsNetwareConfigurationData->szPrintServerName = PSERV ", lines[19]);
}

TEST_F(DebugLogTest, SnmpFormAndSecretsAreMasked) {
  config::SNMPConfigurationData snmp;
  snmp.szSysContact = "admin";
  snmp.szT1_TrapReceiveIPAddress = "10.0.0.5";
  snmp.iT1_TrapOption = 1;
  snmp.szT1_CommunityString = "trap-secret";
  snmp.szM4_CommunityString = "rw-secret";
  snmp.iM4_AccessPermission = 1;
  log_.mSetSNMPConfiguration("PS1", &snmp);
  const Lines body = Body(
      "mSetSNMPConfiguration(CString &szDefaultName,SNMPConfigurationData "
      "*pdsSNMPConfigurationData)");
  ASSERT_EQ(1u + 2u + 16u + 12u, body.size());
  EXPECT_EQ(" pdsSNMPConfigurationData->szSysContact= admin ", body[1]);
  EXPECT_EQ("pdsSNMPConfigurationData->szT1_TrapReceiveIPAddress = 10.0.0.5 ", body[3]);
  EXPECT_EQ(" pdsSNMPConfigurationData->iT1_TrapOption= 1 ", body[4]);
  EXPECT_EQ(" pdsSNMPConfigurationData->szT1_CommunityString= **** ", body[6]);
  EXPECT_EQ(" pdsSNMPConfigurationData->szM4_CommunityString= **** ", body[29]);
  EXPECT_EQ(" pdsSNMPConfigurationData->iM4_AccessPermission= 1 ", body[30]);

  ClearLog();
  config::TCPIPConfigurationData tcp;
  tcp.szPassword = "mail-secret";
  log_.mSetTCPIPConfiguration("PS1", &tcp);
  const std::string text = ReadFile(path_);
  EXPECT_NE(std::string::npos, text.find("pdsTCPIPConfigurationData->szPassword = **** \n"));
  for (const char* secret : {"mail-secret", "trap-secret", "rw-secret"}) {
    EXPECT_EQ(std::string::npos, text.find(secret));
  }
}

TEST_F(DebugLogTest, ListsEntryByEntry) {
  BrowseAllPrintServerData empty;
  log_.PS_Browse(&empty, "*");
  EXPECT_EQ((Lines{"pdsBrowseAllPrintServerData", "{", "}", "szCustomerFilter = *"}),
            Body("PS_Browse(BrowseAllPrintServerData *pdsBrowseAllPrintServerData,CString "
                 "szCustomerFilter)"));

  ClearLog();
  BrowseAllPrintServerData lists;
  lists.szDefaultName = {"PS1", "PS2"};
  lists.szDeviceName = {"Office"};  // shorter than the default names
  lists.szPortType = {"3 ports", "USB"};
  std::string ip = "192.168.1.2";
  log_.mAddCrossSegmentPrintServer(ip, &lists);
  EXPECT_EQ((Lines{"szIpAddress = 192.168.1.2 ", "pdsCrossSegmentPrintServerData", "{",
                   "szDefaultName[0] = PS1", "szDeviceName[0] = Office",
                   "szPortType[0] = 3 ports", "", "szDefaultName[1] = PS2",
                   "szDeviceName[1] = ", "szPortType[1] = USB", "", "}"}),
            Body("mAddCrossSegmentPrintServer(CString &szIpAddress,BrowseAllPrintServerData "
                 "*pdsCrossSegmentPrintServerData)"));

  ClearLog();
  log_.mScanNDSTree({"TREE_A", "TREE_B"});
  EXPECT_EQ((Lines{"NDSTree Total = 2 ", "NDSTree 0 = TREE_A ", "NDSTree 1 = TREE_B "}),
            Body("mScanNDSTree(CStringList &szTreeNameList)"));
  ClearLog();
  log_.mScanAllFileServer({});
  EXPECT_EQ((Lines{"FileServer Total = 0 "}),
            Body("mScanAllFileServer(CStringList &szFileServerNameList)"));
}

TEST_F(DebugLogTest, PJLVariableBlocks) {
  PJLConfigurationData pjl;
  pjl.dsAUTOCONT.szVariableValue = "OFF";
  pjl.dsAUTOCONT.bReadOnly = 1;
  pjl.dsAUTOCONT.iVariableValueType = 2;
  pjl.dsAUTOCONT.ValidValueList = {"ON", "OFF"};
  pjl.dsPAGEPROTECT.szVariableValue = "AUTO";
  log_.mGetPJLConfiguration("PS1", 1, &pjl);
  const Lines body = Body(
      "mGetPJLConfiguration(CString &szDefaultName, int iPort,PJLConfigurationData "
      "*pdsPJLConfigurationData)");
  // Name, port, then 28 blocks of three lines and the blank line, plus two allowed values.
  ASSERT_EQ(2u + 28u * 4u + 2u, body.size());
  EXPECT_EQ(" iPort= 1 ", body[1]);
  const Lines autocont(body.begin() + 2, body.begin() + 8);
  EXPECT_EQ((Lines{" pdsPJLConfigurationData->dsAUTOCONT.szVariableValue= OFF ",
                   " pdsPJLConfigurationData->dsAUTOCONT.bReadOnly= 1 ",
                   " pdsPJLConfigurationData->dsAUTOCONT.iVariableValueType= 2 ",
                   " pdsPJLConfigurationData->dsAUTOCONT.ValidValueList_0= ON ",
                   " pdsPJLConfigurationData->dsAUTOCONT.ValidValueList_1= OFF ", "  "}),
            autocont);
  // CLEARABLEWARNINGS has no allowed values: its three lines and the blank line.
  EXPECT_EQ(" pdsPJLConfigurationData->dsCLEARABLEWARNINGS.szVariableValue=  ", body[8]);
  EXPECT_EQ("  ", body[11]);
  // PAGEPROTECT is the 17th variable; its value line lacks the "ds".
  const std::size_t pageProtect = 8 + 15 * 4;
  EXPECT_EQ(" pdsPJLConfigurationData->PAGEPROTECT.szVariableValue= AUTO ", body[pageProtect]);
  EXPECT_EQ(" pdsPJLConfigurationData->dsPAGEPROTECT.bReadOnly= 0 ", body[pageProtect + 1]);
  EXPECT_EQ(" pdsPJLConfigurationData->dsFONTSOURCE.szVariableValue=  ", body[8 + 21 * 4]);
  EXPECT_EQ(" pdsPJLConfigurationData->dsPRTPSERRS.iVariableValueType= 0 ", body[8 + 26 * 4 + 2]);

  ClearLog();
  PJLStatusData status;
  status.bOnLine = 1;
  status.szDisplay = "READY";
  log_.mGetPJLStatus("PS1", 3, &status);
  EXPECT_EQ((Lines{"szDefaultName=PS1", "iPort = 3 ", "pdsPJLStatusData->iReturnCode = 0 ",
                   "pdsPJLStatusData->bOnLine = 1 ", "pdsPJLStatusData->szDisplay = READY ",
                   "pdsPJLStatusData->szModel =  "}),
            Body("mGetPJLStatus(CString &szDefaultName, int iPort, PJLStatusData "
                 "*pdsPJLStatusData)"));
}

TEST_F(DebugLogTest, LongTextsAreWrittenWhole) {
  // Far beyond every line buffer the log's line forms were once formatted in.
  const std::string info(200000, 'i');
  log_.mGetDeviceInformation("PS1", info);
  EXPECT_EQ((Lines{"szDefaultName=PS1", "szDeviceInformation = " + info + " "}),
            Body("mGetDeviceInformation(CString &szDefaultName,CString &szDeviceInformation)"));
  ClearLog();
  const std::string filter(3000, 'f');
  BrowseAllPrintServerData lists;
  lists.szDefaultName = {std::string(2600, 'd')};
  lists.szDeviceName = {"x"};
  lists.szPortType = {"y"};
  log_.PS_Browse(&lists, filter);
  const Lines body = Body(
      "PS_Browse(BrowseAllPrintServerData *pdsBrowseAllPrintServerData,CString "
      "szCustomerFilter)");
  ASSERT_EQ(8u, body.size());
  EXPECT_EQ("szDefaultName[0] = " + std::string(2600, 'd'), body[2]);
  EXPECT_EQ("szCustomerFilter = " + filter, body[7]);
  ClearLog();
  config::LogicalPrinterConfigurationData lp;
  lp.szStringBeforeJob = std::string(1000, 'b');
  log_.mSetLogicalPortConfiguration("PS1", 1, &lp);
  EXPECT_NE(std::string::npos,
            ReadFile(path_).find("pdsLogicalPrinterConfigurationData->szStringBeforeJob = " +
                                 std::string(1000, 'b') + " \n"));
}

TEST_F(DebugLogTest, PrepareWritesTheBannerAndEmptiesALongLog) {
  WriteFile(path_, std::string(kDebugLogLimit + 1, 'x'));
  PrepareDebugLog();
  Lines lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(std::string(114, '*'), lines[0]);
  EXPECT_EQ(0u, lines[1].rfind("login at ", 0));
  EXPECT_EQ("", lines[2]);
  EXPECT_EQ(std::string(115, '*'), lines[3]);

  // A log of exactly the limit is kept and the banner appended.
  WriteFile(path_, std::string(kDebugLogLimit - 1, 'x') + "\n");
  PrepareDebugLog();
  lines = LogLines();
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ(std::string(kDebugLogLimit - 1, 'x'), lines[0]);

  // With the switch off the file is made but nothing is written.
  ClearLog();
  SwitchLog("F");
  PrepareDebugLog();
  EXPECT_TRUE(std::filesystem::exists(path_));
  EXPECT_EQ("", ReadFile(path_));

  // With no file named nothing is made anywhere.
  WriteFile(WindowsFile("common.ini"), "[general]\ndebuglog=T\n");
  ClearLog();
  PrepareDebugLog();
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(DebugLogTest, PrepareDoesNotWaitOnAFifo) {
  ASSERT_EQ(0, ::mkfifo(path_.c_str(), 0600));
  PrepareDebugLog();  // returns at once: no reader, nothing written
  SUCCEED();
}

}  // namespace
