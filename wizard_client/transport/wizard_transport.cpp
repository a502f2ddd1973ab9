#include "wizard_client/transport/wizard_transport.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "device_client/device_lists/device_lists.h"
#include "platform/clock.h"
#include "wizard_client/transport/udp_exchange.h"

namespace wizard {
namespace {

constexpr int kNameSize = 20;
constexpr int kUdpReceiveBuffer = 16240;   // SO_RCVBUF of the UDP exchange
constexpr int kUdpAttempts = 4;

// The wizard's values, on top of the console's (so that a value the console's library adds
// keeps its meaning here).
core::TransportParams WizardParams() {
  core::TransportParams p = console_access::ConsoleParams();
  p.socketWaitMs = 30000;
  p.netbiosReceiveWaitMs = 5000;
  p.pauseAfterReceiveTimeoutMs = 3000;
  p.callAttempts = 3;
  p.pauseAfterFailedCallMs = 3000;
  p.timeoutLowByteOnly = true;
  p.sendBufferSize = 4096;
  p.receiveBufferSize = 8192;
  return p;
}

struct State {
  core::TransportParams params = WizardParams();
  int requestedProtocols = 0;
  int timeOut = 0;
  std::unique_ptr<std::array<DeviceRecord, MAX_DEVICE_RECORDS>> devices;
  int deviceCount = 0;
  void (*exitHook)() = nullptr;
  wizard_access::UdpSettings udp;
};

// Never destroyed: the device-API object that stops the library (PSExit, and the exit hooks it
// runs) may itself be a static built before this state, so it would be destroyed after it.
State& S() {
  static State* const state = new State;
  return *state;
}

bool SameName(const char* a, const char* b) { return std::strncmp(a, b, kNameSize) == 0; }

// One UDP attempt on its own socket: 0, ERR_NETWORK (too large, or a send failed: asking again
// cannot help), or 1 (ask again).
int UdpAttempt(const std::uint8_t (&deviceId)[8], const char* request, int length, char* reply,
               int capacity, int* replyLength) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return ERR_NETWORK;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  const int on = 1;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    return ERR_NETWORK;
  }
  const int size = kUdpReceiveBuffer;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(S().udp.port);
  std::memcpy(&to.sin_addr, S().udp.destination.data(), 4);
  const int fragments = UdpFragmentCount(length);
  for (int i = 0; i < fragments; ++i) {
    std::uint8_t datagram[kUdpMaxRequestDatagram];
    const int n = BuildUdpRequestFragment(request, length, deviceId, i, datagram);
    if (n < 0) return ERR_NETWORK;
    if (::sendto(fd, datagram, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) != n) {
      return ERR_NETWORK;
    }
  }

  UdpReplyAssembler assembler(reply, capacity, deviceId);
  const UdpReceiver receive = [fd](std::uint8_t* buffer, int room, std::int64_t waitMs) {
    if (platform::WaitReadable(fd, waitMs) <= 0) return kUdpNothing;
    const ssize_t n = ::recv(fd, buffer, static_cast<std::size_t>(room), MSG_DONTWAIT | MSG_TRUNC);
    if (n >= 0) return static_cast<int>(n);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kUdpReceiveAgain
                                                                      : kUdpNothing;
  };
  switch (ReceiveUdpReply(receive, assembler)) {
    case UdpAttemptEnd::kComplete:
      *replyLength = assembler.total();
      return 0;
    case UdpAttemptEnd::kGiveUp:
      return ERR_NETWORK;
    case UdpAttemptEnd::kAskAgain:
      break;
  }
  return 1;
}

// An exchange of the console's library on the first 44 bytes of a record, with the wizard's
// waits.
using ConsoleExchange = int (*)(const ::DeviceRecord*, const char*, int, char*, int*, int);
int OnConsoleRecord(ConsoleExchange exchange, const DeviceRecord* pRecord, const char* pRequest,
                    int nRequestLength, char* pReply, int* pnReplyLength, int nReplyCapacity) {
  if (pRecord == nullptr) return ERR_NETWORK;
  console_access::UseParams(S().params);
  const ::DeviceRecord record = ToConsoleRecord(*pRecord);
  return exchange(&record, pRequest, nRequestLength, pReply, pnReplyLength, nReplyCapacity);
}

}  // namespace

::DeviceRecord ToConsoleRecord(const DeviceRecord& record) {
  ::DeviceRecord out{};
  std::memcpy(out.szName, record.szName, sizeof out.szName);
  out.iProtocol = record.iProtocol;
  std::memcpy(out.address, record.address, sizeof out.address);
  return out;
}

DeviceRecord FromConsoleRecord(const ::DeviceRecord& record, const char* local) {
  DeviceRecord out{};
  std::memcpy(out.szName, record.szName, sizeof out.szName);
  out.iProtocol = record.iProtocol;
  std::memcpy(out.address, record.address, sizeof out.address);
  if (local != nullptr) std::memcpy(out.szLocalAddress, local, strnlen(local, sizeof out.szLocalAddress - 1));
  return out;
}

int PSInit(int iProtocol, int iTimeOut) {
  State& s = S();
  console_access::UseParams(s.params);
  s.requestedProtocols = iProtocol;
  s.timeOut = iTimeOut;
  return ::PSInit(iProtocol, iTimeOut);
}

void PSExit() {
  State& s = S();
  ::PSExit();
  if (s.exitHook != nullptr) s.exitHook();
  s.devices.reset();
  s.deviceCount = 0;
}

