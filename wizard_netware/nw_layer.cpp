#include "wizard_netware/nw_layer.h"

#include "wizard_netware/nw_codes.h"

namespace netware::detail {

void UpperInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

std::string Upper(std::string text) {
  UpperInPlace(text);
  return text;
}

int BinderyFrame(std::string& fileServer, NwHandle* conn, bool initMayFail) {
  UpperInPlace(fileServer);
  NwClient& client = GetNwClient();
  int rc = client.InitClient();
  if (rc != 0 && !initMayFail) return rc;
  rc = client.AttachToFileServer(fileServer, conn);
  if (rc != 0 && rc != kNwAlreadyAttached) return rc;
  return 0;
}

ScanCalls PrintServerAttrScan(int mode, NwHandle h, const std::string& printServer, int attr) {
  NwClient& client = GetNwClient();
  return {[&client, mode, h, printServer, attr](NwHandle* scan, NwAttrBlock* block) {
            return client.PsScanPrintServerAttrOpen(mode, h, printServer, attr, scan, block);
          },
          [&client, printServer](NwHandle scan, NwAttrBlock* block) {
            return client.PsScanPrintServerAttrNext(scan, printServer, block);
          },
          [&client](NwHandle scan) { return client.PsScanPrintServerAttrClose(scan); }};
}

ScanCalls QueueAttrScan(int mode, NwHandle h, const std::string& queue, int attr) {
  NwClient& client = GetNwClient();
  return {[&client, mode, h, queue, attr](NwHandle* scan, NwAttrBlock* block) {
            return client.PsScanQueueAttrOpen(mode, h, queue, attr, scan, block);
          },
          [&client, queue](NwHandle scan, NwAttrBlock* block) {
            return client.PsScanQueueAttrNext(scan, queue, block);
          },
          [&client](NwHandle scan) { return client.PsScanQueueAttrClose(scan); }};
}

ScanCalls PrinterQueueScan(int mode, NwHandle h, const std::string& printServer,
                           const std::string& printer) {
  NwClient& client = GetNwClient();
  return {[&client, mode, h, printServer, printer](NwHandle* scan, NwAttrBlock* block) {
            return client.PsScanPrinterAttrOpen(mode, h, printServer, printer, kAttrQueues, scan,
                                                block);
          },
          [&client, printer](NwHandle scan, NwAttrBlock* block) {
            return client.PsScanPrinterAttrNext(scan, printer, block);
          },
          [&client](NwHandle scan) { return client.PsScanPrinterAttrClose(scan); }};
}

int RunScan(const ScanCalls& calls, NwNameList& list, NwByteArray* numbers,
            const std::function<bool(const NwAttrBlock&)>& keep) {
  list.clear();
  if (numbers != nullptr) numbers->clear();
  NwHandle scan = 0;
  NwAttrBlock block;
  int rc = calls.open(&scan, &block);
  if (rc == kNwEndOfScan) {
    calls.close(scan);
    return 0;
  }
  if (rc != 0) return rc;  // no scan was opened
  while (rc == 0) {
    if (keep(block)) {
      list.push_back(block.name);
      if (numbers != nullptr) numbers->push_back(block.number);
    }
    block = NwAttrBlock();
    rc = calls.next(scan, &block);
  }
  int closed = calls.close(scan);
  return rc == kNwEndOfScan ? closed : rc;
}

bool IsUserMember(const NwAttrBlock& block) { return block.type != 2; }
bool IsGroupMember(const NwAttrBlock& block) { return block.type == 2; }
bool KeepAll(const NwAttrBlock&) { return true; }

}  // namespace netware::detail
