// The wizard's shared state: the selected box and what the pages collect for Finish. The pages
// share it through these process-wide globals and accessors, never through the sheet.
#pragma once
#include <array>
#include <list>
#include <string>

#include "platform/named_objects/named_objects.h"
#include "wizard_client/api/wizard_records.h"
#include "wizard_client/api/wizard_utility.h"

namespace wizard {

// The one device-API object of the wizard.
CPrintServerUtility& TheUtility();

// ---- The selected box ------------------------------------------------------------------------
// 1: the sheet has the NetWare pages (command line "1"); 2: it has not.
void SetWizardMode(int mode);
int GetWizardMode();
// 1 when the box has NetBEUI switched on (set by the server-details page).
void SetNetBeuiFlag(int flag);
int GetNetBeuiFlag();
// The default name (by which every device call finds the box), the device name and "TRUE"/"FALSE"
// for long-name support.
void SetSelectedDevice(std::string defaultName, std::string deviceName, std::string longNameSupport);
void GetSelectedDevice(std::string& defaultName, std::string& deviceName, std::string& longNameSupport);
// The two "TRUE"/"FALSE" state texts of the name information.
void SetDeviceStateFlags(std::string stateA, std::string stateB);
void GetDeviceStateFlags(std::string& stateA, std::string& stateB);
void SetSelectedIPAddress(std::string address);
void GetSelectedIPAddress(std::string& address);
// The PC's own interface on which the box was seen.
void SetSelectedLocalAddress(std::string address);
void GetSelectedLocalAddress(std::string& address);
// 1 P1; 2 P1, P2; 3 P1-P3; 4 P1, P2 and serial; 5 P1-P3 and serial; 6 USB; 0 not known.
void SetSelectedPortType(int portType);
void GetSelectedPortType(int& portType);

// ---- Page-level globals ----------------------------------------------------------------------
// 0 none, 1 NDS print server, 2 bindery print server, 3 remote printer.
enum NetwareModes { kNetwareNone = 0, kNetwareNDS = 1, kNetwareBindery = 2, kNetwareRemotePrinter = 3 };
extern int NetwareMode;

// The browse's lists: 0 default names, 1 device names, 2 details, 3 IP addresses, 7 the PC's own
// interface per box; entry i of each belongs to the same box.
extern BrowseLists DeviceLists;
// One per entry of DeviceLists: 1 when the box's password was accepted in this run.
constexpr int kVerifiedSlots = 256;
extern std::array<int, kVerifiedSlots> VerifiedFlags;

// The box's current settings as the server-details page read them.
extern SystemConfigurationData dsSystemConfigurationData;
extern NetwareConfigurationData dsNetwareConfigurationData;
extern NetBEUIConfigureData dsNetBEUIConfigureData;
// The record the selection page reads the box's whole configuration into.
extern AllConfigurationData g_AllConfigurationData;

// What the pages collect for the configuration text of Finish.
extern WizardConfigurationData g_WizardConfigurationData;
// Whether a page collected the comment and share names (keys 5003, 5101-5104): only then are they
// sent, so a box keeps its own when no page asked for them.
extern bool g_bNetBEUITextsCollected;
// The default name of the box whose wireless settings the wireless page stored last ("" none):
// Finish sends the wireless lines only for that box, so nothing a page did not fill reaches a box.
extern std::string g_szWirelessCollectedFor;

// ---- The scanner's pause event -----------------------------------------------------------------
// The wizard's presence event and the scanner's pause event (nullptr when not open).
extern HANDLE g_hWizardEvent;
extern HANDLE g_hPauseEvent;
// Allows (true) or pauses (false) the scanner's passes. An event that was missing when the wizard
// started is opened again here, so a scanner that came up later is still paused.
void AllowScanning(bool allow);

// Empties every piece of state above (a new run; tests).
void ResetWizardState();

}  // namespace wizard
