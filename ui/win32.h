// Window constants and notification records of the ui layer: the Win32 values the suite's
// dialogs are written against, kept as plain integers so handler tables read like the originals.
#pragma once
#include <cstdint>

#include "platform/message_sink.h"
#include "platform/win_types.h"

namespace ui {

using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using LRESULT = std::intptr_t;

// Window styles (only those the layer reads).
constexpr UINT WS_VISIBLE = 0x10000000;
constexpr UINT WS_DISABLED = 0x08000000;
constexpr UINT WS_GROUP = 0x00020000;
constexpr UINT WS_TABSTOP = 0x00010000;
constexpr UINT WS_CHILD = 0x40000000;
// Edit styles.
// Multi-line edits are plain-text boxes with scroll bars (read-only ones show long texts).
constexpr UINT ES_MULTILINE = 0x0004;
constexpr UINT ES_UPPERCASE = 0x0008;
constexpr UINT ES_PASSWORD = 0x0020;
constexpr UINT ES_READONLY = 0x0800;
constexpr UINT ES_NUMBER = 0x2000;
// List-view styles.
constexpr UINT LVS_ICON = 0x0000;
constexpr UINT LVS_REPORT = 0x0001;
constexpr UINT LVS_SINGLESEL = 0x0004;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

// Notification codes.
constexpr int BN_CLICKED = 0;
constexpr int EN_CHANGE = 0x0300;
constexpr int EN_KILLFOCUS = 0x0200;
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_DBLCLK = 2;
constexpr int CBN_EDITCHANGE = 5;
constexpr int CBN_DROPDOWN = 7;
constexpr int NM_CLICK = -2;
constexpr int NM_DBLCLK = -3;
constexpr int LVN_ITEMCHANGED = -101;
constexpr int TCN_SELCHANGE = -551;
constexpr int TCN_SELCHANGING = -552;

constexpr int CB_ERR = -1;
constexpr int LB_ERR = -1;

// List-view item states and GetNextItem flags.
constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVIF_STATE = 0x0008;
constexpr int LVNI_ALL = 0x0000;
constexpr int LVNI_FOCUSED = 0x0001;
constexpr int LVNI_SELECTED = 0x0002;

// Check states.
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int BST_FOCUS = 0x0008;  // GetState: the button has the keyboard focus

// Keyboard messages a dialog's PreTranslateMessage sees, and the virtual keys it tests.
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr unsigned VK_TAB = 9;
constexpr unsigned VK_RETURN = 13;
constexpr unsigned VK_CONTROL = 17;
constexpr unsigned VK_ESCAPE = 27;

struct MSG {
  UINT message = 0;
  unsigned wParam = 0;  // the virtual key (letters and digits as their upper-case ASCII code)
  bool shift = false;   // Shift held (Shift+Tab goes backwards)
};

struct NMHDR {
  int idFrom = 0;
  int code = 0;
};

// LVN_ITEMCHANGED, NM_CLICK and NM_DBLCLK of a list view.
struct NMLISTVIEW {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
};

}  // namespace ui
