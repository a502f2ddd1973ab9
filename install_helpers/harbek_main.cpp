// harbek: stops and removes the NDIS hook service. Reads no arguments and prints nothing; the exit
// code is 0 when the service manager could be reached and 1 when it could not.
#include "install_helpers/service_control.h"

int main() {
  install_helpers::SystemdServiceControl control;
  return install_helpers::RemoveNdisHookService(control);
}
