#include "device_client/access/access.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "device_client/access/access_state.h"
#include "device_client/access/ncb.h"
#include "platform/clock.h"
#include "platform/ipx/ipx.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace {

constexpr core::TransportParams kConsoleParams{
    20000,  // socketWaitMs
    10000,  // netbiosReceiveWaitMs
    0,      // pauseAfterReceiveTimeoutMs
    3,      // callAttempts
    3000,   // pauseAfterFailedCallMs
    false,  // timeoutLowByteOnly
    4096,   // sendBufferSize
    8192,   // receiveBufferSize
};

constexpr int kBitIpx = 0x01;
constexpr int kBitTcp = 0x02;
constexpr int kBitNetbios = 0x04;
constexpr int kFailure = 0x10;

struct State {
  core::TransportParams params = kConsoleParams;
  bool socketsStarted = false;
  bool netbiosStarted = false;
  int requestedProtocols = 0;
  int timeOut = 0;
  std::string dataDirectory;
  std::unique_ptr<std::array<DeviceRecord, MAX_DEVICE_RECORDS>> devices;
  int deviceCount = 0;
  std::array<std::unique_ptr<LanaNameCache>, 256> nameCaches;
  std::vector<std::pair<int, std::function<void()>>> exitHooks;
  int nextHookId = 1;
};

// Never destroyed: the device-API object that stops the library (PSExit, and the exit hooks it
// runs) may itself be a static built before this state, so it would be destroyed after it.
State& S() {
  static State* const state = new State;
  return *state;
}

// Starts NetBIOS: enumerates the LANAs, resets each and gives it an empty name cache.
bool StartNetbios() try {
  NCB ncb;
  LANA_ENUM lanas;
  if (NCBEnumLana(&ncb, &lanas) != NRC_GOODRET) return false;
  int count = lanas.length > MAX_LANA + 1 ? MAX_LANA + 1 : lanas.length;
  for (int i = 0; i < count; ++i) {
    std::uint8_t lana = lanas.lana[i];
    SetCurrentLana(lana);
    NCBReset(&ncb, 0, 0);  // a failed reset is not fatal
    S().nameCaches[lana] = std::make_unique<LanaNameCache>();
  }
  return true;
} catch (...) {
  return false;
}

// The device table is allocated once, zero-filled, on first use.
bool AllocateDevices(State& s) {
  if (s.devices) return true;
  try {
    s.devices = std::make_unique<std::array<DeviceRecord, MAX_DEVICE_RECORDS>>();
    std::memset(s.devices->data(), 0, sizeof(DeviceRecord) * MAX_DEVICE_RECORDS);
  } catch (...) {
    return false;
  }
  return true;
}

// Whether an SPX socket can be opened at all (opened and closed again at once).
bool ProbeSpx() {
  const int fd = IpxSocket(SOCK_STREAM);
  if (fd < 0) return false;
  IpxClose(fd);
  return true;
}

int StreamSend(const DeviceRecord* record, const char* request, int requestLength, char* reply,
               int* replyLength, int capacity) {
  const bool spx = (record->iProtocol & TYPE_IPXSPX) != 0;
  // A TCP handshake still under way is waited for by the exchange's first send.
  int fd = spx ? ConnectSPX(record)
               : core::GetStreamProvider(core::StreamKind::kTcp)
                     .ConnectForExchange(record->address, S().params);
  if (fd < 0) return ERR_NETWORK;
  if (spx) core::SetExchangeBuffers(fd, S().params);
  int rc = core::StreamExchange(fd, spx ? core::ReplyHeader::kSpx : core::ReplyHeader::kStream,
                                S().params, request, requestLength, reply, capacity,
                                replyLength);
  close(fd);
  return rc;
}

}  // namespace

