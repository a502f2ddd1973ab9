#include "console_pages/netware_frame_types.h"

#include "device_client/core/config/model_capabilities.h"

namespace netware_frames {

namespace {
constexpr int kEthernet[4] = {IDC_8022, IDC_8023, IDC_SNAP, IDC_ETHERNET_II};
constexpr int kRing[2] = {IDC_TOKEN_RING, IDC_TOKEN_RING_SNAP};

void ShowBox(ui::CDialog& page, int id, bool show, std::int32_t flag) {
  if (ui::CWnd* box = page.GetDlgItem(id)) box->ShowWindow(show ? ui::SW_SHOW : ui::SW_HIDE);
  if (show) page.CheckDlgButton(id, flag != 0 ? ui::BST_CHECKED : ui::BST_UNCHECKED);
}
}  // namespace

void AddBoxes(std::vector<ui::ControlTemplate>& controls, int x, int y) {
  using ui::Kind;
  controls.push_back({-1, Kind::GroupBox, "Frame Type", 0, x, y, 130, 46});
  controls.push_back({IDC_8022, Kind::CheckBox, "802.&2", ui::WS_TABSTOP, x + 10, y + 14, 50, 10});
  controls.push_back({IDC_8023, Kind::CheckBox, "802.&3 ", ui::WS_TABSTOP, x + 70, y + 14, 50, 10});
  controls.push_back({IDC_SNAP, Kind::CheckBox, "&SNAP", ui::WS_TABSTOP, x + 10, y + 28, 50, 10});
  controls.push_back({IDC_ETHERNET_II, Kind::CheckBox, "&Ethernet II", ui::WS_TABSTOP, x + 70, y + 28, 55, 10});
  controls.push_back({IDC_TOKEN_RING, Kind::CheckBox, "Token-Ring", ui::WS_TABSTOP, x + 10, y + 14, 80, 10});
  controls.push_back({IDC_TOKEN_RING_SNAP, Kind::CheckBox, "Token-Ring-SNAP", ui::WS_TABSTOP, x + 10, y + 28, 80, 10});
}

void Show(ui::CDialog& page, int modelType, const config::NetwareConfigurationData& record) {
  const bool ring = config::ModelCapabilitiesOf(modelType).bTokenRing;
  ShowBox(page, IDC_8022, !ring, record.bFrameType8022);
  ShowBox(page, IDC_8023, !ring, record.bFrameType8023);
  ShowBox(page, IDC_SNAP, !ring, record.bFrameType8022Snap);
  ShowBox(page, IDC_ETHERNET_II, !ring, record.bFrameTypeEthernetII);
  ShowBox(page, IDC_TOKEN_RING, ring, record.bFrameTypeTokenring);
  ShowBox(page, IDC_TOKEN_RING_SNAP, ring, record.bFrameTypeTokenringSnap);
}

void Enable(ui::CDialog& page, bool enable) {
  for (int id : kEthernet) {
    if (ui::CWnd* box = page.GetDlgItem(id)) box->EnableWindow(enable);
  }
  for (int id : kRing) {
    if (ui::CWnd* box = page.GetDlgItem(id)) box->EnableWindow(enable);
  }
}

bool Choice::AnyChecked() const {
  if (tokenRing) return ring != 0 || ringSnap != 0;
  return ethernetII != 0 || e8022 != 0 || e8023 != 0 || e8022Snap != 0;
}

Choice Read(const ui::CDialog& page, int modelType) {
  Choice c;
  c.tokenRing = config::ModelCapabilitiesOf(modelType).bTokenRing;
  auto checked = [&page](int id) -> std::int32_t { return page.IsDlgButtonChecked(id) != 0 ? 1 : 0; };
  if (c.tokenRing) {
    c.ring = checked(IDC_TOKEN_RING);
    c.ringSnap = checked(IDC_TOKEN_RING_SNAP);
  } else {
    c.ethernetII = checked(IDC_ETHERNET_II);
    c.e8022 = checked(IDC_8022);
    c.e8023 = checked(IDC_8023);
    c.e8022Snap = checked(IDC_SNAP);
  }
  return c;
}

void Store(const Choice& choice, config::NetwareConfigurationData& record) {
  if (choice.tokenRing) {
    record.bFrameTypeTokenring = choice.ring;
    record.bFrameTypeTokenringSnap = choice.ringSnap;
    record.bFrameType8022 = choice.ring;
    record.bFrameType8022Snap = choice.ringSnap;
  } else {
    record.bFrameTypeEthernetII = choice.ethernetII;
    record.bFrameType8022 = choice.e8022;
    record.bFrameType8023 = choice.e8023;
    record.bFrameType8022Snap = choice.e8022Snap;
  }
}

}  // namespace netware_frames
