// The bindery page: the box as a bindery print server of a master file server. Where the NetWare
// client layer is usable it also creates the print server, its printers and queues on the server.
#pragma once
#include "wizard/netware_common.h"

namespace wizard {

class CNetwareBindery : public CNetwareDetailPage {
 public:
  enum {
    IDC_FILE_SERVER = 1014,
    IDC_QUEUE_P1 = 1011,
    IDC_QUEUE_P2 = 1012,
    IDC_QUEUE_P3 = 1013,
    IDC_QUEUE_SERIAL = 1034,
    IDC_LABEL_P1 = 1001,
    IDC_LABEL_P2 = 1002,
    IDC_LABEL_P3 = 1007,
    IDC_LABEL_SERIAL = 1036,
  };
  static constexpr NetwareQueueRows kQueueRows = {{IDC_QUEUE_P1, IDC_QUEUE_P2, IDC_QUEUE_P3, IDC_QUEUE_SERIAL},
                                                  {IDC_LABEL_P1, IDC_LABEL_P2, IDC_LABEL_P3, IDC_LABEL_SERIAL}};
  CNetwareBindery();
  BOOL OnInitDialog() override;
  ui::LRESULT OnWizardNext() override;
  void OnDropdownFileServer();

 protected:
  void ShowBoxNames(bool clear) override;
  void LimitNameFields() override;
  void EnableClientControls(bool) override {}

 private:
  // The client's checks and creation; false keeps the page.
  bool SetUpWithClient(const std::string& fileServer);
};

}  // namespace wizard
