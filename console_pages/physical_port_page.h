// The physical port page of the settings view: the name and handshake signal of each physical port
// the box has (its parallel ports and its serial port), one at a time, chosen in a drop-down list.
// While the user types a new name, the logical ports that printed to the old name follow it, so
// they keep pointing at the port. Choosing another port (mouse or keyboard) first checks and
// stores the name of the port being left; a refused name keeps that port on show.
//
// The serial port's name and handshake are shown but not editable: the configuration a save sends
// carries the names and handshakes of the parallel ports only, so a new serial-port name would
// never reach the box while the logical ports following it would.
#pragma once
#include "console_pages/settings_page.h"

class CPhysicalPortPage : public CSettingsPage {
 public:
  static constexpr int IDD = 166;
  static constexpr int IDC_PHYSICAL_PORT = 1081;
  static constexpr int IDC_PORT_NAME = 1083;
  static constexpr int IDC_HANDSHAKE_LABEL = 1086;
  static constexpr int IDC_BUSY = 1077;
  static constexpr int IDC_ACK_BUSY = 1079;
  static constexpr int kNameLimit = 12;
  // Entry texts of the four physical ports.
  static constexpr int IDS_PARALLEL_PORT_1 = 61213;
  static constexpr int IDS_PARALLEL_PORT_2 = 61214;
  static constexpr int IDS_PARALLEL_PORT_3 = 61215;
  static constexpr int IDS_SERIAL_PORT = 32833;

  CPhysicalPortPage();

  BOOL OnInitDialog() override;
  void DoDataExchange(bool save) override;

  // Checks the name of the port on show (not empty, no character that breaks the status text or
  // a configuration line, no other port's name) and stores it into the port's record: 1 when
  // stored (or nothing to store), 0 after a refusal's message with the name edit emptied and
  // focused and the record untouched.
  int StoreShownPort();
  // The record (0 P1 .. 3 serial port) of the port on show, -1 when none.
  int ShownRecord() const;

  int m_iCurrentPhysicalPort = 0;  // list entry of the port on show
  int m_iHandshake = 0;            // 0 Busy, 1 Ack && Busy

  ui::CStatic m_lblHandshake;
  ui::CButton m_rdoBusy;
  ui::CEdit m_editPortName;
  ui::CComboBox m_cboPhysicalPort;

 protected:
  std::vector<int> LastControls() const override { return {IDC_BUSY, IDC_ACK_BUSY}; }

 private:
  void OnSelchangePhysicalPort();
  void OnBusy();
  void OnAckBusy();
  void OnChangePortName();
  // Shows list entry `entry`: its name (marking the logical ports that print to it) and handshake.
  void ShowEntry(int entry);
  void SetHandshake(int value);  // record value: 1 Busy, 0 Ack && Busy
};

extern CPhysicalPortPage g_PhysicalPortPage;

// Rename state: whether the page's own setting of the name has been seen since the port was
// shown, and which logical ports (1..8 at 0..7) follow the name being typed.
extern bool g_bPortRenameStarted;
extern int g_iPortRenameMarks[8];

// Registers the port entry texts and the texts of the name checks.
void RegisterPhysicalPortPageStrings();
