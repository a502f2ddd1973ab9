// The monitor's port list, port records and hand-over import, and its banner page, with the
// monitor linked into the test (its table through the spooler stand-in).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "platform/registry.h"
#include "platform/spooler/spooler.h"
#include "platform/test_support/temp_root.h"
#include "print_monitor/monitor.h"

namespace {

struct RecordingSink : platform::MessageSink {
  std::vector<int> ids;
  std::vector<std::string> texts;
  int answer = platform::IDOK;
  int Show(int id, const std::string& text, UINT) override {
    ids.push_back(id);
    texts.push_back(text);
    return answer;
  }
};

void WriteHandOver(const std::vector<std::string>& records) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\KVX", KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
  const DWORD count = static_cast<DWORD>(records.size());
  RegSetValueEx(key, "TotalPortCnt", REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string name = "PS_" + std::to_string(i);
    RegSetValueEx(key, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(records[i].c_str()),
                  static_cast<DWORD>(records[i].size() + 1));
  }
  RegCloseKey(key);
}

class MonitorPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    brandel::ClearPortListForTesting();  // the list is the process's: no port of an earlier test
    platform::SetMessageSink(&sink_);
    // No LANA is needed for these tests: a private, empty NetBIOS configuration.
    ASSERT_TRUE(spooler_.AttachMonitor("Vardon Print Server", &brandel::InitializeMonitor));
    sink_.ids.clear();
  }
  void TearDown() override {
    platform::SetMessageSink(nullptr);
    brandel::ClearPortListForTesting();
  }
  DWORD ReadDword(const std::string& port, const char* value) {
    const std::string path = std::string(brandel::kPortsKey) + "\\" + port;
    HKEY key = nullptr;
    DWORD v = 0xFFFFFFFF, size = sizeof v, type = 0;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return v;
    RegQueryValueEx(key, value, &type, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(key);
    return v;
  }

  platform::testing::TempRoot root_;
  RecordingSink sink_;
  platform::spooler::Spooler spooler_;
};

