// A fresh platform root for one test: creates a temporary directory, points PSADMIN_ROOT at it and
// removes it again afterwards. The machine's NetBIOS service of the test is the root's too
// (PSADMIN_NBD_MACHINE names "<root>/machine-netbios", which nothing makes but a program that starts
// that service as root): a test never meets this machine's real one, and stops what it started.
#pragma once
#include <string>

namespace platform::testing {

// Ends the NetBIOS service whose folder (process id file nbd.pid, which it keeps locked while it
// runs) is `folder`, and waits until it has gone. Nothing to do when none runs there.
void StopMachineNetbios(const std::string& folder);

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::string& path() const { return path_; }
  // The folder PSADMIN_NBD_MACHINE names while this root is the test's.
  std::string machineNetbios() const { return path_ + "/machine-netbios"; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
  std::string previousMachine_;
  bool hadPreviousMachine_ = false;
};

}  // namespace platform::testing
