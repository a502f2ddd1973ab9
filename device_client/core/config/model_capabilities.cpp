#include "device_client/core/config/model_capabilities.h"

namespace config {

namespace {

// Port layouts that models share.
struct Layout {
  int parallel;
  bool serial;
  bool usb;
};

constexpr Layout kOneParallel{1, false, false};
constexpr Layout kTwoParallelSerial{2, true, false};
constexpr Layout kThreeParallelSerial{3, true, false};
constexpr Layout kThreeParallel{3, false, false};
constexpr Layout kTwoParallel{2, false, false};
constexpr Layout kOneParallelUsb{1, false, true};

ModelCapabilities Row(const Layout& l, bool tokenRing = false) {
  ModelCapabilities c;
  c.bTableModel = true;
  c.iParallelPorts = l.parallel;
  c.bSerialPort = l.serial;
  c.bUsbPort = l.usb;
  c.iPhysicalPortCount = 0;
  for (int p = 0; p < l.parallel; ++p) c.aPhysicalPorts[c.iPhysicalPortCount++] = kPortP1 + p;
  if (l.serial) c.aPhysicalPorts[c.iPhysicalPortCount++] = kPortSerial;
  for (int i = c.iPhysicalPortCount; i < 4; ++i) c.aPhysicalPorts[i] = -1;
  // One port to print to: the three logical ports of the small models; more: all eight.
  c.iLogicalPorts = c.iPhysicalPortCount > 1 ? 8 : 3;
  c.iRemotePrinters = l.parallel;
  c.iAppleTalkPorts = l.parallel;
  c.bTokenRing = tokenRing;
  return c;
}

struct Table {
  ModelCapabilities rows[kModelTableRows];
  ModelCapabilities raw;  // a code no table knows
  Table() {
    const Layout layouts[kModelTableRows] = {
        kOneParallel,          // 0
        kOneParallel,          // 1
        kTwoParallelSerial,    // 2
        kThreeParallelSerial,  // 3
        kThreeParallel,        // 4
        kTwoParallelSerial,    // 5
        kOneParallel,          // 6
        kOneParallel,          // 7
        kTwoParallelSerial,    // 8
        kOneParallel,          // 9
        kTwoParallelSerial,    // 10 (Token Ring)
        kOneParallel,          // 11
        kOneParallel,          // 12
        kTwoParallelSerial,    // 13
        kOneParallel,          // 14
        kOneParallel,          // 15
        kTwoParallel,          // 16
        kOneParallel,          // 17
        kOneParallel,          // 18
        kOneParallel,          // 19
        kOneParallel,          // 20
        kOneParallel,          // 21
        kOneParallel,          // 22
        kOneParallel,          // 23
        kOneParallelUsb,       // 24 (wizard: the block reports a USB port)
        kOneParallel,          // 25 (wizard)
    };
    for (int i = 0; i < kModelTableRows; ++i) rows[i] = Row(layouts[i], i == 10);
    raw = Row(kOneParallel);
    raw.bTableModel = false;
  }
};

const Table& TheTable() {
  static const Table table;
  return table;
}

}  // namespace

const ModelCapabilities& ModelCapabilitiesOf(int modelType) {
  const Table& t = TheTable();
  if (modelType < 0 || modelType >= kModelTableRows) return t.raw;
  return t.rows[modelType];
}

bool ModelHasParallelPort(int modelType, int port) {
  return port >= 1 && port <= ModelCapabilitiesOf(modelType).iParallelPorts;
}

int ModelPhysicalPortAt(int modelType, int entry) {
  const ModelCapabilities& c = ModelCapabilitiesOf(modelType);
  if (entry < 0 || entry >= c.iPhysicalPortCount) return -1;
  return c.aPhysicalPorts[entry];
}

int ModelPhysicalPortEntry(int modelType, int recordIndex) {
  const ModelCapabilities& c = ModelCapabilitiesOf(modelType);
  for (int i = 0; i < c.iPhysicalPortCount; ++i) {
    if (c.aPhysicalPorts[i] == recordIndex) return i;
  }
  return -1;
}

int ModelDefaultLogicalPortTarget(int modelType, int logicalPort) {
  if (logicalPort < 1 || logicalPort > 8) return kPortP1;
  return kPortP1 + (logicalPort - 1) % ModelCapabilitiesOf(modelType).iParallelPorts;
}

std::string ModelPortText(int modelType) {
  const ModelCapabilities& c = ModelCapabilitiesOf(modelType);
  if (!c.bTableModel) return std::string();
  std::string text;
  auto add = [&text](const std::string& part) {
    if (!text.empty()) text += ", ";
    text += part;
  };
  if (c.bTokenRing) add("token ring");
  int parallel = c.iParallelPorts;
  if (c.bUsbPort) {
    add("USB");
    --parallel;
  }
  if (parallel > 0) add(std::to_string(parallel) + " parallel");
  if (c.bSerialPort) add("1 serial");
  return text;
}

std::string ModelPortCountText(int modelType) {
  const ModelCapabilities& c = ModelCapabilitiesOf(modelType);
  if (!c.bTableModel) return std::string();
  return std::to_string(c.iPhysicalPortCount) + (c.iPhysicalPortCount == 1 ? " port" : " ports");
}

std::string ModelDisplayName(const char* label, const char* feature, int modelType) {
  std::string name = label != nullptr ? label : "";
  std::string inside = feature != nullptr ? feature : "";
  const std::string ports = ModelPortText(modelType);
  if (!inside.empty() && !ports.empty()) inside += ", ";
  inside += ports;
  if (!inside.empty()) name += " (" + inside + ")";
  return name;
}

}  // namespace config
