#include "wizard/wizard_state.h"

#include "platform/message_sink.h"
#include "wizard/resource.h"

namespace wizard {
namespace {

struct SelectedDevice {
  int iWizardMode = 0;
  int iNetBeuiFlag = 0;
  std::string szDefaultName;
  std::string szDeviceName;
  std::string szLongNameSupport;
  std::string szDeviceStateA;
  std::string szDeviceStateB;
  std::string szIPAddress;
  std::string szLocalAddress;
  int iPortType = 0;
};

SelectedDevice& Selected() {
  static SelectedDevice selected;
  return selected;
}

}  // namespace

CPrintServerUtility& TheUtility() {
  static CPrintServerUtility utility;
  return utility;
}

int NetwareMode = kNetwareNone;
BrowseLists DeviceLists;
std::array<int, kVerifiedSlots> VerifiedFlags{};
SystemConfigurationData dsSystemConfigurationData;
NetwareConfigurationData dsNetwareConfigurationData;
NetBEUIConfigureData dsNetBEUIConfigureData;
AllConfigurationData g_AllConfigurationData;
WizardConfigurationData g_WizardConfigurationData;
bool g_bNetBEUITextsCollected = false;
std::string g_szWirelessCollectedFor;
HANDLE g_hWizardEvent = nullptr;
HANDLE g_hPauseEvent = nullptr;

void SetWizardMode(int mode) { Selected().iWizardMode = mode; }
int GetWizardMode() { return Selected().iWizardMode; }
void SetNetBeuiFlag(int flag) { Selected().iNetBeuiFlag = flag; }
int GetNetBeuiFlag() { return Selected().iNetBeuiFlag; }

void SetSelectedDevice(std::string defaultName, std::string deviceName, std::string longNameSupport) {
  Selected().szDefaultName = std::move(defaultName);
  Selected().szDeviceName = std::move(deviceName);
  Selected().szLongNameSupport = std::move(longNameSupport);
}
void GetSelectedDevice(std::string& defaultName, std::string& deviceName, std::string& longNameSupport) {
  defaultName = Selected().szDefaultName;
  deviceName = Selected().szDeviceName;
  longNameSupport = Selected().szLongNameSupport;
}
void SetDeviceStateFlags(std::string stateA, std::string stateB) {
  Selected().szDeviceStateA = std::move(stateA);
  Selected().szDeviceStateB = std::move(stateB);
}
void GetDeviceStateFlags(std::string& stateA, std::string& stateB) {
  stateA = Selected().szDeviceStateA;
  stateB = Selected().szDeviceStateB;
}
void SetSelectedIPAddress(std::string address) { Selected().szIPAddress = std::move(address); }
void GetSelectedIPAddress(std::string& address) { address = Selected().szIPAddress; }
void SetSelectedLocalAddress(std::string address) { Selected().szLocalAddress = std::move(address); }
void GetSelectedLocalAddress(std::string& address) { address = Selected().szLocalAddress; }
void SetSelectedPortType(int portType) { Selected().iPortType = portType; }
void GetSelectedPortType(int& portType) { portType = Selected().iPortType; }

void AllowScanning(bool allow) {
  if (g_hPauseEvent == nullptr) {
    std::string name = platform::LoadString(IDS_PAUSE_EVENT);
    g_hPauseEvent = OpenEvent(EVENT_MODIFY_STATE, FALSE, name.c_str());
  }
  if (g_hPauseEvent == nullptr) return;
  if (allow) SetEvent(g_hPauseEvent);
  else ResetEvent(g_hPauseEvent);
}

void ResetWizardState() {
  Selected() = SelectedDevice{};
  NetwareMode = kNetwareNone;
  DeviceLists = BrowseLists{};
  VerifiedFlags.fill(0);
  dsSystemConfigurationData = SystemConfigurationData{};
  dsNetwareConfigurationData = NetwareConfigurationData{};
  dsNetBEUIConfigureData = NetBEUIConfigureData{};
  g_AllConfigurationData = AllConfigurationData{};
  g_WizardConfigurationData = WizardConfigurationData{};
  g_bNetBEUITextsCollected = false;
  g_szWirelessCollectedFor.clear();
}

}  // namespace wizard
