// The NetBIOS route: on every LAN adapter the discovery request goes twice as a datagram to the
// print servers' group name, while four datagram receives on the scanner's own name collect the
// answers until a window of silence passes.
#include <cstring>
#include <memory>

#include "device_client/core/wire_layout.h"
#include "discovery_scanner/scanner/discovery_wire.h"
#include "discovery_scanner/scanner/protocols.h"
#include "discovery_scanner/scanner/scan_routes.h"
#include "platform/clock.h"
#include "platform/netbios/netbios.h"

namespace lumeth {
namespace {

constexpr int kSends = 2;
constexpr int kReceives = 4;
constexpr int kCancelPauseMs = 100;
// Each receive half takes a whole datagram (the largest one NetBIOS carries), so a reply is never
// cut short.
constexpr int kHalfSize = 512;

// A receive that keeps failing at once is given up after this many failures in a row, so that a
// broken adapter cannot keep the worker busy for ever inside one window.
constexpr int kMaxFailuresInARow = 8;

struct ReceiveSlot {
  NCB ncb{};
  std::uint8_t halves[2][kHalfSize] = {};
  int half = 0;
  bool posted = false;
  int failures = 0;
};

class NetBiosRoute : public ScanRoute {
 public:
  const char* Name() const override { return "netbios"; }
  const char* FileName() const override { return scan_cache::kNetBiosFile; }

  bool Scan(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) override {
    return ScanNetBios(context, records);
  }

  static bool Run(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) {
    const auto request = BuildDiscoveryRequest();
    char group[NCBNAMSZ] = {};
    std::memcpy(group, wire::kBoxGroupName, std::strlen(wire::kBoxGroupName));
    NCB ncb;
    LANA_ENUM lanas{};
    if (NCBEnumLana(&ncb, &lanas) != NRC_GOODRET) return false;
    NbEvent events[kReceives];
    NbEvent* eventList[kReceives];
    for (int i = 0; i < kReceives; ++i) eventList[i] = &events[i];
    auto slots = std::make_unique<ReceiveSlot[]>(kReceives);
    TakenNames taken(TakenNames::Compare::kBytes);

    for (int l = 0; l < lanas.length && l <= MAX_LANA; ++l) {
      if (context.stop->Stopped() || Full(*records)) break;  // a full area takes nothing more
      const UCHAR lana = lanas.lana[l];
      SetCurrentLana(lana);
      char name[17];
      UCHAR nameNumber = 0;
      if (nb::GetAvailableName(&ncb, name, &nameNumber) != 1) break;  // keeps what was found
      for (int i = 0; i < kReceives; ++i) {
        slots[i].half = 0;
        slots[i].failures = 0;
        Post(slots[i], events[i], nameNumber);
      }
      for (int send = 0; send < kSends && !context.stop->Stopped() && !Full(*records); ++send) {
        SendDataGram(&ncb, nameNumber, request.data(), static_cast<int>(request.size()), nullptr, group);
        const std::int64_t window = context.options->windowMs;
        const std::int64_t end = platform::GetClock().SteadyMs() + window * kMaxWindowsPerSend;
        for (;;) {
          const std::int64_t left = end - platform::GetClock().SteadyMs();
          if (left <= 0) break;
          const int done = NbWaitAny(eventList, kReceives, left < window ? left : window);
          if (done < 0 || done >= kReceives || context.stop->Stopped()) break;
          Completed(context, slots[done], events[done], nameNumber, lana, &taken, records);
          if (Full(*records)) break;
        }
      }
      for (int i = 0; i < kReceives; ++i) {
        if (slots[i].posted) {
          NCBCancel(&slots[i].ncb);
          slots[i].posted = false;
          context.stop->Pause(kCancelPauseMs);
        }
      }
    }
    return true;
  }

 private:
  static bool Full(const std::vector<scan_cache::ScanCacheRecord>& records) {
    return records.size() >= static_cast<std::size_t>(scan_cache::kMaxRecords);
  }

  static void Post(ReceiveSlot& slot, NbEvent& event, UCHAR nameNumber) {
    event.Reset();
    const UCHAR rc = NCBASReceive(&slot.ncb, nameNumber, slot.halves[slot.half], kHalfSize, &event);
    slot.posted = rc == NRC_GOODRET;
    if (!slot.posted) event.Reset();
  }

  static void Completed(const ScanContext& context, ReceiveSlot& slot, NbEvent& event, UCHAR nameNumber, UCHAR lana,
                 TakenNames* taken, std::vector<scan_cache::ScanCacheRecord>* records) {
    const UCHAR rc = slot.ncb.ncb_retcode;
    slot.posted = false;
    if (rc != NRC_GOODRET && ++slot.failures >= kMaxFailuresInARow) {
      event.Reset();
      return;
    }
    if (rc == NRC_GOODRET) {
      slot.failures = 0;
      const int received = slot.ncb.ncb_length > kHalfSize ? kHalfSize : slot.ncb.ncb_length;
      const std::uint8_t* data = slot.halves[slot.half];
      slot.half ^= 1;
      Post(slot, event, nameNumber);  // the next receive goes into the other half at once
      TakeReply(context, data, static_cast<std::size_t>(received), lana, taken, records);
    } else if (rc == NRC_PENDING) {
      NCBCancel(&slot.ncb);
      context.stop->Pause(kCancelPauseMs);
      Post(slot, event, nameNumber);
    } else {
      Post(slot, event, nameNumber);
    }
  }

  static void TakeReply(const ScanContext& context, const std::uint8_t* data, std::size_t size, UCHAR lana,
                        TakenNames* taken, std::vector<scan_cache::ScanCacheRecord>* records) {
    if (Full(*records)) return;
    scan_cache::ScanCacheRecord record{};
    if (ParseDiscoveryReply(data, size, ReplyKind::kNetBios, &record) != ReplyCheck::kOk) return;
    if (!taken->Take(record.szDefaultName)) return;
    record.iProtocol = 4;
    SetNetBiosAddress(&record, lana);
    context.localText->CopyTo(record.szLocalAddress);
    records->push_back(record);
  }
};

}  // namespace

bool ScanNetBios(const ScanContext& context, std::vector<scan_cache::ScanCacheRecord>* records) {
  return NetBiosRoute::Run(context, records);
}

std::unique_ptr<ScanRoute> MakeNetBiosRoute() { return std::make_unique<NetBiosRoute>(); }

}  // namespace lumeth