int PSISendResp(const char* szName, const char* pRequest, int nRequestLength, char* pReply,
                int* pnReplyLength, int nReplyCapacity) {
  DeviceRecord record;
  if (SearchName(&record, szName) == 0) return ERR_DEVICE_NOTFOUND;
  return SendRespByRecord(&record, pRequest, nRequestLength, pReply, pnReplyLength,
                          nReplyCapacity);
}

int SendRespByRecord(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                     char* pReply, int* pnReplyLength, int nReplyCapacity) {
  if (pRecord == nullptr) return ERR_DEVICE_NOTFOUND;
  // The UDP transport comes after SPX and TCP and before NetBIOS; the others are the console's.
  if ((pRecord->iProtocol & (TYPE_IPXSPX | TYPE_TCPIP)) == 0 &&
      (pRecord->iProtocol & TYPE_UDP) != 0) {
    return UdpSendResp(pRecord, pRequest, nRequestLength, pReply, pnReplyLength, nReplyCapacity);
  }
  return OnConsoleRecord(::SendRespByRecord, pRecord, pRequest, nRequestLength, pReply,
                         pnReplyLength, nReplyCapacity);
}

int SocketSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                   char* pReply, int* pnReplyLength, int nReplyCapacity) {
  return OnConsoleRecord(SpxSendResp, pRecord, pRequest, nRequestLength, pReply, pnReplyLength,
                         nReplyCapacity);
}

int NetBiosSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                    char* pReply, int* pnReplyLength, int nReplyCapacity) {
  return OnConsoleRecord(NbSendResp, pRecord, pRequest, nRequestLength, pReply, pnReplyLength,
                         nReplyCapacity);
}

int UdpSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                char* pReply, int* pnReplyLength, int nReplyCapacity) {
  if (pRecord == nullptr || pnReplyLength == nullptr || nRequestLength < 0 ||
      nRequestLength > 0xFFFF || (nRequestLength > 0 && pRequest == nullptr) ||
      (nReplyCapacity > 0 && pReply == nullptr)) {
    return ERR_NETWORK;
  }
  std::uint8_t deviceId[kUdpDeviceIdSize];
  std::memcpy(deviceId, pRecord->szName, sizeof deviceId);
  for (int attempt = 0; attempt < kUdpAttempts; ++attempt) {
    const int rc =
        UdpAttempt(deviceId, pRequest, nRequestLength, pReply, nReplyCapacity, pnReplyLength);
    if (rc <= 0) return rc;
  }
  return ERR_NETWORK;
}

int SearchName(DeviceRecord* pOut, const char* szName) {
  const int index = FindDeviceIndex(szName);
  if (index < 0) return 0;
  if (pOut != nullptr) *pOut = *wizard_access::DeviceAt(index);
  return 1;
}

int FindDeviceIndex(const char* szName) {
  if (szName == nullptr) return -1;
  char key[kNameSize] = {};
  std::memcpy(key, szName, strnlen(szName, kNameSize));
  for (int i = 0; i < wizard_access::DeviceCount(); ++i) {
    if (SameName(wizard_access::DeviceAt(i)->szName, key)) return i;
  }
  return -1;
}

int GetDeviceProtocol(const char* szName) {
  const int index = FindDeviceIndex(szName);
  return index < 0 ? -1 : wizard_access::DeviceAt(index)->iProtocol;
}

void UpdateDeviceAddress(const char* szName, const char* szNewNetbiosName,
                         const char* szNewIpAddress) {
  DeviceRecord* record = wizard_access::MutableDeviceAt(FindDeviceIndex(szName));
  if (record == nullptr) return;
  ::DeviceRecord head = ToConsoleRecord(*record);
  UpdateRecordAddress(&head, szNewNetbiosName, szNewIpAddress);
  std::memcpy(record->address, head.address, sizeof record->address);
}

namespace wizard_access {

const core::TransportParams& Params() { return S().params; }
int RequestedProtocols() { return S().requestedProtocols; }
int TimeOutValue() { return S().timeOut; }

int DeviceCount() { return S().deviceCount; }
const DeviceRecord* DeviceAt(int index) { return MutableDeviceAt(index); }

DeviceRecord* MutableDeviceAt(int index) {
  State& s = S();
  if (!s.devices || index < 0 || index >= s.deviceCount) return nullptr;
  return &(*s.devices)[static_cast<std::size_t>(index)];
}

int AppendDevice(const DeviceRecord& record) {
  State& s = S();
  if (!s.devices) {
    try {
      s.devices = std::make_unique<std::array<DeviceRecord, MAX_DEVICE_RECORDS>>();
    } catch (...) {
      return ERR_LIST_FULL;
    }
  }
  if (s.deviceCount >= MAX_DEVICE_RECORDS) return ERR_LIST_FULL;
  (*s.devices)[static_cast<std::size_t>(s.deviceCount++)] = record;
  return 0;
}

void ClearDevices() {
  State& s = S();
  s.deviceCount = 0;
  if (s.devices) s.devices->fill(DeviceRecord{});
}

void SetExitHook(void (*hook)()) { S().exitHook = hook; }

void SetUdpSettings(const UdpSettings& settings) { S().udp = settings; }
const UdpSettings& CurrentUdpSettings() { return S().udp; }

}  // namespace wizard_access
}  // namespace wizard
