// One print job from the spooler to a box: the session, the print channel, the data in chunks
// with the printer states the box reports, and the end of the job.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/clock.h"
#include "platform/message_sink.h"
#include "print_monitor/monitor.h"

namespace brandel {

namespace {

constexpr BYTE kOpen = 0x50;
constexpr BYTE kData = 0x51;
constexpr BYTE kEnd = 0x52;
constexpr DWORD kDefaultRetryTimeout = 45000;
// Replies of other commands that may come before the awaited one (late or unsolicited ones).
constexpr int kMaxStrayReplies = 64;

enum class Channel { kOpened, kRefused, kFailed };

DWORD Ticks() { return static_cast<DWORD>(platform::GetClock().SteadyMs()); }

DWORD StatusOfState(BYTE state) {
  if (state == 0) return kStatusOk;
  return state == 2 ? kStatusPaperOut : kStatusOffline;
}

enum class Call { kCalled, kFailed, kNoService };

Call CallPrintServer(PortEntry& port) {
  NCB ncb;
  char local[17];
  UCHAR number = 0;
  // Without the NetBIOS service, looking for the box would fail the same way and blame the box.
  bool serviceDown = false;
  if (!GetAvailableNameOrTell(nullptr, &ncb, local, &number, &serviceDown)) {
    return serviceDown ? Call::kNoService : Call::kFailed;
  }
  std::memcpy(port.szLocalName, local, sizeof local);
  char remote[17];
  FormatDeviceName(port.record.szDeviceName, remote);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (NCBCall(&ncb, local, remote, 40, 40) == NRC_GOODRET) {
      port.bSession = ncb.ncb_lsn;
      return Call::kCalled;
    }
    if (attempt < 2) platform::GetClock().SleepMs(3000);
  }
  return Call::kFailed;
}

Channel OpenPrintChannel(PortEntry& port) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    BYTE request[kCommandHeaderSize];
    PutCommandHeader(request, kOpen, 0, port.record.bPort);
    BYTE reply[kCommandReplySize] = {};
    {
      std::lock_guard<std::recursive_mutex> lock(port.csPort);
      if (SessionSend(port.bSession, request, sizeof request) != static_cast<int>(sizeof request)) return Channel::kFailed;
      if (SessionReceive(port.bSession, reply, sizeof reply) != static_cast<int>(sizeof reply)) return Channel::kFailed;
    }
    if (reply[0] == kOpen && reply[2] == 0) {
      const unsigned size = static_cast<unsigned>(reply[6]) | (static_cast<unsigned>(reply[7]) << 8);
      // A box must take at least one byte per data command.
      if (size <= 6) return Channel::kFailed;
      port.wMaxChunk = static_cast<WORD>(size - 6);
      return Channel::kOpened;
    }
    if (attempt < 2) platform::GetClock().SleepMs(5000);
  }
  return Channel::kRefused;
}

// The box is printing another job: retry every Register Retry interval until the channel opens
// (1), the user cancels (2) or the session fails (3). The question goes through the message sink
// at every retry.
constexpr int kRetryOpened = 1;
constexpr int kRetryCancelled = 2;
constexpr int kRetryNetworkFailure = 3;

int RegisterRetryBox(PortEntry& port, HWND owner) {
  const std::int64_t interval = std::max<std::int64_t>(1, port.record.wRegiRetry) * 1000;
  for (;;) {
    if (PortMessageBox(owner, platform::MB_OKCANCEL | platform::MB_ICONINFORMATION, 712,
                       static_cast<int>(port.record.wRegiRetry)) == platform::IDCANCEL) {
      return kRetryCancelled;
    }
    platform::GetClock().SleepMs(interval);
    const Channel c = OpenPrintChannel(port);
    if (c == Channel::kOpened) return kRetryOpened;
    if (c == Channel::kFailed) return kRetryNetworkFailure;
  }
}

