#include "print_monitor/dialogs/port_dialog_windows.h"

#include <QApplication>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <string>

#include "ui/services.h"
#include "ui/win32.h"
#include "ui/wnd.h"

namespace brandel_windows {

namespace {

using ui::Kind;

constexpr UINT kTab = ui::WS_TABSTOP;

ui::DialogTemplate AddPortTemplate() {
  ui::DialogTemplate t;
  t.id = 601;
  t.caption = "Add Vardon Print Server Port";
  t.cx = 252;
  t.cy = 190;
  t.controls = {
      {0, Kind::GroupBox, "Port", 0, 7, 4, 238, 98},
      {-1, Kind::Static, "Device Name:", 0, 14, 19, 48, 8},
      {1002, Kind::Edit, "", kTab | ui::ES_READONLY, 64, 17, 92, 12},
      {1004, Kind::Button, "Browse", kTab, 162, 16, 76, 14},
      {1006, Kind::Edit, "", kTab | ui::ES_READONLY, 64, 35, 92, 12},
      {1003, Kind::Button, "Select Device Port >>", kTab, 162, 34, 76, 14},
      {-1, Kind::Static, "Port &Name:", 0, 14, 55, 48, 8},
      {1001, Kind::Edit, "", kTab, 64, 53, 92, 12},
      {-1, Kind::Static,
       "If you are using Epson Printer, your Print Server Port name must begin with LPTN:\n(E.g., LPT3:PS123456)",
       0, 14, 70, 224, 26},
      {0, Kind::GroupBox, "Banner", 0, 7, 106, 156, 50},
      {302, Kind::CheckBox, "&Enable Banner", kTab, 14, 119, 70, 10},
      {1008, Kind::CheckBox, "PostScript", kTab, 92, 119, 62, 10},
      {-1, Kind::Static, "&User Name:", 0, 14, 137, 44, 8},
      {1000, Kind::Edit, "", kTab, 60, 135, 96, 12},
      {0, Kind::GroupBox, "Retry Interval", 0, 169, 106, 76, 50},
      {1010, Kind::Edit, "", kTab | ui::ES_READONLY, 176, 125, 28, 12},
      {1012, Kind::UpDown, "", ui::UDS_WRAP | ui::UDS_SETBUDDYINT | ui::UDS_ARROWKEYS, 204, 125, 10, 12},
      {-1, Kind::Static, "(secs)", 0, 217, 127, 26, 8},
      {-1, Kind::Static, "Driver Version:", 0, 9, 166, 54, 8},
      {1014, Kind::Static, "", 0, 64, 166, 28, 8},
      {-1, Kind::Static, "NetBEUI", 0, 96, 166, 36, 8},
      {ui::IDOK, Kind::DefButton, "OK", kTab, 139, 170, 50, 14},
      {ui::IDCANCEL, Kind::Button, "Cancel", kTab, 195, 170, 50, 14},
  };
  return t;
}

// A list with a text above it and OK and Cancel beside it: Output Select and Device Select.
ui::DialogTemplate ListTemplate(int id, const char* caption, int textId, const char* text, int listWidth) {
  ui::DialogTemplate t;
  t.id = id;
  t.caption = caption;
  t.cx = listWidth + 70;
  t.cy = 124;
  const int buttons = listWidth + 13;
  t.controls = {
      {textId, Kind::Static, text, 0, 7, 7, listWidth, 8},
      {1007, Kind::ListBox, "", kTab, 7, 19, listWidth, 98},
      {ui::IDOK, Kind::DefButton, "OK", kTab, buttons, 19, 50, 14},
      {ui::IDCANCEL, Kind::Button, "Cancel", kTab, buttons, 37, 50, 14},
  };
  return t;
}

// A dialog whose commands go to the monitor's handler: its push buttons (OK and Cancel, also as
// Enter, Esc and the close box) and a double click in a list.
class HostedDialog : public ui::CDialog {
 public:
  HostedDialog(const ui::DialogTemplate& t, const PsaDialogHandler& handler) : ui::CDialog(t), handler_(handler) {}

  BOOL OnInitDialog() override {
    if (handler_.onInit) handler_.onInit(handler_.context, Handle());
    return 1;
  }
  ui::LRESULT Notify(int id, int code, ui::NMHDR* info) override {
    if ((code == ui::BN_CLICKED && IsPushButton(id)) || (code == ui::LBN_DBLCLK && IsList(id))) {
      if (handler_.onCommand) handler_.onCommand(handler_.context, Handle(), id);
      return 0;
    }
    return ui::CDialog::Notify(id, code, info);
  }
  PsaDialog* Handle() { return reinterpret_cast<PsaDialog*>(this); }

