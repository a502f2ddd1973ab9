// Lists the NetWare layer fills and the printer-status record.
#pragma once
#include <list>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace netware {

// A list of names; a function that fills one empties it first and appends in the client's order.
using NwNameList = std::list<std::string>;
// Printer numbers or queue priorities, one per name of the list filled beside it (same index).
using NwByteArray = std::vector<BYTE>;

// What NwBindPrinterStatus reads of a print server.
struct NwPrinterStatusRecord {
  int iValid = 0;                 // 1 once filled
  char szText[3][48] = {};        // the print server's name and the texts of its two status blocks
  int iStatus[2] = {};            // the values of the two status blocks
};

}  // namespace netware
