#include "device_client/pjl/pjl_utility.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/message_sink.h"

namespace {

using Member = PJLVariableData PJLConfigurationData::*;
constexpr Member kEntries[pjl::kVariableCount] = {
    &PJLConfigurationData::dsAUTOCONT,      &PJLConfigurationData::dsCLEARABLEWARNINGS,
    &PJLConfigurationData::dsCOPIES,        &PJLConfigurationData::dsDENSITY,
    &PJLConfigurationData::dsFORMLINES,     &PJLConfigurationData::dsINTRAY1,
    &PJLConfigurationData::dsINTRAY2,       &PJLConfigurationData::dsINTRAY3,
    &PJLConfigurationData::dsINTRAY1SIZE,   &PJLConfigurationData::dsINTRAY2SIZE,
    &PJLConfigurationData::dsINTRAY3SIZE,   &PJLConfigurationData::dsINTRAY4SIZE,
    &PJLConfigurationData::dsLOWTONER,      &PJLConfigurationData::dsMANUALFEED,
    &PJLConfigurationData::dsMPTRAY,        &PJLConfigurationData::dsORIENTATION,
    &PJLConfigurationData::dsPAGEPROTECT,   &PJLConfigurationData::dsPAPER,
    &PJLConfigurationData::dsPERSONALITY,   &PJLConfigurationData::dsRESOLUTION,
    &PJLConfigurationData::dsRET,           &PJLConfigurationData::dsTIMEOUT,
    &PJLConfigurationData::dsFONTSOURCE,    &PJLConfigurationData::dsFONTNUMBER,
    &PJLConfigurationData::dsPITCH,         &PJLConfigurationData::dsPTSIZE,
    &PJLConfigurationData::dsSYMSET,        &PJLConfigurationData::dsPRTPSERRS,
};

// The status byte with which a box answers "9500:" and "9601:".
int StatusByteResult(char status) {
  switch (status) {
    case '1':
      return -206;  // printer off line, not responding or not bidirectional
    case '2':
      return -207;  // printer busy printing
    case '3':
      return -208;  // command parameter invalid
    default:
      return 0;
  }
}

// The reply text from `from` to its first NUL, within the reply's length.
std::string ReplyText(const char* reply, int length, int from) {
  if (reply == nullptr || length <= from) return {};
  std::string_view bytes(reply + from, static_cast<std::size_t>(length - from));
  return std::string(bytes.substr(0, bytes.find('\0')));
}

int ClampedLength(int length) { return std::min(length, CPrintServerUtility::kReplyBufferSize); }

}  // namespace

PJLVariableData& PJLConfigurationData::Entry(int position) {
  return this->*kEntries[static_cast<std::size_t>(position)];
}

const PJLVariableData& PJLConfigurationData::Entry(int position) const {
  return this->*kEntries[static_cast<std::size_t>(position)];
}

// ---- CPJLVariable -------------------------------------------------------------------------

int CPJLVariable::SetIndex(int index) {
  if (index < 0) return -1;
  m_wIndex = static_cast<std::uint16_t>(index & 0xFFFF);
  return 0;
}