 private:
  bool IsPushButton(int id) const {
    if (id == ui::IDOK || id == ui::IDCANCEL) return true;
    return KindOf(id) == Kind::Button || KindOf(id) == Kind::DefButton;
  }
  bool IsList(int id) const { return KindOf(id) == Kind::ListBox; }
  Kind KindOf(int id) const {
    for (const ui::ControlTemplate& c : Template().controls)
      if (c.id == id) return c.kind;
    return Kind::Static;
  }
  PsaDialogHandler handler_;
};

HostedDialog& Of(PsaDialog* d) { return *reinterpret_cast<HostedDialog*>(d); }

template <class T>
T* Control(PsaDialog* d, int id) {
  return d != nullptr ? dynamic_cast<T*>(Of(d).GetDlgItem(id)) : nullptr;
}

int CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer != nullptr && size > 0) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
  }
  return static_cast<int>(text.size());
}

int RunModal(int templateId, void*, const PsaDialogHandler* handler) {
  const ui::DialogTemplate t = PortDialogTemplate(templateId);
  if (t.id == 0 || handler == nullptr || QApplication::instance() == nullptr) return -1;
  HostedDialog dialog(t, *handler);
  return static_cast<int>(dialog.DoModal());
}

const PsaDialogService kService = {
    sizeof(PsaDialogService),
    &RunModal,
    [](PsaDialog* d, int code) { Of(d).EndDialog(code); },
    [](PsaDialog* d) { Of(d).SetForegroundWindow(); },
    [](PsaDialog* d, int id, char* buffer, int size) { return CopyOut(Of(d).GetDlgItemText(id), buffer, size); },
    [](PsaDialog* d, int id, const char* text) { Of(d).SetDlgItemText(id, text != nullptr ? text : ""); },
    [](PsaDialog* d, int id, int chars) {
      if (auto* e = Control<ui::CEdit>(d, id)) e->LimitText(chars);
    },
    [](PsaDialog* d, int id, int readOnly) {
      if (auto* e = Control<ui::CEdit>(d, id)) e->SetReadOnly(readOnly != 0);
    },
    [](PsaDialog* d, int id) { return Of(d).IsDlgButtonChecked(id); },
    [](PsaDialog* d, int id, int checked) { Of(d).CheckDlgButton(id, checked != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED); },
    [](PsaDialog* d, int id, const char* text) {
      auto* l = Control<ui::CListBox>(d, id);
      return l != nullptr && text != nullptr ? l->AddString(text) : -1;
    },
    [](PsaDialog* d, int id) {
      auto* l = Control<ui::CListBox>(d, id);
      return l != nullptr ? l->GetCount() : 0;
    },
    [](PsaDialog* d, int id) {
      auto* l = Control<ui::CListBox>(d, id);
      return l != nullptr ? l->GetCurSel() : -1;
    },
    [](PsaDialog* d, int id, int index) {
      if (auto* l = Control<ui::CListBox>(d, id)) l->SetCurSel(index);
    },
    [](PsaDialog* d, int id, int index, char* buffer, int size) {
      auto* l = Control<ui::CListBox>(d, id);
      return CopyOut(l != nullptr ? l->GetText(index) : std::string(), buffer, size);
    },
    [](PsaDialog* d, int id, int buddyId, int lower, int upper, int pos) {
      auto* spin = Control<ui::CSpinButtonCtrl>(d, id);
      ui::CWnd* buddy = d != nullptr ? Of(d).GetDlgItem(buddyId) : nullptr;
      if (spin == nullptr || buddy == nullptr) return 0;
      spin->SetBuddy(buddy);
      spin->SetRange(lower, upper);
      spin->SetPos(pos);
      return 1;
    },
    [] { QApplication::beep(); },
    [](int on) {
      static std::vector<std::unique_ptr<ui::CWaitCursor>> cursors;
      if (on != 0)
        cursors.push_back(std::make_unique<ui::CWaitCursor>());
      else if (!cursors.empty())
        cursors.pop_back();
    },
};

}  // namespace

ui::DialogTemplate PortDialogTemplate(int id) {
  switch (id) {
    case 601: return AddPortTemplate();
    case 701: return ListTemplate(701, "Output Select", 1000, "", 126);  // the text: the device number
    case 801: return ListTemplate(801, "Device Select", -1, "&Device on LAN:", 116);
    default: return {};
  }
}

const PsaDialogService& PortDialogService() { return kService; }

void InstallPortDialogService() { platform::spooler::SetDialogService(&kService); }

}  // namespace brandel_windows