void GetPrinterTimeouts(LPSTR printerName, PortEntry& port) {
  port.dwTransmissionRetryTimeout = kDefaultRetryTimeout;
  HANDLE printer = nullptr;
  if (printerName == nullptr || !OpenPrinterA(printerName, &printer, nullptr)) return;
  port.hPrinter = printer;
  DWORD needed = 0;
  GetPrinterA(printer, 5, nullptr, 0, &needed);
  if (needed > 0 && needed < 65536) {
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (buffer && GetPrinterA(printer, 5, buffer.get(), needed, &needed)) {
      PRINTER_INFO_5A info;
      std::memcpy(&info, buffer.get(), sizeof info);
      port.dwTransmissionRetryTimeout = info.TransmissionRetryTimeout;
    }
  }
  ClosePrinter(printer);
  port.hPrinter = nullptr;
}

bool RetryTimeElapsed(PortEntry& port, DWORD timeout) {
  if (timeout == 0) return false;
  const DWORD now = Ticks();
  if (port.dwRetryStart == 0) port.dwRetryStart = now - 3000;
  if (now - port.dwRetryStart >= timeout) {
    port.dwRetryStart = 0;
    return true;
  }
  return false;
}

// Asks the box for the printer state; 0 when the exchange failed (status = network failure).
int QueryPrinterState(PortEntry& port, BYTE* lastReply) {
  std::lock_guard<std::recursive_mutex> lock(port.csPort);
  BYTE request[kCommandHeaderSize];
  PutCommandHeader(request, kStatusCommand, 0, port.record.bPort);
  if (SessionSend(port.bSession, request, sizeof request) != static_cast<int>(sizeof request)) {
    port.dwStatus = kStatusNetwork;
    return 0;
  }
  BYTE reply[kCommandReplySize] = {};
  for (int stray = 0;; ++stray) {
    if (stray > kMaxStrayReplies || SessionReceive(port.bSession, reply, sizeof reply) != static_cast<int>(sizeof reply)) {
      port.dwStatus = kStatusNetwork;
      return 0;
    }
    if (reply[0] == kData && reply[6] == 0) port.dwWaiting = 0;  // the late ready of a busy printer
    if (reply[0] == kStatusCommand) break;
  }
  port.dwStatus = StatusOfState(reply[7]);
  if (lastReply != nullptr) std::memcpy(lastReply, reply, kCommandReplySize);
  return 1;
}

int WaitPrinterReady(PortEntry& port) {
  port.hReady.Reset();
  port.dwWaiting = 1;
  std::lock_guard<std::recursive_mutex> lock(port.csPort);
  BYTE last[kCommandReplySize] = {};
  bool answered = false;
  for (int poll = 0; poll < 10 && port.dwWaiting == 1; ++poll) {
    platform::GetClock().SleepMs(1000);
    if (!QueryPrinterState(port, last)) break;
    answered = true;
  }
  int result = 0;
  if (port.dwStatus == kStatusNetwork) {
    result = 0;
  } else {
    if (answered) port.dwStatus = StatusOfState(last[7]);
    result = port.dwWaiting == 0 ? 1 : 0;
  }
  port.hReady.Set();
  return result;
}

void EndPrintJob(PortEntry& port) {
  std::lock_guard<std::recursive_mutex> lock(port.csPort);
  BYTE request[kCommandHeaderSize];
  PutCommandHeader(request, kEnd, 0, port.record.bPort);
  if (SessionSend(port.bSession, request, sizeof request) != static_cast<int>(sizeof request)) return;
  BYTE reply[kCommandReplySize];
  for (int stray = 0; stray <= kMaxStrayReplies; ++stray) {
    if (SessionReceive(port.bSession, reply, sizeof reply) != static_cast<int>(sizeof reply)) return;
    if (reply[0] == kEnd) return;
  }
}

void Unbusy(PortEntry& port) {
  std::lock_guard<std::recursive_mutex> lock(MonitorLock());
  port.bFlags &= ~(kPortBusy | kPortBannerPending);
}

}  // namespace

