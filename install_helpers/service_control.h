// Stopping and removing a system service, the part of a service manager the removal utility needs.
//
// A ServiceControl is opened once (the manager itself: false when it cannot be reached) and then
// asked to stop a service without waiting for it and to remove it. The systemd back-end runs
// `systemctl` ("stop --no-block", then "disable"; a unit that is not installed fails both); the
// null back-end records the calls and answers from its settings, for tests.
#pragma once
#include <string>
#include <vector>

namespace install_helpers {

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // Connects to the service manager; false when it is not there or refuses us.
  virtual bool OpenManager() = 0;
  // Asks the service to stop and returns at once; true when the request was accepted.
  virtual bool StopService(const std::string& name) = 0;
  // Removes the service from the services that start; true on success.
  virtual bool DeleteService(const std::string& name) = 0;
  // Lets go of the manager; true when it had been opened.
  virtual bool CloseManager() = 0;
};

// systemd through `systemctl` (looked up on $PATH, or the program named by $PSADMIN_SYSTEMCTL).
// A service name maps to the unit "<name in lower case>.service".
class SystemdServiceControl : public ServiceControl {
 public:
  bool OpenManager() override;
  bool StopService(const std::string& name) override;
  bool DeleteService(const std::string& name) override;
  bool CloseManager() override;

  static std::string UnitName(const std::string& serviceName);

 private:
  // Runs systemctl with the arguments and waits for it: true when it exits with 0.
  bool Run(const std::vector<std::string>& args) const;
  std::string program_;
  bool open_ = false;
};

// Records what it was asked; answers as configured.
class NullServiceControl : public ServiceControl {
 public:
  bool managerAvailable = true;
  bool installed = false;  // the service exists
  bool running = false;

  std::vector<std::string> calls;  // "open", "stop NAME", "delete NAME", "close"

  bool OpenManager() override;
  bool StopService(const std::string& name) override;
  bool DeleteService(const std::string& name) override;
  bool CloseManager() override;

 private:
  bool open_ = false;
};

// The removal utility: stops the service, then removes it (also when the stop failed).
// Returns the process exit code: 0 when the service manager could be reached, whatever became of
// the service (not installed, refused, still stopping); 1 when the manager could not be opened.
int RemoveNdisHookService(ServiceControl& control);
extern const char* const kNdisHookServiceName;  // "Trevalk"

}  // namespace install_helpers
