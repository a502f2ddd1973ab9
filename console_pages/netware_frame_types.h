// The IPX frame-type boxes that the NetWare print server and remote printer pages share: the four
// Ethernet types, or on a Token-Ring box the two Token-Ring types in their place.
#pragma once
#include <cstdint>

#include "device_client/core/config/config_records.h"
#include "ui/dialog.h"

namespace netware_frames {

constexpr int IDC_8022 = 1018;
constexpr int IDC_8023 = 1020;
constexpr int IDC_SNAP = 1023;
constexpr int IDC_ETHERNET_II = 1026;
constexpr int IDC_TOKEN_RING = 1126;
constexpr int IDC_TOKEN_RING_SNAP = 1129;
constexpr int IDS_NEED_ONE_FRAME_TYPE = 32811;

// The six boxes for a page template, placed in a "Frame Type" group at (x, y) (dialog units); the
// Token-Ring boxes lie where the Ethernet ones are.
void AddBoxes(std::vector<ui::ControlTemplate>& controls, int x, int y);

// Shows the boxes of the model's network, checked from the record, and hides the others.
void Show(ui::CDialog& page, int modelType, const config::NetwareConfigurationData& record);
// Enables or greys the six boxes (hidden ones stay hidden).
void Enable(ui::CDialog& page, bool enable);

// What the boxes on show say.
struct Choice {
  bool tokenRing = false;
  std::int32_t ethernetII = 0, e8022 = 0, e8023 = 0, e8022Snap = 0;  // Ethernet boxes
  std::int32_t ring = 0, ringSnap = 0;                               // Token-Ring boxes
  bool AnyChecked() const;
};
Choice Read(const ui::CDialog& page, int modelType);
// Writes the choice into the record. On a Token-Ring box the Token-Ring types travel in the keys
// of 802.2 and SNAP, so those two follow them; the other network's flags stay as they were.
void Store(const Choice& choice, config::NetwareConfigurationData& record);

}  // namespace netware_frames
