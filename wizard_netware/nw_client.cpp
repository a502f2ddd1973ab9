#include "wizard_netware/nw_client.h"

#include "wizard_netware/nw_codes.h"

namespace netware {
namespace {

// No NetWare requester on this system: every call fails as an absent requester does.
class NotInstalledNwClient final : public NwClient {
 public:
  int InitClient() override { return kFail; }
  int AttachToFileServer(const std::string&, NwHandle*) override { return kFail; }
  int GetDefaultConnection(NwHandle*) override { return kFail; }
  int ScanBinderyObject(NwHandle, const std::string&, WORD, std::int32_t*, std::string*) override {
    return kFail;
  }
  int GetFileServerType(NwHandle, WORD*) override { return kFail; }
  int GetFileServerDescription(NwHandle, std::string*) override { return kFail; }
  int ChangeBinderyObjectPassword(NwHandle, const std::string&, WORD, const std::string&,
                                  const std::string&) override {
    return kFail;
  }
  int MapDirectory(NwHandle, const std::string&, char*) override { return kFail; }
  int DeleteFile(const std::string&) override { return kFail; }
  int FreeDirectory(char) override { return kFail; }
  int GetConnectionList(std::vector<NwHandle>*, std::size_t) override { return kFail; }

  int SetPreferredTree(const std::string&) override { return kFail; }
  int IsAuthenticated() override { return 0; }
  int CreateContext(NwHandle*) override { return kFail; }
  int FreeContext(NwHandle) override { return kFail; }
  int GetContextFlags(NwHandle, DWORD*) override { return kFail; }
  int SetContextFlags(NwHandle, DWORD) override { return kFail; }
  int GetContextName(NwHandle, std::string*) override { return kFail; }
  int SetContextName(NwHandle, const std::string&) override { return kFail; }
  int Search(NwHandle, const std::string&, int, const std::vector<NdsFilterToken>&, std::int32_t*,
             std::vector<std::string>*) override {
    return kFail;
  }
  int ListSubordinates(NwHandle, std::int32_t*, std::vector<NdsEntry>*) override { return kFail; }
  int GetObjectId(NwHandle, NwHandle, const std::string&, DWORD*) override { return kFail; }
  int ChangeObjectPassword(NwHandle, const std::string&, const std::string&,
                           const std::string&) override {
    return kFail;
  }

  int PsCreatePrintServer(int, NwHandle, const std::string&) override { return kFail; }
  int PsDeletePrintServer(int, NwHandle, const std::string&) override { return kFail; }
  int PsCreatePrinter(int, NwHandle, const std::string&, const std::string&, int*) override {
    return kFail;
  }
  int PsDeletePrinter(int, NwHandle, const std::string&, const std::string&) override {
    return kFail;
  }
  int PsCreateQueue(int, NwHandle, const std::string&, const std::string&) override {
    return kFail;
  }
  int PsDeleteQueue(int, NwHandle, const std::string&) override { return kFail; }
  int PsAddQueueToPrinter(int, NwHandle, const std::string&, const std::string&, int,
                          const NwQueueLink&) override {
    return kFail;
  }
  int PsRemoveQueueFromPrinter(int, NwHandle, const std::string&, const std::string&, int,
                               const NwQueueLink&) override {
    return kFail;
  }
  int PsAddPrintServerAttr(int, NwHandle, const std::string&, int, const NwAttrBlock&) override {
    return kFail;
  }
  int PsRemovePrintServerAttr(int, NwHandle, const std::string&, int,
                              const NwAttrBlock&) override {
    return kFail;
  }
  int PsAddQueueAttr(int, NwHandle, const std::string&, int, const NwAttrBlock&) override {
    return kFail;
  }
  int PsRemoveQueueAttr(int, NwHandle, const std::string&, int, const NwAttrBlock&) override {
    return kFail;
  }
  int PsAddServicedFileServer(int, NwHandle, const std::string&, const std::string&) override {
    return kFail;
  }
  int PsScanPrintServerAttrOpen(int, NwHandle, const std::string&, int, NwHandle*,
                                NwAttrBlock*) override {
    return kFail;
  }
  int PsScanPrintServerAttrNext(NwHandle, const std::string&, NwAttrBlock*) override {
    return kFail;
  }
  int PsScanPrintServerAttrClose(NwHandle) override { return kFail; }
  int PsScanQueueAttrOpen(int, NwHandle, const std::string&, int, NwHandle*,
                          NwAttrBlock*) override {
    return kFail;
  }
  int PsScanQueueAttrNext(NwHandle, const std::string&, NwAttrBlock*) override { return kFail; }
  int PsScanQueueAttrClose(NwHandle) override { return kFail; }
  int PsScanPrinterAttrOpen(int, NwHandle, const std::string&, const std::string&, int, NwHandle*,
                            NwAttrBlock*) override {
    return kFail;
  }
  int PsScanPrinterAttrNext(NwHandle, const std::string&, NwAttrBlock*) override { return kFail; }
  int PsScanPrinterAttrClose(NwHandle) override { return kFail; }
  int PsScanServicedOpen(int, NwHandle, const std::string&, NwHandle*, std::string*) override {
    return kFail;
  }
  int PsScanServicedNext(NwHandle, const std::string&, std::string*) override { return kFail; }
  int PsScanServicedClose(NwHandle) override { return kFail; }
  int PsAttachStatus(NwHandle, const std::string&, int, NwHandle*) override { return kFail; }
  int PsReadStatus(NwHandle, int, int, NwStatusBlock*) override { return kFail; }
  int PsDetachStatus(NwHandle) override { return kFail; }

 private:
  static constexpr int kFail = kNwRequesterFailure;
};

NwClient* g_client = nullptr;

}  // namespace

NwClient& NotInstalledClient() {
  static NotInstalledNwClient client;
  return client;
}

NwClient& GetNwClient() { return g_client != nullptr ? *g_client : NotInstalledClient(); }

void SetNwClient(NwClient* client) { g_client = client; }

}  // namespace netware
