// The fields of the configuration records as the offline simulation and the call logger both walk
// them: for every record the fields in their order, each with its key in the simulation's settings
// file and its own name as the call log writes it. The two names differ in a few places (the
// protocol record's "bPXSPXProtocol" key, the AppleTalk protocol keys that begin with "n"), and
// fields without a key (reserved bytes, the TCP/IP address-mode switches, the SNMP switch) are not
// listed at all.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "device_client/api/print_server_utility.h"
#include "device_client/core/config/config_records.h"
#include "device_client/pjl/pjl_utility.h"

namespace console_sim {

// One field: an integer (number set) or a text (text set).
template <class R>
struct FieldDef {
  const char* key;   // key in the settings file, after the record's prefix
  const char* name;  // the field's name in the call log
  std::int32_t R::*number = nullptr;
  std::string R::*text = nullptr;
  bool secret = false;  // a password or community string: the call log shows "****"
};

template <class R>
constexpr FieldDef<R> Num(const char* key, std::int32_t R::*m) {
  return {key, key, m, nullptr, false};
}
template <class R>
constexpr FieldDef<R> Num(const char* key, const char* name, std::int32_t R::*m) {
  return {key, name, m, nullptr, false};
}
template <class R>
constexpr FieldDef<R> Txt(const char* key, std::string R::*m, bool secret = false) {
  return {key, key, nullptr, m, secret};
}

// A record: the prefix of its keys in the settings file, the parameter name the call log writes
// before "->", and its fields.
template <class R>
struct RecordDef {
  const char* keyPrefix;
  const char* logParam;
  std::span<const FieldDef<R>> fields;
};

// The text that the call log writes in place of a secret value.
inline constexpr const char* kMaskedValue = "****";

const RecordDef<config::ProtocolData>& ProtocolRecord();
const RecordDef<config::SystemConfigurationData>& SystemRecord();
const RecordDef<config::SerialPortConfigurationData>& SerialPortRecord();
// Key prefix without the "Ln_" of the logical port: the caller puts it in front.
const RecordDef<config::LogicalPrinterConfigurationData>& LogicalPrinterRecord();
const RecordDef<config::NetwareConfigurationData>& NetwareRecord();
const RecordDef<config::TCPIPConfigurationData>& TCPIPRecord();
const RecordDef<config::APPLETALKConfigurationData>& APPLETALKRecord();
const RecordDef<config::NetBEUIConfigureData>& NetBEUIRecord();
const RecordDef<config::SNMPConfigurationData>& SNMPRecord();
// Key prefix without the "P1_" of the port: the caller puts it in front.
const RecordDef<PJLStatusData>& PJLStatusRecord();

// Logical printer n (1..8) of AllLogicalPrinter: its four fields and their names.
struct AllLogicalRow {
  std::string config::AllLogicalPrinter::*physicalPort;
  std::string config::AllLogicalPrinter::*beforeJob;
  std::string config::AllLogicalPrinter::*afterJob;
  std::int32_t config::AllLogicalPrinter::*convert;
};
// Row n - 1 for printer n; nullptr outside 1..8.
const AllLogicalRow* AllLogicalPrinterRow(int printer);

// "P1", "P2", "P3", "SP" for the ports 1, 2, 3 and 101; nullptr for any other port.
const char* PortPrefix(int port);

// The short name of PJL variable `position` (0..27, record order: "AUTOCONT" .. "PRTPSERRS").
std::string PJLVariableName(int position);
// The record position of the variable with index `index` (0..28 but 3), or -1.
int PJLPositionOfIndex(int index);

}  // namespace console_sim
