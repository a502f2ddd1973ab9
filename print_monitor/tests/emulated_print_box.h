// For the print monitor's tests: one emulated box that takes print jobs over NetBIOS on private
// loopback ports, each of its ports writing to a sink file under the test's root.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/netbios/tests/nb_test_env.h"
#include "platform/test_support/temp_root.h"
#include "tools/box_emulator/box_emulator.h"
#include "tools/box_emulator/netbios_front.h"
#include "tools/box_emulator/print_path.h"

namespace monitor_test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// `n` pseudo-random bytes (every byte value occurs).
inline std::string Pattern(std::size_t n, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// Ends the NetBIOS services of `root`: its own (started on demand by the programs of the root) and
// the machine's service of the test (which the programs run as root use), and waits until they
// have gone. Nothing to do when none runs.
inline void StopNetbiosService(const std::string& root) {
  platform::testing::StopMachineNetbios(root + "/netbios");
  platform::testing::StopMachineNetbios(root + "/machine-netbios");
}

class EmulatedPrintBox {
 public:
  // Writes the root's NetBIOS configuration (a loopback LANA, the ports) and starts the box.
  EmulatedPrintBox(const std::string& root, const nbtest::Ports& ports, const std::string& deviceName,
                   std::uint16_t bufferSize) {
    nbtest::WriteConfig(root, ports, {"127.0.0.1"});
    box_emulator::BoxOptions options;
    options.restartWindow = std::chrono::milliseconds(0);
    box = std::make_unique<box_emulator::Box>(options);
    box->SetDeviceName(deviceName);
    box_emulator::PrintPathOptions po;
    po.sinkDirectory = root + "/sinks";
    po.bufferSize = bufferSize;
    path = std::make_unique<box_emulator::PrintPath>(po);
    box_emulator::NetbiosFrontOptions nbo = nbtest::OnPorts(box_emulator::NetbiosFrontOptions{}, ports);
    front = std::make_unique<box_emulator::NetbiosFront>(nbo);
    front->SetPrintPath(path.get());
    if (!front->AddBox(box.get())) throw std::runtime_error("the box's NetBIOS node cannot start");
  }
  ~EmulatedPrintBox() {
    front.reset();
    path.reset();
    box.reset();
  }
  std::string Sink(int port = 0) const { return ReadFile(path->SinkPath(box.get(), port)); }
  void SetFault(const box_emulator::PrintPortFault& fault, int port = 0) { path->SetFault(box.get(), port, fault); }

  std::unique_ptr<box_emulator::Box> box;
  std::unique_ptr<box_emulator::PrintPath> path;
  std::unique_ptr<box_emulator::NetbiosFront> front;
};

}  // namespace monitor_test
