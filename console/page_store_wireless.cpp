#include <string>

#include "console/console_state.h"
#include "console/page_store.h"
#include "console/pellam_view.h"
#include "console_pages/device_dialog_text.h"
#include "console_pages/wireless_page.h"
#include "device_client/settings/com_method.h"
#include "platform/message_sink.h"

namespace {

// The selected entry's text; empty when nothing is selected.
std::string SelectedText(const ui::CComboBox& box) {
  const int sel = box.GetCurSel();
  return sel >= 0 ? box.GetLBText(sel) : std::string();
}

// The page's "Unknown (n)" entry (or no selection) keeps what the box had.
bool KeepsBoxValue(const std::string& text) {
  return text.empty() || text.rfind(CWirelessPage::kUnknownPrefix, 0) == 0;
}

void Refuse(CWirelessPage& page, int id) {
  platform::MessageBoxById(device_dialogs::IDS_ILLEGAL_INPUT_DATA);
  page.SetDlgItemText(id, "");
  if (ui::CWnd* control = page.GetDlgItem(id)) control->SetFocus();
}

}  // namespace

int StoreWirelessPage(CPellamView& view) {
  CWirelessPage& page = g_WirelessPage;
  config::WirelessConfigurationData& wl = gdsWirelessConfigurationData;

  // Every control first; nothing is stored until all of them pass.
  const std::string ssid = page.m_edSSID.GetWindowText();
  const std::string channelText = SelectedText(page.m_cbChannel);
  const std::string typeText = SelectedText(page.m_cbNetworkType);
  const std::string keyText = SelectedText(page.m_cbDefaultKey);
  const bool wep = page.IsDlgButtonChecked(CWirelessPage::IDC_WEP_DISABLED) == 0;
  const bool longKey = page.IsDlgButtonChecked(CWirelessPage::IDC_64_BITS) == 0;
  const bool openSystem = page.IsDlgButtonChecked(CWirelessPage::IDC_OPEN_SYSTEM) != 0;
  const auto keyBytes = page.KeyByteTexts();

  if (CComMethod::IsPrintableText(ssid) == 0) {
    Refuse(page, CWirelessPage::IDC_SSID);
    return 0;
  }
  if (wep) {
    for (std::size_t i = 0; i < keyBytes.size(); ++i) {
      std::string kept = keyBytes[i];
      if (!CWirelessPage::FilterKeyText(kept)) {
        Refuse(page, CWirelessPage::kKeyByteIds[i]);
        return 0;
      }
    }
  }

  int channel = wl.iChannel;
  if (!KeepsBoxValue(channelText) && CComMethod::IsDecimalText(channelText) != 0 && channelText.size() <= 3) {
    channel = std::stoi(channelText);
  }
  int networkType = wl.iNetworkType;
  if (!KeepsBoxValue(typeText)) networkType = typeText == "Infrastructure" ? 0 : typeText == "802.11 Ad Hoc" ? 1 : 3;
  int defaultKey = wl.iDefaultKey;
  if (longKey) defaultKey = 0;
  else if (!KeepsBoxValue(keyText)) defaultKey = keyText == "KEY 1" ? 0 : keyText == "KEY 2" ? 1 : keyText == "KEY 3" ? 2 : 3;

  wl.szSSID = ssid;
  wl.iChannel = channel;
  wl.iNetworkType = networkType;
  wl.bWEPEnable = wep ? 1 : 0;
  // With WEP off the key controls are out of use: the box keeps its key length, default key,
  // keys and authentication as they are.
  if (wep) {
    wl.iAuthentication = openSystem ? 1 : 2;
    wl.iKeyLength = longKey ? wireless_text::kLongKeyLength : wireless_text::kShortKeyLength;
    wl.iDefaultKey = defaultKey;
    view.AssembleWepKeys();
  }
  return 1;
}
