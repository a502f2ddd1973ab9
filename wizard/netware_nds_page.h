// The NDS page: the box as an NDS print server in a tree and context. Where the NetWare client
// layer is usable it checks tree and context, lets the user browse the tree's containers and
// creates the print server, its printers and queues.
#pragma once
#include <list>
#include <string>

#include "ui/dialog.h"
#include "wizard/netware_common.h"

namespace wizard {

// The containers of a tree, full names without types ("SALES.ACME"), outermost first; at most
// `limit` of them.
std::list<std::string> ListTreeContainers(const std::string& tree, std::size_t limit = 256);

// Lets the user pick one container of a tree.
class CContextBrowseDlg : public ui::CDialog {
 public:
  enum { IDD = 182, IDC_CONTAINERS = 1001 };
  CContextBrowseDlg(std::list<std::string> containers, ui::CWnd* parent);
  BOOL OnInitDialog() override;
  void OnOK() override;
  const std::string& Chosen() const { return m_chosen; }

 private:
  std::list<std::string> m_containers;
  std::string m_chosen;
};

class CNetwareNDS : public CNetwareDetailPage {
 public:
  enum {
    IDC_TREE = 1007,
    IDC_CONTEXT = 1008,
    IDC_BROWSE = 1009,
    IDC_QUEUE_P1 = 1011,
    IDC_QUEUE_P2 = 1012,
    IDC_QUEUE_P3 = 1013,
    IDC_QUEUE_SERIAL = 1034,
    IDC_LABEL_P1 = 1015,
    IDC_LABEL_P2 = 1014,
    IDC_LABEL_P3 = 1016,
    IDC_LABEL_SERIAL = 1035,
  };
  static constexpr NetwareQueueRows kQueueRows = {{IDC_QUEUE_P1, IDC_QUEUE_P2, IDC_QUEUE_P3, IDC_QUEUE_SERIAL},
                                                  {IDC_LABEL_P1, IDC_LABEL_P2, IDC_LABEL_P3, IDC_LABEL_SERIAL}};
  CNetwareNDS();
  BOOL OnInitDialog() override;
  ui::LRESULT OnWizardNext() override;
  void OnDropdownTree();
  void OnBrowse();

 protected:
  void ShowBoxNames(bool clear) override;
  void LimitNameFields() override;
  void EnableClientControls(bool enable) override;

 private:
  bool CheckWithClient(std::string tree, std::string context);
  bool SetUpWithClient(std::string tree, std::string context);
};

}  // namespace wizard