int SendPrintData(PortEntry& port, const BYTE* data, std::size_t count, std::size_t* written) {
  *written = 0;
  if (port.dwWaiting == 1) {
    if (!WaitPrinterReady(port) || port.dwStatus != kStatusOk) return 0;
  }
  if (port.dwStatus != kStatusOk) {
    QueryPrinterState(port, nullptr);
    if (port.dwStatus != kStatusOk) return 0;
  }
  if (port.wMaxChunk == 0) return 0;
  std::size_t remaining = count;
  bool stalled = false;
  while (remaining > 0) {
    const std::size_t chunk = std::min<std::size_t>(port.wMaxChunk, remaining);
    // The header and the caller's bytes go out as one message without being copied together
    // first: a job's data is not copied once more on its way.
    BYTE header[kCommandHeaderSize];
    PutCommandHeader(header, kData, chunk, port.record.bPort);
    port.dwStatus = kStatusOk;
    BYTE reply[kCommandReplySize] = {};
    int sent = -1;
    {
      std::lock_guard<std::recursive_mutex> lock(port.csPort);
      sent = SessionSend(port.bSession, header, sizeof header, data + (count - remaining), chunk);
      if (sent != static_cast<int>(chunk + kCommandHeaderSize)) {
        port.dwStatus = kStatusNetwork;
        break;
      }
      int stray = 0;
      for (;;) {
        if (stray++ > kMaxStrayReplies || SessionReceive(port.bSession, reply, sizeof reply) != static_cast<int>(sizeof reply)) {
          port.dwStatus = kStatusNetwork;
          break;
        }
        if (reply[0] == kData) break;
      }
      if (port.dwStatus == kStatusNetwork) break;
    }
    if (reply[2] == 0) remaining -= static_cast<std::size_t>(sent) - kCommandHeaderSize;
    if (reply[6] == 0) {
      // Any state but ready stops the sending: 2 is paper out, every other one off-line (a state
      // this monitor does not know is no reason to send on).
      if (reply[7] != 0) {
        port.dwStatus = StatusOfState(reply[7]);
        break;
      }
      if (reply[2] != 0) {
        // Refused without a reason: sending the same bytes again at once would never end.
        stalled = true;
        break;
      }
    } else if (!WaitPrinterReady(port) || port.dwStatus != kStatusOk) {
      break;
    }
  }
  *written = count - remaining;
  return port.dwStatus == kStatusOk && !stalled ? 1 : 0;
}

