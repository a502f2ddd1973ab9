// The TCP/IP page: automatic or fixed address for the selected box, with a suggestion of a free
// address in the PC's own network. Set up once per box; Next stores into WizardConfigurationData.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ui/property_sheet.h"
#include "wizard/tcpip_address.h"
#include "wizard_client/api/wizard_records.h"

namespace wizard {

// Strings of the page.
constexpr int IDS_NEED_INPUT_DATA = 124;
constexpr int IDS_ILLEGAL_VALUE = 125;
constexpr int IDS_VALUE_RANGE = 126;
constexpr int IDS_TCPIP_NOT_INSTALLED = 128;
constexpr int IDS_SUGGEST_NEW_VALUES = 129;
constexpr int IDS_ADDRESS_NOT_IN_USE = 130;
constexpr int IDS_VALUES_OK = 131;
constexpr int IDS_NO_DHCP_SERVER = 132;
constexpr int IDS_VALUES_CANNOT_WORK = 133;
constexpr int IDS_NO_FREE_ADDRESS = 134;
constexpr int IDS_TCPIP_READ_FAILED = 135;
void RegisterTcpipStrings();

// The mask of this PC's interface that holds an address (host order), nullopt when no interface
// has it. Tests install their own; an empty function restores the real look-up.
using InterfaceMaskSource = std::function<std::optional<std::uint32_t>(std::uint32_t)>;
void SetInterfaceMaskSource(InterfaceMaskSource source);

class CTcpip : public ui::CPropertyPage {
 public:
  enum {
    IDC_STATUS = 1014,
    IDC_AUTOMATIC = 1015,
    IDC_FIXED = 1016,
    IDC_MASK1 = 1017,  // 1017-1020 subnet mask octets 1-4
    IDC_IP1 = 1021,    // 1021-1024 IP address octets 1-4
    IDC_GATEWAY1 = 1025,  // 1025-1028 gateway octets 1-4
    IDC_GROUP = 1029,
    IDC_SUGGEST = 1030,
    IDC_IP_LABEL = 1031,
    IDC_MASK_LABEL = 1032,
    IDC_GATEWAY_LABEL = 1033,
  };

  CTcpip();
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  ui::LRESULT OnWizardBack() override;
  ui::LRESULT OnWizardNext() override;
  void DoDataExchange(bool save) override;

  void OnAutomatic();
  void OnFixed();
  void OnSuggest();
  // An address field changed: a warning that the values cannot work goes once they can.
  void OnAddressChanged();

  // 0 automatic, 1 fixed, -1 not chosen yet.
  int AddressMode() const { return m_iMode; }

 private:
  void EnableTcpipControls();
  void EnableAddressControls(bool enable);
  void FillAddressEdits();
  void ClearAddressEdits();
  void SetRow(ui::CEdit (&row)[4], const std::string& address);
  void SetMaskRow(std::uint32_t mask);
  // Reads, checks and joins one row of four octets; false after the message was shown.
  bool ReadRow(ui::CEdit (&row)[4], std::string& joined);
  std::uint32_t LocalMask(const std::string& localAddress) const;
  void SetStatus(int stringId);
  // The box's own values in the fields (read from it), for a box whose values are to be kept or
  // when no free address was found; false when the read failed (reported).
  bool ShowBoxValues(const std::string& defaultName, const std::string& local);
  // Whether the twelve fields hold an address, mask and gateway that pass the page's checks and
  // lie in this PC's network; no message.
  bool FieldsWork() const;
  // The status line after a search that found no free address: why, and the warning while the
  // fields cannot work.
  void ShowNoFreeAddress();
  // The status shows the warning that the values cannot work.
  void SetCannotWork(int leadId);

  ProtocolData m_protocol;
  ui::CStatic m_status;
  ui::CEdit m_mask[4];
  ui::CEdit m_ip[4];
  ui::CEdit m_gateway[4];
  ui::CButton m_suggest;
  int m_iMode = -1;

  // Set up for which box, and what was read of it.
  std::string m_setUpFor;
  bool m_tcpipInstalled = true;
  TCPIPConfigurationData m_boxTcpip;
  int m_readResult = 0;
  // What the status line says besides the warning (0 nothing), and whether the warning shows.
  int m_statusLead = 0;
  bool m_cannotWorkShown = false;
};

}  // namespace wizard
