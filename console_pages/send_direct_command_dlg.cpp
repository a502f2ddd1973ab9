#include "console_pages/send_direct_command_dlg.h"

#include <QListWidget>
#include <QVBoxLayout>
#include <memory>

#include "console_pages/device_dialog_text.h"
#include "device_client/settings/com_method.h"
#include "ui/services.h"

using namespace ui;

namespace {

const DialogTemplate& Layout() {
  static const DialogTemplate t = [] {
    DialogTemplate d;
    d.id = CSendDirectCommandDlg::IDD;
    d.caption = "Send Direct Command";
    d.cx = 201;
    d.cy = 130;
    d.controls = {
        {-1, Kind::Static, "Command Line :", 0, 7, 7, 80, 9},
        {CSendDirectCommandDlg::IDC_COMMAND_LINE, Kind::Edit, "", WS_TABSTOP, 7, 17, 187, 13},
        {-1, Kind::Static, "Return content :", 0, 7, 35, 80, 9},
        {CSendDirectCommandDlg::IDC_REPLY_LIST, Kind::Static, "", 0, 7, 45, 187, 59},
        {CSendDirectCommandDlg::IDC_SEND_TO_DEVICE, Kind::DefButton, "Send To Device", WS_TABSTOP, 36, 110, 60, 14},
        {IDCANCEL, Kind::Button, "Cancel", WS_TABSTOP, 106, 110, 60, 14},
    };
    return d;
  }();
  return t;
}

}  // namespace

CSendDirectCommandDlg::CSendDirectCommandDlg(CPrintServerUtility& utility, CWnd* parent)
    : CDialog(Layout(), parent), m_Utility(utility) {
  OnCommand(IDC_SEND_TO_DEVICE, BN_CLICKED, &CSendDirectCommandDlg::OnSendToDevice);
}

void CSendDirectCommandDlg::DoDataExchange(bool save) {
  CDialog::DoDataExchange(save);
  DDX_Control(IDC_COMMAND_LINE, m_CommandEdit);
  DDX_Text(save, IDC_COMMAND_LINE, m_szCommand);
}

BOOL CSendDirectCommandDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  device_dialogs::RegisterDeviceDialogStrings();
  // The reply list: unsorted, no selection, a vertical scroll bar, in the place the template
  // keeps for it.
  QWidget* place = GetDlgItem(IDC_REPLY_LIST)->GetSafeHwnd();
  auto* list = new QListWidget(place);
  list->setObjectName(QStringLiteral("replyList"));
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* layout = new QVBoxLayout(place);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list);
  return 1;
}

QListWidget* CSendDirectCommandDlg::List() const {
  CWnd* place = GetDlgItem(IDC_REPLY_LIST);
  return place && place->GetSafeHwnd() ? place->GetSafeHwnd()->findChild<QListWidget*>(QStringLiteral("replyList"))
                                       : nullptr;
}

std::vector<std::string> CSendDirectCommandDlg::ReplyLines() const {
  std::vector<std::string> out;
  if (QListWidget* list = List())
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

void CSendDirectCommandDlg::OnSendToDevice() {
  const std::string command = m_CommandEdit.GetWindowText();
  QListWidget* list = List();
  if (list) list->clear();
  auto reply = std::make_unique<char[]>(CPrintServerUtility::kReplyBufferSize);
  int length = 0;
  int result = 0;
  {
    CWaitCursor wait;
    result = m_Utility.mSendDirectCommand(m_szDefaultName, command, reply.get(), length);
  }
  CComMethod::ShowResult(result);
  m_szCommand = command;
  if (result != 0 || !list) return;
  for (const std::string& line : device_dialogs::SplitReplyLines(reply.get(), CPrintServerUtility::kReplyBufferSize))
    list->addItem(QString::fromLatin1(line.data(), static_cast<int>(line.size())));
  if (list->count() == 0) list->addItem(QStringLiteral("Successful !"));
}