int PSInit(int iProtocol, int iTimeOut) {
  State& s = S();
  int bits = 0;
  try {
    s.dataDirectory = platform::DataDirectory();
    platform::MakeDirectories(s.dataDirectory);  // an existing directory or a failure is ignored
  } catch (...) {
  }

  if ((iProtocol & (kBitIpx | kBitTcp)) != 0) {
    s.socketsStarted = true;  // the sockets layer needs no start-up here
    if ((iProtocol & kBitIpx) != 0 && !ProbeSpx()) {
      bits |= kFailure | kBitIpx;
    }
    if ((iProtocol & kBitTcp) != 0 &&
        !core::GetStreamProvider(core::StreamKind::kTcp).Probe()) {
      bits |= kFailure | kBitTcp;
    }
  }
  if (!s.netbiosStarted && (iProtocol & kBitNetbios) != 0) {
    if (StartNetbios()) {
      s.netbiosStarted = true;
    } else {
      bits |= kFailure | kBitNetbios;
    }
  }
  s.requestedProtocols = iProtocol;
  s.timeOut = iTimeOut;
  return bits;
}

void PSExit() {
  State& s = S();
  s.socketsStarted = false;
  if (s.netbiosStarted) {
    for (auto& cache : s.nameCaches) cache.reset();
    s.netbiosStarted = false;
  }
  for (auto& [id, hook] : s.exitHooks) {
    if (hook) hook();
  }
  s.devices.reset();
  s.deviceCount = 0;
}

int SearchName(DeviceRecord* pOut, const char* szName) {
  State& s = S();
  if (szName == nullptr || !s.devices) return 0;
  char key[20] = {};
  std::memcpy(key, szName, strnlen(szName, 20));
  for (int i = 0; i < s.deviceCount; ++i) {
    const DeviceRecord& r = (*s.devices)[static_cast<std::size_t>(i)];
    if (std::memcmp(r.szName, key, 20) == 0) {
      if (pOut != nullptr) *pOut = r;
      return 1;
    }
  }
  return 0;
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
  DeviceRecord record = *pRecord;  // the exchange works on its own copy
  if ((record.iProtocol & (TYPE_IPXSPX | TYPE_TCPIP)) != 0) {
    return SpxSendResp(&record, pRequest, nRequestLength, pReply, pnReplyLength, nReplyCapacity);
  }
  if ((record.iProtocol & TYPE_NETBEUI) != 0) {
    return NbSendResp(&record, pRequest, nRequestLength, pReply, pnReplyLength, nReplyCapacity);
  }
  return ERR_DEVICE_NOTFOUND;
}

int SpxSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
                char* pReply, int* pnReplyLength, int nReplyCapacity) {
  if (pRecord == nullptr) return ERR_NETWORK;
  try {
    return StreamSend(pRecord, pRequest, nRequestLength, pReply, pnReplyLength, nReplyCapacity);
  } catch (...) {
    return ERR_NETWORK;
  }
}

int ConnectTCP(const DeviceRecord* pRecord) {
  if (pRecord == nullptr) return -1;
  return core::GetStreamProvider(core::StreamKind::kTcp).Connect(pRecord->address, S().params);
}

// An SPX connection to socket 0x0404 of the box: network = address bytes 0-3, node = bytes 4-9,
// from a socket bound to the all-zero local address.
int ConnectSPX(const DeviceRecord* pRecord) {
  if (pRecord == nullptr) return -1;
  const int fd = IpxSocket(SOCK_STREAM);
  if (fd < 0) return -1;
  const std::uint8_t anyNet[4] = {};
  const std::uint8_t anyNode[6] = {};
  const SOCKADDR_IPX local = IpxMakeAddress(anyNet, anyNode, 0);
  std::uint8_t net[4];
  std::uint8_t node[6];
  std::memcpy(net, pRecord->address, 4);
  std::memcpy(node, pRecord->address + 4, 6);
  const SOCKADDR_IPX box = IpxMakeAddress(net, node, wire::kSpxSocket);
  if (IpxBind(fd, &local) != 0 || IpxConnect(fd, &box, S().params.socketWaitMs) != 0) {
    IpxClose(fd);
    return -1;
  }
  return fd;
}

