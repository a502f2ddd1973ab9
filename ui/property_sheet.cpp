#include "ui/property_sheet.h"

#include <QFrame>
#include <QLabel>
#include <QShortcut>
#include <QTimer>
#include <algorithm>

#include "ui/internal.h"

namespace ui {
namespace {

// Sheet layout in dialog units: the page area, a rule, then the button row.
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;
constexpr int kRowHeight = kButtonHeight + 2 * kMargin + 2;

}  // namespace

// ---- CPropertyPage -------------------------------------------------------------------------

CPropertyPage::CPropertyPage(const DialogTemplate& t) : CDialog(t) {}

BOOL CPropertyPage::OnKillActive() { return UpdateData(true) ? 1 : 0; }

bool CPropertyPage::CreatePage(CPropertySheet& sheet, QWidget* host) {
  Teardown();
  sheet_ = &sheet;
  auto* w = new QWidget(host);
  w_ = w;
  parent_ = &sheet;
  Bind();
  BuildControls(Template(), w, *this);
  w->setGeometry(0, 0, host->width(), host->height());
  w->hide();
  UpdateData(false);
  OnInitDialog();
  return true;
}

void CPropertyPage::PaintBanner() {
  auto* label = qobject_cast<QLabel*>(GetDlgItem(IDC_PAGE_BANNER) ? GetDlgItem(IDC_PAGE_BANNER)->GetSafeHwnd()
                                                                   : nullptr);
  if (!label) return;
  const QIcon picture = LoadPicture(m_nBitmapId);
  if (picture.isNull()) return;  // a missing picture leaves the control unpainted
  // Stretched over the whole control, as the picture is drawn at its own size into its rectangle.
  const QSize natural = picture.availableSizes().isEmpty() ? label->size() : picture.availableSizes().first();
  QPixmap pix = picture.pixmap(natural).scaled(label->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  label->setScaledContents(true);
  label->setPixmap(pix);
}

// ---- CPropertySheet ------------------------------------------------------------------------

CPropertySheet::CPropertySheet(std::string caption, CWnd* parent, int selectPage)
    : CDialog(DialogTemplate{}, parent), caption_(std::move(caption)), start_(selectPage) {
  OnCommand(ID_WIZBACK, BN_CLICKED, &CPropertySheet::OnBack);
  OnCommand(ID_WIZNEXT, BN_CLICKED, &CPropertySheet::OnNext);
  OnCommand(ID_WIZFINISH, BN_CLICKED, &CPropertySheet::OnFinish);
  OnCommand(IDHELP, BN_CLICKED, &CPropertySheet::OnHelpButton);
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* page) {
  if (page == nullptr) return;
  pages_.push_back(page);
  created_.push_back(false);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  return pages_[static_cast<std::size_t>(index)];
}

int CPropertySheet::FindPageByTemplate(int templateId) const {
  for (int i = 0; i < GetPageCount(); ++i)
    if (pages_[static_cast<std::size_t>(i)]->TemplateId() == templateId) return i;
  return -1;
}

std::intptr_t CPropertySheet::DoModal() {
  // The sheet is as large as its largest page, with the button row below.
  int cx = 0, cy = 0;
  for (CPropertyPage* p : pages_) {
    cx = std::max(cx, p->Template().cx);
    cy = std::max(cy, p->Template().cy);
  }
  cx = std::max(cx, 4 * kButtonWidth + 6 * kMargin);
  DialogTemplate t;
  t.caption = caption_;
  t.cx = cx;
  t.cy = cy + kRowHeight;
  const int y = cy + kMargin + 2;
  const int right = cx - kMargin;
  t.controls = {
      {ID_WIZBACK, Kind::Button, "< &Back", 0, right - 4 * kButtonWidth - kMargin, y, kButtonWidth, kButtonHeight},
      {ID_WIZNEXT, Kind::DefButton, "&Next >", 0, right - 3 * kButtonWidth - kMargin, y, kButtonWidth, kButtonHeight},
      {ID_WIZFINISH, Kind::Button, "Finish", 0, right - 3 * kButtonWidth - kMargin, y, kButtonWidth, kButtonHeight,
       false},
      {IDCANCEL, Kind::Button, "Cancel", 0, right - 2 * kButtonWidth, y, kButtonWidth, kButtonHeight},
      {IDHELP, Kind::Button, "Help", 0, right - kButtonWidth, y, kButtonWidth, kButtonHeight},
  };
  SetTemplate(t);
  std::fill(created_.begin(), created_.end(), false);
  active_ = -1;
  buttons_ = PSWIZB_BACK | PSWIZB_NEXT;
  return CDialog::DoModal();
}

BOOL CPropertySheet::OnInitDialog() {
  QWidget* sheet = GetSafeHwnd();
  const QSize area = DialogUnitsToPixels(Template(), Template().cx, Template().cy - kRowHeight);
  host_ = new QWidget(sheet);
  host_->setGeometry(0, 0, area.width(), area.height());
  auto* rule = new QFrame(sheet);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(0, area.height(), area.width(), 2);
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), sheet);
  QObject::connect(f1, &QShortcut::activated, sheet, [this] { OnHelpButton(); });
  UpdateButtons();
  if (!pages_.empty()) {
    const int first = start_ >= 0 && start_ < GetPageCount() ? start_ : 0;
    SetActivePage(first);
  }
  const int shot = ScreenshotTemplateId();
  if (shot != 0 && FindPageByTemplate(shot) >= 0)
    QTimer::singleShot(0, sheet, [this] { ScreenshotWalk(); });
  return 1;
}