TEST_F(MonitorPorts, MissingPortsKeyEnumeratesNothing) {
  DWORD needed = 77, returned = 77;
  EXPECT_TRUE(spooler_.EnumPorts(1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  DWORD error = 0;
  EXPECT_FALSE(spooler_.EnumPorts(3, nullptr, 0, &needed, &returned, &error));
  EXPECT_EQ(error, ERROR_INVALID_LEVEL);
}

TEST_F(MonitorPorts, HandOverRecordBecomesAPortWithItsSettings) {
  WriteHandOver({"PS1_P1,PS123456,0,0,1", "PS1_P2 PS123456 1 2 17"});
  DWORD error = 0;
  ASSERT_TRUE(spooler_.AddPort(&error)) << error;
  EXPECT_EQ(ReadDword("PS1_P1", "Port"), 0u);
  EXPECT_EQ(ReadDword("PS1_P1", "BoxType"), 1u);
  EXPECT_EQ(ReadDword("PS1_P1", "RegiRetry"), 50u);
  EXPECT_EQ(ReadDword("PS1_P1", "Banner Page"), 0u);
  EXPECT_EQ(ReadDword("PS1_P2", "LanaNum"), 2u);
  EXPECT_EQ(ReadDword("PS1_P2", "BoxType"), 17u);
  brandel::PortRegistryData record;
  ASSERT_TRUE(brandel::LoadPortSettings(nullptr, "PS1_P1", record));
  EXPECT_STREQ(record.szDeviceName, "PS123456");
  EXPECT_STREQ(record.szUserName, "");
  EXPECT_EQ(spooler_.PortNames(), (std::vector<std::string>{"PS1_P1", "PS1_P2"}));
  // A record left behind is imported again: the port exists, so 502 and FALSE.
  EXPECT_FALSE(spooler_.AddPort(&error));
  EXPECT_EQ(sink_.ids.back(), 502);
}

TEST_F(MonitorPorts, BadHandOverTokensAreRefused) {
  const char* bad[] = {
      "BAD\\NAME,PS1,0,0,1",       // '\' would make a key path
      "P1,PS1,x,0,1",              // port index not a number
      "P1,PS1,0,0",                // BoxType missing
      "P1,PS1,0,999,1",            // no such LANA
      "P1,ABCDEFGHIJKLMNOPQ,0,0,1",  // a device name longer than a NetBIOS name
      "LPT1,PS1,0,0,1",            // a device port name
  };
  for (const char* record : bad) {
    WriteHandOver({record});
    DWORD error = 0;
    EXPECT_FALSE(spooler_.AddPort(&error)) << record;
    EXPECT_TRUE(spooler_.PortNames().empty()) << record;
  }
  EXPECT_EQ(brandel::CreatePortEntry("A,B", "x"), nullptr);
  EXPECT_EQ(brandel::CreatePortEntry("A\\B", "x"), nullptr);
}

// A hand-over key without a usable count or record makes no port: AddPort fails and says so
// instead of reporting a port that was never made.
TEST_F(MonitorPorts, HandOverWithoutUsableCountOrRecordFails) {
  struct Value {
    const char* name;
    DWORD type;
    std::string text;  // REG_SZ
    DWORD number;      // REG_DWORD
  };
  const struct {
    const char* label;
    std::vector<Value> values;
  } cases[] = {
      {"no count", {{"PS_0", REG_SZ, "PS1_P1,PS1,0,0,1", 0}}},
      {"count 0", {{"TotalPortCnt", REG_DWORD, "", 0}, {"PS_0", REG_SZ, "PS1_P1,PS1,0,0,1", 0}}},
      {"count as text", {{"TotalPortCnt", REG_SZ, "1", 0}, {"PS_0", REG_SZ, "PS1_P1,PS1,0,0,1", 0}}},
      {"no record", {{"TotalPortCnt", REG_DWORD, "", 1}}},
      {"record as number", {{"TotalPortCnt", REG_DWORD, "", 1}, {"PS_0", REG_DWORD, "", 7}}},
      {"empty record", {{"TotalPortCnt", REG_DWORD, "", 1}, {"PS_0", REG_SZ, " , ", 0}}},
      {"second record missing", {{"TotalPortCnt", REG_DWORD, "", 2}, {"PS_0", REG_SZ, "PS2_P1,PS2,0,0,1", 0}}},
  };
  for (const auto& c : cases) {
    RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\KVX");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\KVX", KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    for (const Value& v : c.values) {
      if (v.type == REG_SZ)
        RegSetValueEx(key, v.name, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()), static_cast<DWORD>(v.text.size() + 1));
      else
        RegSetValueEx(key, v.name, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number), sizeof v.number);
    }
    RegCloseKey(key);
    DWORD error = 0;
    EXPECT_FALSE(spooler_.AddPort(&error)) << c.label;
    EXPECT_EQ(error, ERROR_INVALID_DATA) << c.label;
  }
  // Only the last case's first record made a port; nothing else did.
  EXPECT_EQ(spooler_.PortNames(), std::vector<std::string>{"PS2_P1"});
}

TEST_F(MonitorPorts, EnumPortsSizesAndTooSmallBuffer) {
  WriteHandOver({"PS1_P1,PS123456,0,0,1", "LPTN:PS9,PS9,2,0,1"});
  ASSERT_TRUE(spooler_.AddPort());
  const std::string description = "Vardon Print Server";
  const std::size_t level1 = 2 * sizeof(PORT_INFO_1A) + (6 + 1) + (8 + 1);
  const std::size_t level2 = 2 * sizeof(PORT_INFO_2A) + (6 + 1) + (8 + 1) + 2 * (description.size() + 1) +
                             2 * (std::strlen("Local Port") + 1);
  for (DWORD level : {1u, 2u}) {
    const std::size_t expected = level == 1 ? level1 : level2;
    DWORD needed = 0, returned = 0, error = 0;
    std::vector<BYTE> buffer(expected + 16, 0xEE);
    EXPECT_FALSE(spooler_.EnumPorts(level, buffer.data(), static_cast<DWORD>(expected - 1), &needed, &returned, &error));
    EXPECT_EQ(error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, expected);
    ASSERT_TRUE(spooler_.EnumPorts(level, buffer.data(), needed, &needed, &returned, &error));
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(buffer[expected], 0xEE);  // nothing beyond the size given
    const char* lo = reinterpret_cast<const char*>(buffer.data());
    const char* hi = lo + expected;
    for (DWORD i = 0; i < returned; ++i) {
      if (level == 1) {
        PORT_INFO_1A info;
        std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
        EXPECT_TRUE(info.pName >= lo && info.pName + std::strlen(info.pName) < hi);
      } else {
        PORT_INFO_2A info;
        std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
        for (const char* s : {info.pPortName, info.pMonitorName, info.pDescription})
          EXPECT_TRUE(s >= lo && s + std::strlen(s) < hi);
        EXPECT_STREQ(info.pMonitorName, "Local Port");
        EXPECT_EQ(info.pDescription, description);
        EXPECT_EQ(info.fPortType, 1u);
      }
    }
  }
}

