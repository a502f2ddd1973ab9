// The send direct command dialog: a maintenance tool that sends one request text, typed by the
// user, to the selected box and lists the reply line by line.
#pragma once
#include <string>

#include "device_client/api/print_server_utility.h"
#include "ui/dialog.h"

class QListWidget;

class CSendDirectCommandDlg : public ui::CDialog {
 public:
  static constexpr int IDD = 137;
  static constexpr int IDC_COMMAND_LINE = 1043;
  static constexpr int IDC_REPLY_LIST = 1004;
  static constexpr int IDC_SEND_TO_DEVICE = 1070;

  explicit CSendDirectCommandDlg(CPrintServerUtility& utility, ui::CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;
  void OnSendToDevice();

  // The reply list's entries, in order.
  std::vector<std::string> ReplyLines() const;

  ui::CEdit m_CommandEdit;
  std::string m_szCommand;
  // The selected box's default name: the name the device library finds the box by.
  std::string m_szDefaultName;

 private:
  QListWidget* List() const;
  CPrintServerUtility& m_Utility;
};
