// The IPX route: a service query for print servers, each answer confirmed over SPX.
#include <memory>

#include "discovery_scanner/scanner/scan_routes.h"

namespace lumeth {
namespace {

// Without the IPX stand-in in this build the route cannot run: its protocol reports failure at
// start-up, which keeps the route off.
class NoIpxRoute : public ScanRoute {
 public:
  const char* Name() const override { return "ipx"; }
  const char* FileName() const override { return scan_cache::kIpxFile; }
  bool Scan(const ScanContext&, std::vector<scan_cache::ScanCacheRecord>*) override { return false; }
};

}  // namespace

bool IpxRouteAvailable() { return false; }
std::unique_ptr<ScanRoute> MakeIpxRoute() { return std::make_unique<NoIpxRoute>(); }

}  // namespace lumeth