TEST_F(MonitorPorts, OpenFindsTheColonVariantAndDeleteRemovesKey) {
  WriteHandOver({"PS1_P1,PS1,0,0,1", "PS2_P1:,PS2,0,0,1"});
  ASSERT_TRUE(spooler_.AddPort());
  MONITOR t = spooler_.table();
  HANDLE h = nullptr;
  char withColon[] = "PS1_P1:";
  ASSERT_TRUE(t.pfnOpenPort(withColon, &h));
  EXPECT_EQ(static_cast<brandel::PortEntry*>(h)->pszName, "PS1_P1");
  char without[] = "ps2_p1";
  ASSERT_TRUE(t.pfnOpenPort(without, &h));
  EXPECT_EQ(static_cast<brandel::PortEntry*>(h)->pszName, "PS2_P1:");
  char unknown[] = "NOPE";
  EXPECT_FALSE(t.pfnOpenPort(unknown, &h));
  EXPECT_EQ(sink_.ids.back(), 711);
  DWORD error = 0;
  EXPECT_FALSE(spooler_.DeletePort("NOPE", &error));
  EXPECT_EQ(error, ERROR_UNKNOWN_PORT);
  // A port with a job on it stays.
  brandel::PortEntry* busy = static_cast<brandel::PortEntry*>(h);
  busy->bFlags |= brandel::kPortBusy;
  EXPECT_FALSE(spooler_.DeletePort("PS2_P1:", &error));
  EXPECT_EQ(error, ERROR_BUSY);
  busy->bFlags &= ~brandel::kPortBusy;
  ASSERT_TRUE(spooler_.DeletePort("PS1_P1", &error));
  EXPECT_EQ(brandel::IsPortKeyAbsent("PS1_P1"), 1);
  EXPECT_EQ(brandel::IsPortKeyAbsent("PS2_P1:"), 0);
  EXPECT_EQ(spooler_.PortNames(), std::vector<std::string>{"PS2_P1:"});
}

TEST(MonitorNames, DevicePortNamesLocalNamesAndBoxNames) {
  struct Case {
    const char* name;
    int mask;
    bool device;
  } cases[] = {{"lpt1", 1, true},  {"LPT1:", 1, true},  {"LPT2", 1, false}, {"com10", 2, false},
               {"COM3", 2, true},  {"com9:", 2, true},  {"COM3", 1, false}, {"LPT1x", 1, false}};
  for (const Case& c : cases) EXPECT_EQ(brandel::IsDevicePortName(c.name, c.mask), c.device) << c.name;
  char name[17];
  brandel::BuildLocalName("ABCDEFGHIJKLMNO", 0, name);
  EXPECT_EQ(std::string(name, 16), std::string("ABCDEFGHIJKLMN\x01", 15) + '\0');
  brandel::BuildLocalName("ABCDEFGHIJKLMNO", 2, name);
  EXPECT_EQ(name[14], 3);
  brandel::BuildLocalName("HOST", 0, name);
  EXPECT_EQ(std::string(name, 16), std::string("HOST\x01          ", 15) + '\0');
  brandel::FormatDeviceName("PS123456", name);
  EXPECT_EQ(std::string(name, 16), std::string("PS123456\x02\x02\x02\x02\x02\x02\x02\x01"));
}

