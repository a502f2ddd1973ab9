// The PJL extension of the device-API object: it reaches the printer behind a print-server port
// through the box's pass-through commands. A bidirectional test ("9500:") tells whether the printer
// answers and yields its IEEE 1284 device id (model); "@PJL INFO VARIABLES" ("9601:") reads the
// printer's environment variables with their ranges and enumerations; "@PJL DEFAULT" sets one.
//
// Ports: 1, 2, 3 (parallel ports P1..P3) and 101 (serial port SP); any other value is -2.
//
// Result codes, besides those of CPrintServerUtility::SendResp (0, -1, -2, -3, -4, -5):
//   -1    the PJL text could not be framed, the variable index names no variable, the printer
//         refused a DEFAULT, the reply length is negative
//   -2    invalid argument, decided before any traffic (empty name, bad port, null record, empty
//         value or one with control characters or quotes or longer than 255 bytes, bad index)
//   -201  the configuration reply was empty or did not start with a status byte '0'..'3'
//   -203  the printer answered that it has no configuration information
//   -205  the user declined to go on with a printer that did not pass the bidirectional test
//   -206  printer off line, not responding or not bidirectional (status byte '1')
//   -207  printer busy printing (status byte '2')
//   -208  command parameter invalid (status byte '3')
//
// User-interface thread only.
#pragma once
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "device_client/api/print_server_utility.h"
#include "device_client/pjl/pjl_text.h"

// One PJL variable as the dialogs see it.
struct PJLVariableData {
  std::string szVariableValue;  // current value; empty when the printer did not report it
  int bReadOnly = 0;            // 1: the printer marked it READONLY
  int iVariableValueType = 0;   // 1 RANGE, 2 ENUMERATED (0 until first read)
  // ENUMERATED: the allowed values in the printer's order; RANGE: minimum, then maximum.
  std::list<std::string> ValidValueList;
};

// The 28 PJL variables of the printer on one port, in the order of pjl::kVariableTable.
struct PJLConfigurationData {
  PJLVariableData dsAUTOCONT;
  PJLVariableData dsCLEARABLEWARNINGS;
  PJLVariableData dsCOPIES;
  PJLVariableData dsDENSITY;
  PJLVariableData dsFORMLINES;
  PJLVariableData dsINTRAY1;
  PJLVariableData dsINTRAY2;
  PJLVariableData dsINTRAY3;
  PJLVariableData dsINTRAY1SIZE;
  PJLVariableData dsINTRAY2SIZE;
  PJLVariableData dsINTRAY3SIZE;
  PJLVariableData dsINTRAY4SIZE;
  PJLVariableData dsLOWTONER;
  PJLVariableData dsMANUALFEED;
  PJLVariableData dsMPTRAY;
  PJLVariableData dsORIENTATION;
  PJLVariableData dsPAGEPROTECT;
  PJLVariableData dsPAPER;
  PJLVariableData dsPERSONALITY;
  PJLVariableData dsRESOLUTION;
  PJLVariableData dsRET;
  PJLVariableData dsTIMEOUT;
  PJLVariableData dsFONTSOURCE;
  PJLVariableData dsFONTNUMBER;
  PJLVariableData dsPITCH;
  PJLVariableData dsPTSIZE;
  PJLVariableData dsSYMSET;
  PJLVariableData dsPRTPSERRS;

  // Entry `position` (0..27) in record order.
  PJLVariableData& Entry(int position);
  const PJLVariableData& Entry(int position) const;
};

// Status of the printer on one port. mGetPJLStatus writes only szModel.
struct PJLStatusData {
  int iReturnCode = 0;
  int bOnLine = 0;
  std::string szDisplay;
  std::string szModel;
};

// A variable read from the printer, kept by index until the next configuration read.
class CPJLVariable : public CUtilityObject {
 public:
  // -1 for a negative index; else the low 16 bits are kept, 0.
  int SetIndex(int index);
  int SetValue(const std::string& value);      // 0, or -3
  int AddChoice(const std::string& choice);    // 0, or -3
  void SetReadOnly(bool readOnly) { m_Data.bReadOnly = readOnly ? 1 : 0; }
  void SetValueType(bool enumerated) { m_Data.iVariableValueType = enumerated ? 2 : 1; }
  // Value, read-only flag, type and allowed values (the list is emptied and refilled): 0, or -3.
  int CopyTo(PJLVariableData& out) const;

  std::string m_szLanguage;  // "PCL", "POSTSCRIPT" for LPARM: variables; else empty
  std::uint16_t m_wIndex = 0;
  PJLVariableData m_Data;
};

class CPJLUtility : public CPrintServerUtility {
 public:
  static constexpr const char* kConfirmText =
      "This printer might not be a PJL printer. "
      "If you proceed by clicking Yes button and encounter errors, "
      "the print server might need to be reset.  Do you want to continue?";
  static constexpr int kBidirectionalAttempts = 3;

  CPJLUtility() = default;
  ~CPJLUtility() override;

  // Starts the LAN (base operation), then fills the variable-name table. The table is filled even
  // when some transport failed, so PJL calls over the transports that did start still work.
  // Returns the base's failure bits when any; else 0, or -1 when the table could not be filled.
  int mInitializeLanComponent(int iProtocol, int iTimeOut) override;

  // The printer's model from its device id. Writes only pdsPJLStatusData->szModel.
  int mGetPJLStatus(const std::string& szDefaultName, int iPort, PJLStatusData* pdsPJLStatusData);
  // Reads every PJL variable of the printer on the port into the record (values of variables the
  // printer did not report are emptied). Asks the user (Yes/No through the message sink) before
  // going on with a printer that failed the bidirectional test three times.
  int mGetPJLConfiguration(const std::string& szDefaultName, int iPort,
                           PJLConfigurationData* pdsPJLConfigurationData);
  // Sets the default of variable `iPJLInqueryType` (its index) to szVariableValue.
  int mSetPJLEnvironmentVariable(const std::string& szDefaultName, int iPort,
                                 const std::string& szVariableValue, int iPJLInqueryType);

  // ---- Inner steps, open for tests ---------------------------------------------------------
  // Sends "9500:"; isBidirectional and text (the device id) follow the status byte.
  int TestBidirectional(const std::string& name, int port, int& isBidirectional,
                        std::string& text);
  int BuildInfoVariablesRequest(int port, std::string& request);
  int BuildDefaultRequest(int port, const std::string& value, int index, std::string& request);
  // Reads a "9601:" INFO VARIABLES reply of `length` bytes into the record.
  int ParsePJLConfiguration(const char* reply, int length, PJLConfigurationData* record);
  // Reads the INFO VARIABLES answer into the variable map. 0, or -2 for an empty text.
  int ParseVariableEntries(const char* text, int length);

  int AddVariableName(const std::string& name, int index);
  int LookupVariableIndex(const std::string& name, int& index) const;
  int LookupVariableName(int index, std::string& name) const;
  void ClearVariableMap() { m_VariableMap.clear(); }
  const std::map<std::uint16_t, std::unique_ptr<CPJLVariable>>& VariableMap() const {
    return m_VariableMap;
  }
  std::size_t NameCount() const { return m_NameMap.size(); }

 private:
  int FillNameTable();
  // Frames, checks and hex-encodes a PJL text and wraps it in the port's "9601:" command.
  int EncodePassThrough(int port, const std::string& framed, std::string& request);

  std::map<std::string, std::string> m_NameMap;  // PJL name -> index as decimal text
  std::map<std::uint16_t, std::unique_ptr<CPJLVariable>> m_VariableMap;
  bool m_bNotAvailable = false;  // the last answer said it holds no information
};
