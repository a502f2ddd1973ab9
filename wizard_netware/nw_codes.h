// Result codes of the NetWare set-up layer. Client codes (16-bit values in an int) pass through
// unchanged; these are the ones the layer gives or tests itself.
#pragma once

namespace netware {

constexpr int kNwSuccess = 0;
constexpr int kNwAlreadyAttached = 0x8800;   // attach: the connection exists; counts as success
constexpr int kNwEndOfScan = 30562;          // end of a print-services scan
constexpr int kNwNotFound = -252;            // a find did not find the object
constexpr int kNwNdsNotFound = 0xffff;       // tree not advertised, context not found, "[ROOT]"
constexpr int kNwTreeNotAuthenticated = 2;   // tree check: no authenticated identity
constexpr int kNwTreeWrongServerType = 1;    // tree check: the server's type byte is not '3'
constexpr int kNwNoVolume = -1;              // volume look-up found none; simulation: bad password
constexpr int kNwEmptyNameList = 35323;      // set-up sequence: a name list is empty or the lists differ
constexpr int kNwPrintServerNotOnServer = 35324;  // serviced-file-server removal: no such print server

// Client codes the layer and the stand-ins give.
constexpr int kNwRequesterFailure = 35071;   // NWE_REQUESTER_FAILURE: no NetWare client
constexpr int kNwParamInvalid = 34870;       // NWE_PARAM_INVALID: a name that cannot be stored
constexpr int kNwBufferOverflow = 34830;     // NWE_BUFFER_OVERFLOW: a value longer than its buffer
constexpr int kNwSettingsNotWritten = 34871;  // NWE_CFG_OPEN_FAILED: the settings file cannot be written
constexpr int kNwServerNoConnection = 34831;  // NWE_SERVER_NO_CONN: no connection to read status over

// Names and list values of the settings file are read into buffers of this size.
constexpr int kNwTextBufferSize = 256;

}  // namespace netware