// A value that is missing or of another type is reported on its own; the others are loaded.
TEST_F(MonitorPorts, AFaultyValueInTheRecordIsReportedAndTheRestLoaded) {
  WriteHandOver({"PS1_P1,PS123456,3,0,1"});
  ASSERT_TRUE(spooler_.AddPort());
  const std::string path = std::string(brandel::kPortsKey) + "\\PS1_P1";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const char text[] = "2";
  RegSetValueEx(key, "Port", REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegDeleteValue(key, "PostScript");
  RegCloseKey(key);
  brandel::PortRegistryData record;
  record.bPort = 9;
  record.dwPostScript = 7;
  sink_.ids.clear();
  ASSERT_TRUE(brandel::LoadPortSettings(nullptr, "PS1_P1", record));
  EXPECT_EQ(sink_.ids, (std::vector<int>{706, 706}));
  EXPECT_STREQ(record.szDeviceName, "PS123456");
  EXPECT_EQ(record.bPort, 0);  // cleared before the values are read
  EXPECT_EQ(record.dwPostScript, 7u);
  EXPECT_EQ(record.wRegiRetry, 50);
  EXPECT_EQ(record.bBoxType, 1);
}

TEST_F(MonitorPorts, LongDeviceNameInTheRecordIsReportedAndLeftEmpty) {
  WriteHandOver({"PS1_P1,PS1,0,0,1"});
  ASSERT_TRUE(spooler_.AddPort());
  const std::string path = std::string(brandel::kPortsKey) + "\\PS1_P1";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const char sixteen[] = "ABCDEFGHIJKLMNOP";
  RegSetValueEx(key, "TCP/IP Address", REG_SZ, reinterpret_cast<const BYTE*>(sixteen), sizeof sixteen);
  RegCloseKey(key);
  brandel::PortRegistryData record;
  sink_.ids.clear();
  ASSERT_TRUE(brandel::LoadPortSettings(nullptr, "PS1_P1", record));
  EXPECT_EQ(sink_.ids, std::vector<int>{705});
  EXPECT_STREQ(record.szDeviceName, "");
  // ConfigurePort on a device port only says so.
  EXPECT_TRUE(spooler_.ConfigurePort("COM3"));
  EXPECT_EQ(sink_.ids.back(), 503);
}

// --- Banner page ---

std::string Banner(bool postScript, const char* user) {
  char buffer[brandel::kBannerSize];
  const std::size_t n = brandel::BuildBanner(postScript, user, buffer);
  return std::string(buffer, n);
}

TEST(BannerPage, SizesOfBothKinds) {
  const std::string plain = Banner(false, "ab");
  const std::string ps = Banner(true, "ab");
  EXPECT_EQ(plain.size(), 920u);
  EXPECT_EQ(ps.size(), 1223u);
  EXPECT_EQ(ps.substr(300, 920), plain);
  EXPECT_EQ(ps.substr(0, 26), "%!PS-Adobe %%EndComments\r\n");
  EXPECT_EQ(ps.substr(296, 4), "\r\n\r\n");
  EXPECT_EQ(ps.substr(1220), "\r\n\x04");
  EXPECT_EQ(plain.substr(0, 16), std::string(16, ' ').replace(0, 16, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));
  EXPECT_EQ(plain.substr(16, 80), std::string(80, '*'));
  EXPECT_EQ(plain.substr(918), "\f\r");
}

TEST(BannerPage, LettersAreDrawnWithThemselvesAndCentred) {
  char rows[7 * 82];
  brandel::RenderBannerText("ab", rows);
  // Row 0 of 'A' (7E 11 11 11 7E): columns 1-4 of its glyph have bit 0 set, the first does not.
  const std::string row0(rows, 82);
  EXPECT_EQ(row0[0], '*');
  EXPECT_EQ(row0[79], '*');
  EXPECT_EQ(row0.substr(80), "\r\n");
  EXPECT_EQ(row0.substr(34, 6), "  AAA ");  // first cell at column 34: a blank, then the glyph
  EXPECT_EQ(row0.find_first_not_of(" *"), 36u);
  brandel::RenderBannerText("MMMMMMMMMMMMM", rows);
  const std::string bottom(rows + 6 * 82, 82);
  EXPECT_EQ(bottom[2], 'M');   // first dot column of the first cell
  EXPECT_EQ(bottom[78], 'M');  // last dot column of the last cell
  brandel::RenderBannerText("\xe9\xb0", rows);
  const std::string middle(rows + 3 * 82, 80);
  EXPECT_EQ(middle.find('\xe9'), std::string::npos);  // no glyph: a blank cell
  EXPECT_NE(middle.find('\xb0'), std::string::npos);  // the degree sign has one
  brandel::RenderBannerText("", rows);
  EXPECT_EQ(std::string(rows, 80), "*" + std::string(78, ' ') + "*");
}

}  // namespace