// A screenshot of a page further on: Next is pressed, as the user would, until that page shows;
// SetActivePage takes the picture once it does.
void CPropertySheet::ScreenshotWalk() {
  const int target = ScreenshotTemplateId();
  for (int guard = 0; guard < GetPageCount(); ++guard) {
    CPropertyPage* page = GetActivePage();
    if (page == nullptr || page->TemplateId() == target) break;
    const int before = active_;
    PressButton(PSBTN_NEXT);
    if (active_ == before) break;
  }
}

bool CPropertySheet::SetActivePage(CPropertyPage* page) {
  const auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return false;
  return SetActivePage(static_cast<int>(it - pages_.begin()));
}

bool CPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= GetPageCount()) return false;
  if (!host_) {  // not running: the page the sheet opens on
    start_ = index;
    return true;
  }
  CPropertyPage* old = GetActivePage();
  if (old != nullptr && !old->OnKillActive()) return false;
  const int step = index >= active_ ? 1 : -1;
  // A page whose OnSetActive answers FALSE is passed over in the direction of travel.
  for (int i = index; i >= 0 && i < GetPageCount(); i += step) {
    CPropertyPage* page = pages_[static_cast<std::size_t>(i)];
    if (!created_[static_cast<std::size_t>(i)]) {
      created_[static_cast<std::size_t>(i)] = true;
      page->CreatePage(*this, host_);
    }
    if (old != nullptr && old != page && old->GetSafeHwnd()) old->GetSafeHwnd()->hide();
    const int previous = active_;
    active_ = i;
    page->GetSafeHwnd()->show();
    page->PaintBanner();
    if (page->OnSetActive()) {
      MaybeScreenshot(page->TemplateId(), GetSafeHwnd());
      return true;
    }
    page->GetSafeHwnd()->hide();
    active_ = previous;
    if (old != nullptr && old->GetSafeHwnd()) old->GetSafeHwnd()->show();
  }
  return false;
}

void CPropertySheet::SetWizardButtons(DWORD flags) {
  buttons_ = flags;
  UpdateButtons();
}

void CPropertySheet::UpdateButtons() {
  // Finish replaces Next when either Finish bit is set; only PSWIZB_FINISH enables it.
  const bool finishShown = (buttons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  if (CWnd* back = GetDlgItem(ID_WIZBACK)) back->EnableWindow((buttons_ & PSWIZB_BACK) != 0);
  if (CWnd* next = GetDlgItem(ID_WIZNEXT)) {
    next->ShowWindow(finishShown ? SW_HIDE : SW_SHOW);
    next->EnableWindow((buttons_ & PSWIZB_NEXT) != 0);
  }
  if (CWnd* finish = GetDlgItem(ID_WIZFINISH)) {
    finish->ShowWindow(finishShown ? SW_SHOW : SW_HIDE);
    finish->EnableWindow((buttons_ & PSWIZB_FINISH) != 0);
  }
}

bool CPropertySheet::IsButtonEnabled(int button) const {
  const bool finishShown = (buttons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  switch (button) {
    case PSBTN_BACK: return (buttons_ & PSWIZB_BACK) != 0;
    case PSBTN_NEXT: return !finishShown && (buttons_ & PSWIZB_NEXT) != 0;
    case PSBTN_FINISH: return (buttons_ & PSWIZB_FINISH) != 0;
    case PSBTN_CANCEL:
    case PSBTN_HELP: return true;
    default: return false;
  }
}

void CPropertySheet::PressButton(int button) {
  if (!IsButtonEnabled(button)) return;
  switch (button) {
    case PSBTN_BACK: OnBack(); break;
    case PSBTN_NEXT: OnNext(); break;
    case PSBTN_FINISH: OnFinish(); break;
    case PSBTN_CANCEL: OnCancel(); break;
    case PSBTN_HELP: OnHelpButton(); break;
    default: break;
  }
}

void CPropertySheet::Navigate(LRESULT target, int step) {
  if (target == -1) return;
  int index = -1;
  if (target == 0) {
    index = active_ + step;
  } else {
    index = FindPageByTemplate(static_cast<int>(target));
  }
  if (index < 0 || index >= GetPageCount()) return;
  SetActivePage(index);
}

void CPropertySheet::OnBack() {
  if (!IsButtonEnabled(PSBTN_BACK)) return;
  CPropertyPage* page = GetActivePage();
  if (page == nullptr) return;
  Navigate(page->OnWizardBack(), -1);
}

void CPropertySheet::OnNext() {
  if (!IsButtonEnabled(PSBTN_NEXT)) return;
  CPropertyPage* page = GetActivePage();
  if (page == nullptr) return;
  Navigate(page->OnWizardNext(), 1);
}

void CPropertySheet::OnFinish() {
  if (!IsButtonEnabled(PSBTN_FINISH)) return;
  CPropertyPage* page = GetActivePage();
  if (page != nullptr && !page->OnWizardFinish()) return;
  EndDialog(ID_WIZFINISH);
}

void CPropertySheet::OnHelpButton() {
  if (help_) help_();
}

// Enter: the shown one of Next and Finish.
void CPropertySheet::OnOK() {
  if ((buttons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0) OnFinish();
  else OnNext();
}

void CPropertySheet::OnCancel() {
  CPropertyPage* page = GetActivePage();
  if (page != nullptr && !page->OnQueryCancel()) return;
  EndDialog(IDCANCEL);
}

}  // namespace ui