int CPJLVariable::SetValue(const std::string& value) {
  try {
    m_Data.szVariableValue = value;
    return 0;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLVariable::AddChoice(const std::string& choice) {
  try {
    m_Data.ValidValueList.push_back(choice);
    return 0;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLVariable::CopyTo(PJLVariableData& out) const {
  try {
    out.szVariableValue = m_Data.szVariableValue;
    out.bReadOnly = m_Data.bReadOnly;
    out.iVariableValueType = m_Data.iVariableValueType;
    out.ValidValueList.clear();
    for (const std::string& choice : m_Data.ValidValueList) out.ValidValueList.push_back(choice);
    return 0;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

// ---- CPJLUtility: set-up ------------------------------------------------------------------

CPJLUtility::~CPJLUtility() {
  m_VariableMap.clear();
  m_NameMap.clear();
}

int CPJLUtility::mInitializeLanComponent(int iProtocol, int iTimeOut) {
  const int lan = CPrintServerUtility::mInitializeLanComponent(iProtocol, iTimeOut);
  // The name table does not depend on the transports: fill it even when one of them failed, so
  // that the PJL calls keep working over those that did start.
  const int table = FillNameTable();
  if (lan != 0) return lan;
  return table;
}

int CPJLUtility::FillNameTable() {
  ClearVariableMap();
  m_NameMap.clear();
  for (const pjl::VariableName& row : pjl::kVariableTable) {
    const int rc = AddVariableName(row.name, row.index);
    if (rc == -3) return -3;
    if (rc != 0) return -1;
  }
  return 0;
}

int CPJLUtility::AddVariableName(const std::string& name, int index) {
  if (name.empty() || index < 0) return -2;
  try {
    if (m_NameMap.count(name) != 0) return -1;
    m_NameMap.emplace(name, std::to_string(index));
    return 0;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLUtility::LookupVariableIndex(const std::string& name, int& index) const {
  if (name.empty()) return -2;
  const auto it = m_NameMap.find(name);
  if (it == m_NameMap.end() || it->second.empty()) return -1;
  int value = 0;
  const char* first = it->second.data();
  const char* last = first + it->second.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last) return -1;
  index = value;
  return 0;
}

int CPJLUtility::LookupVariableName(int index, std::string& name) const {
  if (index < 0) return -2;
  // Rows in table order; each name is in the map only when the table was filled.
  for (const pjl::VariableName& row : pjl::kVariableTable) {
    const auto it = m_NameMap.find(row.name);
    if (it == m_NameMap.end()) continue;
    if (it->second == std::to_string(index)) {
      name = row.name;
      return 0;
    }
  }
  return -1;
}

// ---- Requests -----------------------------------------------------------------------------

int CPJLUtility::EncodePassThrough(int port, const std::string& framed, std::string& request) {
  request.clear();
  if (pjl::PortToken(port) == nullptr) return -2;
  if (framed.empty() || framed.size() > pjl::kMaxFramedText ||
      framed.find('\0') != std::string::npos) {
    return -1;
  }
  std::array<unsigned char, pjl::kMaxFramedText + 1> area{};
  std::memcpy(area.data(), framed.data(), framed.size());
  std::string hex;
  const int rc = HexEncodeText(area.data(), static_cast<int>(area.size()), hex);
  if (rc == -3) return -3;
  if (rc != 0) return -1;
  request = pjl::PassThroughRequest(port, hex);
  return 0;
}

int CPJLUtility::BuildInfoVariablesRequest(int port, std::string& request) {
  if (port < 0) return -2;
  try {
    return EncodePassThrough(port, pjl::FrameInfoVariables(), request);
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLUtility::BuildDefaultRequest(int port, const std::string& value, int index,
                                     std::string& request) {
  request.clear();
  if (port < 0 || index < 0 || index > pjl::kMaxVariableIndex) return -2;
  if (!pjl::IsAcceptableValue(value)) return -2;
  try {
    std::string name;
    if (LookupVariableName(index, name) != 0 || name.empty()) return -1;
    return EncodePassThrough(port, pjl::FrameDefault(name, value), request);
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

// ---- Operations ---------------------------------------------------------------------------

int CPJLUtility::TestBidirectional(const std::string& name, int port, int& isBidirectional,
                                   std::string& text) {
  if (name.empty()) return -2;
  const std::string request = pjl::BidirectionalRequest(port);
  if (request.empty()) return -2;

  int length = 0;
  const int rc = SendResp(name, request, ReplyBuffer(), length);
  if (rc != 0) return rc;
  if (length < 0) return -1;
  length = ClampedLength(length);
  if (length == 0) {
    isBidirectional = 0;
    text.clear();
    return 0;
  }
  const char status = ReplyBuffer()[0];
  if (status == '0') {
    isBidirectional = 1;
    text = ReplyText(ReplyBuffer(), length, 1);
    return 0;
  }
  isBidirectional = 0;
  const int result = StatusByteResult(status);
  if (result != 0) text = ReplyText(ReplyBuffer(), length, 1);
  return result;
}

int CPJLUtility::mGetPJLStatus(const std::string& szDefaultName, int iPort,
                               PJLStatusData* pdsPJLStatusData) {
  if (szDefaultName.empty() || iPort < 0 || pdsPJLStatusData == nullptr) return -2;
  try {
    std::string deviceId;
    int bidirectional = 0;
    const int rc = TestBidirectional(szDefaultName, iPort, bidirectional, deviceId);
    if (rc != 0) return rc;
    pdsPJLStatusData->szModel = bidirectional != 0 ? pjl::ModelFromDeviceId(deviceId) : "";
    return 0;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLUtility::mGetPJLConfiguration(const std::string& szDefaultName, int iPort,
                                      PJLConfigurationData* pdsPJLConfigurationData) {
  if (szDefaultName.empty() || iPort < 0 || pdsPJLConfigurationData == nullptr) return -2;
  try {
    for (int i = 0; i < pjl::kVariableCount; ++i) {
      pdsPJLConfigurationData->Entry(i).szVariableValue.clear();
    }

    int bidirectional = 0;
    for (int attempt = 0; attempt < kBidirectionalAttempts && bidirectional == 0; ++attempt) {
      std::string deviceId;
      const int rc = TestBidirectional(szDefaultName, iPort, bidirectional, deviceId);
      if (rc != 0) return rc;
    }
    if (bidirectional == 0) {
      const int answer = platform::GetMessageSink().Show(
          0, kConfirmText, platform::MB_YESNO | platform::MB_ICONQUESTION);
      if (answer != platform::IDYES) return -205;
    }

    std::string request;
    int rc = BuildInfoVariablesRequest(iPort, request);
    if (rc != 0) return rc;

    ClearVariableMap();
    int length = 0;
    rc = SendResp(szDefaultName, request, ReplyBuffer(), length);
    if (rc != 0) return rc;
    if (length < 0) return -1;
    if (length == 0) return -201;
    return ParsePJLConfiguration(ReplyBuffer(), ClampedLength(length), pdsPJLConfigurationData);
  } catch (const std::bad_alloc&) {
    return -3;
  }
}

int CPJLUtility::ParsePJLConfiguration(const char* reply, int length,
                                       PJLConfigurationData* record) {
  if (record == nullptr) return -2;
  if (reply == nullptr || length < 0) return -1;
  if (length == 0) return -201;
  switch (reply[0]) {
    case '1':
      WriteLog("mGetPJLConfiguration() received 0x31");
      return -206;
    case '2':
      WriteLog("mGetPJLConfiguration() received 0x32");
      return -207;
    case '3':
      WriteLog("mGetPJLConfiguration() received 0x33");
      return -208;
    case '0':
      break;
    default:
      return -201;
  }

  const std::string_view bytes(reply, static_cast<std::size_t>(length));
  // The echo is looked for in the text part of the reply (up to its first NUL).
  const std::size_t at = bytes.substr(0, bytes.find('\0')).find("PJL INFO VARIABLES");
  if (at == std::string_view::npos) {
    ClearVariableMap();
    return 0;
  }
  const std::string_view answer = bytes.substr(at);
  if (ParseVariableEntries(answer.data(), static_cast<int>(answer.size())) != 0) return 0;

  if (m_VariableMap.empty() && m_bNotAvailable) return -203;
  for (int i = 0; i < pjl::kVariableCount; ++i) {
    PJLVariableData& entry = record->Entry(i);
    const auto it = m_VariableMap.find(static_cast<std::uint16_t>(pjl::kVariableTable[i].index));
    if (it != m_VariableMap.end()) {
      const int rc = it->second->CopyTo(entry);
      if (rc != 0) return rc;
    } else {
      entry.szVariableValue.clear();
    }
  }
  return 0;
}

int CPJLUtility::ParseVariableEntries(const char* text, int length) {
  ClearVariableMap();
  m_bNotAvailable = false;
  if (text == nullptr || length <= 0) return -2;

  pjl::ParseResult parsed;
  const int rc = pjl::ParseVariableEntries(
      std::string_view(text, static_cast<std::size_t>(length)), parsed);
  if (rc != 0) return rc;
  m_bNotAvailable = parsed.notAvailable;

  for (pjl::ParsedVariable& v : parsed.variables) {
    int index = 0;
    if (LookupVariableIndex(v.name, index) != 0) continue;  // not a variable of the table
    auto variable = std::make_unique<CPJLVariable>();
    for (const std::string& choice : v.choices) {
      if (variable->AddChoice(choice) != 0) return 0;
    }
    variable->SetReadOnly(v.readOnly != 0);
    variable->SetValueType(v.valueType == 2);
    variable->m_szLanguage = v.language;
    if (variable->SetIndex(index) != 0) continue;
    if (variable->SetValue(v.value) != 0) return 0;
    m_VariableMap[variable->m_wIndex] = std::move(variable);
  }
  return 0;
}

int CPJLUtility::mSetPJLEnvironmentVariable(const std::string& szDefaultName, int iPort,
                                            const std::string& szVariableValue,
                                            int iPJLInqueryType) {
  if (szDefaultName.empty() || iPort < 0 || szVariableValue.empty() || iPJLInqueryType < 0) {
    return -2;
  }
  try {
    std::string request;
    int rc = BuildDefaultRequest(iPort, szVariableValue, iPJLInqueryType, request);
    if (rc != 0) return rc;
    int length = 0;
    rc = SendResp(szDefaultName, request, ReplyBuffer(), length);
    if (rc != 0) return rc;
    if (length <= 0) return -1;
    return ReplyBuffer()[0] == '0' ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -3;
  }
}