int ConnectNCB(const DeviceRecord* pRecord) {
  if (pRecord == nullptr) return -1;
  char localName[17];
  std::uint8_t nameNumber = 0;
  if (!GetAvailableName(localName, &nameNumber)) return -1;
  char remoteName[17] = {};
  std::memcpy(remoteName, pRecord->address, strnlen(reinterpret_cast<const char*>(pRecord->address), 15));
  core::FormatDeviceName(nullptr, remoteName);
  const std::uint8_t units = core::NetbiosTimeoutUnits(S().timeOut, S().params);
  int session = -1;
  core::CallWithRetries(
      [&] {
        NCB ncb;
        if (NCBCall(&ncb, localName, remoteName, units, units) != NRC_GOODRET) return false;
        session = ncb.ncb_lsn;
        return true;
      },
      S().params);
  return session;
}

int NbSendResp(const DeviceRecord* pRecord, const char* pRequest, int nRequestLength,
               char* pReply, int* pnReplyLength, int nReplyCapacity) {
  if (pRecord == nullptr) return ERR_NETWORK;
  try {
    SetCurrentLana(pRecord->address[NETBIOS_LANA_OFFSET]);
    int session = ConnectNCB(pRecord);
    if (session < 0) return ERR_NETWORK;
    const auto lsn = static_cast<std::uint8_t>(session);
    int rc = core::SendRequestChunks(pRequest, nRequestLength,
                                     [lsn](const std::uint8_t* data, int size) {
                                       NCB ncb;
                                       return SessionSend(lsn, data, size, &ncb);
                                     });
    if (rc == core::kOk) {
      rc = core::ReceiveMessageReply(
          [lsn](std::uint8_t* buffer, int size) {
            NCB ncb;
            return SessionReceiveTimed(lsn, buffer, size, &ncb);
          },
          pReply, nReplyCapacity, pnReplyLength,
          core::ExchangeLimitMs(S().params.netbiosReceiveWaitMs));
    }
    NCB hangUp;
    NCBHangUp(&hangUp, lsn);
    return rc;
  } catch (...) {
    return ERR_NETWORK;
  }
}

namespace console_access {

const core::TransportParams& Params() { return S().params; }
const core::TransportParams& ConsoleParams() { return kConsoleParams; }
void UseParams(const core::TransportParams& params) { S().params = params; }
int RequestedProtocols() { return S().requestedProtocols; }
int TimeOutValue() { return S().timeOut; }
const std::string& DataDirectoryPath() { return S().dataDirectory; }

int DeviceCount() { return S().deviceCount; }

const DeviceRecord* DeviceAt(int index) { return MutableDeviceAt(index); }

DeviceRecord* MutableDeviceAt(int index) {
  State& s = S();
  if (!s.devices || index < 0 || index >= s.deviceCount) return nullptr;
  return &(*s.devices)[static_cast<std::size_t>(index)];
}

int AppendDevice(const DeviceRecord& record) {
  State& s = S();
  if (!AllocateDevices(s)) return ERR_LIST_FULL;
  if (s.deviceCount >= MAX_DEVICE_RECORDS) return ERR_LIST_FULL;
  (*s.devices)[static_cast<std::size_t>(s.deviceCount++)] = record;
  return 0;
}

void ClearDevices() {
  State& s = S();
  s.deviceCount = 0;
  if (!AllocateDevices(s)) return;
  std::memset(s.devices->data(), 0, sizeof(DeviceRecord) * MAX_DEVICE_RECORDS);
}

int AddExitHook(std::function<void()> hook) {
  State& s = S();
  const int id = s.nextHookId++;
  s.exitHooks.emplace_back(id, std::move(hook));
  return id;
}

void RemoveExitHook(int id) {
  auto& hooks = S().exitHooks;
  for (auto it = hooks.begin(); it != hooks.end(); ++it) {
    if (it->first == id) {
      hooks.erase(it);
      return;
    }
  }
}

LanaNameCache* NameCacheOf(std::uint8_t lana) { return S().nameCaches[lana].get(); }

std::string LocalComputerName() { return platform::ComputerName(); }

}  // namespace console_access