BOOL StartDocPort(HANDLE hPort, LPSTR pPrinterName, DWORD, DWORD, LPBYTE) {
  auto* port = static_cast<PortEntry*>(hPort);
  if (port == nullptr || port->wSignature != 0x4F50) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(MonitorLock());
    if ((port->bFlags & kPortBusy) != 0) {
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
    port->bFlags |= kPortBusy;  // taken now, so a second job cannot slip in while this one starts
  }
  PortRegistryData record;
  if (!LoadPortSettings(nullptr, port->pszName.c_str(), record)) {
    Unbusy(*port);
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  ApplyPortSettings(record, *port);
  port->dwWaiting = 0;
  port->dwStatus = kStatusOk;
  port->dwRetryStart = 0;
  SetCurrentLana(port->record.bLanaNum);
  const Call call = CallPrintServer(*port);
  if (call == Call::kNoService) {
    Unbusy(*port);
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  if (call != Call::kCalled) {
    const int lana = FindDeviceLana(port->record.szDeviceName, port->record.bLanaNum);
    if (lana < 0) {
      PortMessageBox(nullptr, platform::MB_ICONERROR, 611, port->record.szDeviceName);
      Unbusy(*port);
      SetLastError(ERROR_IO_DEVICE);
      return FALSE;
    }
    bool called = false;
    if (lana != port->record.bLanaNum) {
      port->record.bLanaNum = static_cast<BYTE>(lana);
      record.bLanaNum = static_cast<BYTE>(lana);
      SavePortSettings(nullptr, port->pszName.c_str(), record, true);
      SetCurrentLana(port->record.bLanaNum);
      called = CallPrintServer(*port) == Call::kCalled;
    }
    if (!called) {
      PortMessageBox(nullptr, platform::MB_ICONERROR, 708);
      Unbusy(*port);
      SetLastError(ERROR_IO_DEVICE);
      return FALSE;
    }
  }
  const Channel channel = OpenPrintChannel(*port);
  if (channel != Channel::kOpened) {
    const int retried = channel == Channel::kFailed ? kRetryNetworkFailure : RegisterRetryBox(*port, nullptr);
    if (retried != kRetryOpened) {
      NCB ncb;
      NCBHangUp(&ncb, port->bSession);
      Unbusy(*port);
      // Only the user's answer is a cancel; a session that broke meanwhile is a network failure.
      SetLastError(retried == kRetryCancelled ? ERROR_CANCELLED : ERROR_IO_DEVICE);
      return FALSE;
    }
  }
  GetPrinterTimeouts(pPrinterName, *port);
  {
    std::lock_guard<std::recursive_mutex> lock(MonitorLock());
    port->bFlags |= kPortBannerPending;
  }
  port->dwBannerSent = 0;
  return TRUE;
}

BOOL WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto* port = static_cast<PortEntry*>(hPort);
  if (port == nullptr || pcbWritten == nullptr || (pBuffer == nullptr && cbBuf > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbWritten = 0;
  if ((port->bFlags & kPortBusy) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);  // no document was started on the port
    return FALSE;
  }
  SetCurrentLana(port->record.bLanaNum);
  for (;;) {
    bool bannerProgress = false;
    const bool bannerDue = (port->bFlags & kPortBannerPending) != 0 && port->record.dwBannerPage == 1;
    if (bannerDue) {
      const std::size_t before = port->dwBannerSent;
      if (SendBanner(*port) == 1) {
        std::lock_guard<std::recursive_mutex> lock(MonitorLock());
        port->bFlags &= ~kPortBannerPending;
      }
      bannerProgress = port->dwBannerSent > before;
    }
    if ((port->bFlags & kPortBannerPending) == 0 || port->record.dwBannerPage != 1) {
      std::size_t written = 0;
      const int ok = SendPrintData(*port, pBuffer, cbBuf, &written);
      *pcbWritten = static_cast<DWORD>(written);
      if (ok == 1 || written > 0) {
        port->dwRetryStart = 0;
        return TRUE;
      }
    } else if (bannerProgress) {
      // Part of the banner went out: the job's own bytes wait for the rest of it.
      port->dwRetryStart = 0;
      return TRUE;
    }
    if (port->dwStatus == kStatusPaperOut) {
      SetLastError(ERROR_OUT_OF_PAPER);
      return FALSE;
    }
    if (port->dwStatus == kStatusNetwork) {
      SetLastError(ERROR_IO_DEVICE);
      return FALSE;
    }
    if (port->dwStatus == kStatusOffline) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    if (RetryTimeElapsed(*port, port->dwTransmissionRetryTimeout)) {
      SetLastError(ERROR_COUNTER_TIMEOUT);
      return FALSE;
    }
    // Nothing was taken and no reason given: a moment's pause before the same bytes go again.
    platform::GetClock().SleepMs(1000);
  }
}

BOOL ReadPort(HANDLE hPort, LPBYTE, DWORD, LPDWORD pcbRead) {
  auto* port = static_cast<PortEntry*>(hPort);
  if (port == nullptr) return FALSE;
  port->hReady.Wait(-1);
  { std::lock_guard<std::recursive_mutex> lock(port->csPort); }
  if (pcbRead != nullptr) *pcbRead = 0;
  return TRUE;
}

BOOL EndDocPort(HANDLE hPort) {
  auto* port = static_cast<PortEntry*>(hPort);
  if (port == nullptr) return FALSE;
  SetCurrentLana(port->record.bLanaNum);
  if ((port->bFlags & kPortBusy) != 0) {
    EndPrintJob(*port);
    NCB ncb;
    NCBHangUp(&ncb, port->bSession);
  }
  // The port is free once its session is gone, so the next job's session cannot be hung up here.
  Unbusy(*port);
  return TRUE;
}

}  // namespace brandel
