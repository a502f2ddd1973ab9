// The console's small modal dialogs: adding a print server of another network segment by its IP
// address, changing a print server's password, a print server's device information and the about
// box. Each is created on the stack by its caller, which sets the public members first.
#pragma once
#include <string>

#include "device_client/api/print_server_utility.h"
#include "ui/dialog.h"
#include "ui/sft_tree.h"

class CAddCrossSegmentPrintServerDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 159;
  static constexpr int IDC_OCTET1 = 1093;
  static constexpr int IDC_OCTET2 = 1095;
  static constexpr int IDC_OCTET3 = 1097;
  static constexpr int IDC_OCTET4 = 1100;

  explicit CAddCrossSegmentPrintServerDlg(CPrintServerUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(bool save) override;
  void ClearOctets();

  // The octet text as a decimal value 0-255; -1 when it is empty or holds anything but digits,
  // -2 when its value is beyond 255. Leading zeros count as decimal ("010" is 10).
  static int OctetValue(const std::string& text);

  std::string m_szIPAddress;
  ui::CSftTree* m_pTree = nullptr;
  BrowseAllPrintServerData mdsBrowseData;
  ui::CEdit m_editOctet[4];

 private:
  // The message that refuses a box of these names (0: none): names missing, or a box of that
  // default name (any letter case) or that device name already in the tree.
  int DuplicateRefusal(const std::string& defaultName, const std::string& deviceName) const;
  void OnChangeOctet(int index);
  void OnChangeOctet1() { OnChangeOctet(0); }
  void OnChangeOctet2() { OnChangeOctet(1); }
  void OnChangeOctet3() { OnChangeOctet(2); }
  CPrintServerUtility& m_utility;
};

class CChangePasswordDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 154;
  static constexpr int IDC_PASSWORD = 1178;
  static constexpr int IDC_RETYPE_PASSWORD = 1180;
  static constexpr int kPasswordLimit = 19;

  explicit CChangePasswordDlg(CPrintServerUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(bool save) override;

  std::string m_szDefaultName;
  std::string m_szDeviceName;
  ui::CEdit m_editRetype;
  ui::CEdit m_editPassword;

 private:
  CPrintServerUtility& m_utility;
};

class CDeviceInformationDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 138;
  static constexpr int IDC_SELECTED_DEVICE = 1003;
  static constexpr int IDC_INFORMATION = 1118;

  explicit CDeviceInformationDlg(CPrintServerUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  std::string m_szDefaultName;
  std::string m_szDeviceName;
  ui::CEdit m_editInformation;

 private:
  CPrintServerUtility& m_utility;
};

class CAboutDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 100;
  static constexpr int IDC_VERSION = 1002;
  explicit CAboutDlg(ui::CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
};

// The program's version as the about box shows it.
const char* ConsoleVersionText();

// Registers the dialogs' message texts.
void RegisterSmallDialogStrings();
