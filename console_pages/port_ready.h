// Whether the printer on a port of a box takes configuration now: asks the box for its printer
// status (under a wait cursor, the result shown with ShowResult) and reads the port's block.
#pragma once
#include <string>

#include "device_client/api/print_server_utility.h"

// 1 when the port's printer is on-line and idle, else 0 (also when the status request failed).
// `portName` is the port's configured name (P1, P2, P3, SP when empty).
int IsPortPrinterReady(CPrintServerUtility& utility, const std::string& defaultName, int port,
                       const std::string& portName);
