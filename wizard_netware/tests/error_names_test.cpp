// The NetWare error names: a sample of the runs of codes as they were documented, checked against
// the table the build generates, and the texts of unknown codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "wizard_netware/nw_error_table.h"
#include "wizard_netware/nw_errors.h"

namespace netware {
namespace {

// Runs in their documented form: "first to last: name, name + name, ..." (one entry per code,
// " + " between the names of a code that has several).
const char* const kSampleRuns[] = {
    "-224 to -222: DSERR_NO_LOGIN_CONN_AVAILABLE, DSERR_PASSWORD_EXPIRED, DSERR_BAD_PASSWORD",
    "-220 to -208: DSERR_LOG_ACCOUNT_EXPIRED, DSERR_Q_MAX_SERVERS + DSERR_NODE_ADDRESS_VIOLATION, "
    "DSERR_Q_HALTED + DSERR_BAD_LOGIN_TIME, DSERR_Q_STN_NOT_SERVER + DSERR_MAXIMUM_LOGINS_EXCEEDED, "
    "DSERR_Q_NOT_ACTIVE + DSERR_PASSWORD_TOO_SHORT, DSERR_Q_IN_SERVICE + DSERR_DUPLICATE_PASSWORD, "
    "DSERR_NO_Q_JOB_RIGHTS + DSERR_UNENCRYPTED_NOT_ALLOWED, DSERR_NO_Q_JOB, DSERR_Q_FULL, "
    "DSERR_NO_Q_RIGHTS, DSERR_NO_Q_SERVER, DSERR_NO_QUEUE, DSERR_Q_IO_FAILURE",
    "-198 to -190: DSERR_NO_CONSOLE_RIGHTS, DSERR_LOGIN_LOCKOUT, DSERR_ACCOUNTING_DISABLED, "
    "DSERR_TOO_MANY_HOLDS, DSERR_CREDIT_LIMIT_EXCEEDED, DSERR_NO_ACCOUNT_BALANCE, "
    "DSERR_NO_ACCOUNTING_PRIVILEGES, DSERR_INVALID_NAME_SPACE, DSERR_INVALID_DATA_STREAM",
    "-1 to 0: DSERR_INSUFFICIENT_SPACE, SUCCESSFUL",
    "64 to 71: NWPSE_NO_AVAILABLE_SPX_CONNECTI, NWPSE_SPX_NOT_INITIALIZED, NWPSE_NO_SUCH_PSERVER, "
    "NWPSE_UNABLE_TO_GET_SERVER_ADDR, NWPSE_UNABLE_TO_CONNECT_TO_SERV, "
    "NWPSE_NO_AVAILABLE_IPX_SOCKETS, NWPSE_ALREADY_ATTACH_TO_A_PRINT, NWPSE_IPX_NOT_INITIALIZED",
    "237: NWPSE_CONNECTION_TERMINATED",
    "1024 to 1026: NWPSE_UNABLE_TO_VERIFY_IDENTITY, NWPSE_NOT_REMOTE_PRINTER, "
    "NWPSE_UNAUTHORIZED_PRINTER",
    "30560 to 30564: NWPSE_END_OF_LIST, NWPSE_NO_SUCH_LIST_ENTRY, NWPSE_END_OF_ATTR_LIST, "
    "NWPSE_WRONG_CLASS_LIST_ENTRY, NWPSE_NO_SUCH_PRINT_SERVER",
    "30640 to 30643: NWPSE_UNABLE_TO_GET_SOCKET_RTAG, NWPSE_DUPLICATE_THREAD_REG, "
    "NWPSE_UNREGISTERED_THREAD, NWPSE_UNREGISTERED_NLM",
    "35046: NWE_REPLY_TRUNCATED",
    "35071: NWE_REQUESTER_FAILURE",
    "35073: NWE_INSUFFICIENT_SPACE",
    "35294 to 35296: NWE_PASSWORD_INVALID, NWE_PASSWORD_EXPIRED, NWE_LOGIN_NO_CONN_AVAIL",
    "35303 to 35327: NWE_E_NO_MORE_USERS, NWE_BIND_NOT_ITEM_PROP, NWE_BIND_MEMBER_ALREADY_EXISTS, "
    "NWE_BIND_NO_SUCH_MEMBER, NWE_BIND_NOT_GROUP_PROP, NWE_BIND_NO_SUCH_SEGMENT, "
    "NWE_BIND_PROP_ALREADY_EXISTS, NWE_BIND_OBJ_ALREADY_EXISTS, NWE_BIND_NAME_INVALID, "
    "NWE_BIND_WILDCARD_INVALID, NWE_BIND_SECURITY_INVALID, NWE_BIND_OBJ_NO_READ_PRIV, "
    "NWE_BIND_OBJ_NO_RENAME_PRIV, NWE_BIND_OBJ_NO_DELETE_PRIV, NWE_BIND_OBJ_NO_CREATE_PRIV, "
    "NWE_BIND_PROP_NO_DELETE_PRIV, NWE_BIND_PROP_NO_CREATE_PRIV, NWE_BIND_PROP_NO_WRITE_PRIV, "
    "NWE_BIND_PROP_NO_READ_PRIV, NWE_NO_MORE_SERVER_SLOTS, NWE_PARAMETERS_INVALID, "
    "NWE_BIND_NO_SUCH_OBJ, NWE_LOCK_COLLISION, NWE_BIND_LOCKED, NWE_FAILURE",
};

// The code and expected text of every entry of a run.
std::vector<std::pair<int, std::string>> ParseRun(const std::string& run) {
  std::vector<std::pair<int, std::string>> out;
  std::size_t colon = run.find(": ");
  std::string range = run.substr(0, colon);
  int first = std::atoi(range.c_str());
  std::size_t to = range.find(" to ");
  int last = to == std::string::npos ? first : std::atoi(range.c_str() + to + 4);
  std::string rest = run.substr(colon + 2);
  int code = first;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = rest.find(", ", start);
    std::string entry = rest.substr(start, comma == std::string::npos ? comma : comma - start);
    std::string text;
    std::size_t plus = 0;
    while ((plus = entry.find(" + ")) != std::string::npos) {
      text += entry.substr(0, plus) + "\n";
      entry = entry.substr(plus + 3);
    }
    out.emplace_back(code++, text + entry);
    if (comma == std::string::npos) break;
    start = comma + 2;
  }
  EXPECT_EQ(code - 1, last) << run;
  return out;
}

TEST(NwErrorNames, SampleRunsMatchTheTable) {
  int checked = 0;
  for (const char* run : kSampleRuns) {
    for (const auto& [code, text] : ParseRun(run)) {
      EXPECT_EQ(NwErrorName(code), text) << "code " << code;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 79);  // every entry of the sample was parsed
}

TEST(NwErrorNames, CodesWithSeveralNamesKeepTheirOrder) {
  EXPECT_EQ(NwErrorName(-150), "ERR_INSUFFICIENT_MEMORY\nDSERR_NO_ALLOC_SPACE\nDSERR_TARGET_NOT_A_SUBDIR");
  const std::string longest = NwErrorName(-255);
  EXPECT_EQ(longest.size(), 295u);
  EXPECT_EQ(longest.substr(0, 19), "DSERR_HARD_FAILURE\n");
  EXPECT_EQ(longest.substr(longest.size() - 17), "\nERR_OF_SOME_SORT");
  EXPECT_EQ(NwErrorName(-156), "DSERR_INVALID_PATH\nDSERR_NO_SUCH_EXTENSION");
  EXPECT_EQ(NwErrorName(-251), "DSERR_UNKNOWN_REQUEST\nDSERR_NO_SUCH_PROPERTY\nERR_REQUEST_UNKNOWN");
}

TEST(NwErrorNames, KnownCodesAcrossTheFamilies) {
  const std::pair<int, const char*> cases[] = {
      {0, "SUCCESSFUL"},
      {35323, "NWE_PARAMETERS_INVALID"},
      {34816, "NWE_ALREADY_ATTACHED"},
      {30562, "NWPSE_END_OF_ATTR_LIST"},
      {-252, "DSERR_NO_SUCH_OBJECT"},
      {-717, "ERR_CRC_FAILURE"},
      {-601, "ERR_NO_SUCH_ENTRY"},
      {-301, "ERR_NOT_ENOUGH_MEMORY"},
      {773, "NWPSE_CANT_DETACH_PRIMARY_SERVE"},
      {35327, "NWE_FAILURE"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(NwErrorName(code), name) << code;
}

TEST(NwErrorNames, UnknownCodesAsNumbers) {
  const std::pair<int, const char*> cases[] = {
      {-2000, "-2000"}, {72, "0x0048"},  {65536, "0x10000"}, {-600, "-600"},
      {1, "0x0001"},    {-2147483647 - 1, "-2147483648"},    {2147483647, "0x7FFFFFFF"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(NwErrorName(code), text) << code;
}

TEST(NwErrorNames, TableShape) {
  ASSERT_EQ(kNwErrorTableSize, 573u);
  std::size_t several = 0;
  for (std::size_t i = 0; i < kNwErrorTableSize; ++i) {
    if (i > 0) {
      EXPECT_LT(kNwErrorTable[i - 1].code, kNwErrorTable[i].code);
    }
    std::istringstream names(kNwErrorTable[i].names);
    std::string name;
    int count = 0;
    while (std::getline(names, name)) {
      EXPECT_LE(name.size(), 31u) << name;
      ++count;
    }
    if (count > 1) ++several;
  }
  EXPECT_EQ(several, 11u);
}

}  // namespace
}  // namespace netware
