// What the three NetWare pages share: the four mode radios that switch between the pages, and the
// set-up of the two detail pages (the box's NetWare settings, the queue rows of its ports, and
// whether the NetWare client layer is used to create the print server and its queues).
#pragma once
#include <functional>
#include <list>
#include <string>

#include "ui/property_sheet.h"

namespace wizard {

constexpr int IDS_BROWSE_TREE_EMPTY = 117;
constexpr int IDS_CHECK_TREE = 118;
constexpr int IDS_SELECT_TREE = 119;
constexpr int IDS_SELECT_CONTEXT = 120;
constexpr int IDS_CONTEXT_MISSING = 121;
constexpr int IDS_SELECT_FILE_SERVER = 122;
constexpr int IDS_CHECK_FILE_SERVER = 123;
constexpr int IDS_IPX_NOT_INSTALLED = 136;
constexpr int IDS_NETWARE_ILLEGAL_INPUT = 140;
void RegisterNetwareStrings();

// The radio buttons of all three pages.
constexpr int IDC_NW_NONE = 1003;
constexpr int IDC_NW_NDS = 1004;
constexpr int IDC_NW_BINDERY = 1005;
constexpr int IDC_NW_REMOTE_PRINTER = 1006;
// Static 1010 (the print server's name) and group box 1017 on both detail pages.
constexpr int IDC_NW_PRINT_SERVER = 1010;
constexpr int IDC_NW_QUEUE_GROUP = 1017;

// The mode group, shared by the three page templates.
std::vector<ui::ControlTemplate> NetwareModeControls();

// Queue edits and labels of ports 1, 2, 3 and the serial port on a detail page.
struct NetwareQueueRows {
  int edit[4];
  int label[4];
};
// The queue group of a detail page: group box 1017 from `top` down to the page's foot, and the
// four rows of label and edit, `step` apart.
std::vector<ui::ControlTemplate> QueueGroupControls(const NetwareQueueRows& rows, int top, int step);

// A string-table text with every "%s" replaced by the value.
std::string FormatWithName(int stringId, const std::string& value);
// Shows FormatWithName(stringId, name) with an OK button.
void ShowNamed(int stringId, const std::string& name);
// The combo box control `id` of a page, null when there is none.
ui::CComboBox* Combo(const ui::CWnd& page, int id);
// Shows "netware error =<name of the code>".
void ShowNetwareError(int code);
// True when the list holds the name, compared without regard to case.
bool ListHoldsName(const std::list<std::string>& list, const std::string& name);
// Fills a name combo from a device-library scan (file servers or trees): without IPX/SPX on this
// PC string 136 and the list stays as it is; else the scan's result code is reported, and the list
// holds the names found (empty after a failed scan) while the typed text stays.
void FillNameCombo(ui::CComboBox& combo, const std::function<int(std::list<std::string>&)>& scan);
// Whether the NetWare client set-up layer can be used on this PC: its simulation is switched on,
// or a client answers its start.
bool NetwareClientUsable();

// A page with the mode radios: every click stores the mode and may switch to the page that
// serves it.
class CNetwareModePage : public ui::CPropertyPage {
 public:
  // `ownMode`: the mode the page's template serves (0 for the mode page, 1 NDS, 2 bindery).
  CNetwareModePage(const ui::DialogTemplate& t, int ownMode);
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  void DoDataExchange(bool save) override;
  int RadioMode() const { return m_iRadio; }

  void OnNone();
  void OnNds();
  void OnBindery();
  void OnRemotePrinter();

 protected:
  void ChooseMode(int mode);
  void CheckModeRadio(int mode);
  int m_iRadio = -1;

 private:
  int m_ownMode;
};

// The NDS and bindery pages: set up once per box from its NetWare settings.
class CNetwareDetailPage : public CNetwareModePage {
 public:
  using QueueRows = NetwareQueueRows;
  CNetwareDetailPage(const ui::DialogTemplate& t, int ownMode, QueueRows rows, const char* queueTag);
  BOOL OnSetActive() override;
  bool UsesClient() const { return m_useClient; }

 protected:
  // Puts the box's names into the page's own fields (and empties them when `clear`).
  virtual void ShowBoxNames(bool clear) = 0;
  virtual void LimitNameFields() = 0;
  virtual void EnableClientControls(bool enable) = 0;
  // Printer names and queue texts of the rows the box's port layout has.
  void PrintersAndQueues(const char* printerTag, std::list<std::string>& printers,
                         std::list<std::string>& queues) const;
  std::string PrintServerName() const;
  bool NamesAreConfigText(std::initializer_list<std::string> names);

  QueueRows m_rows;
  std::string m_setUpFor;
  int m_readResult = 0;
  bool m_useClient = false;

 private:
  void LayoutRows(int portType);
  const char* m_queueTag;
};

}  // namespace wizard
