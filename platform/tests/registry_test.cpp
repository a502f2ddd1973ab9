#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/unprivileged.h"
#include "platform/test_support/files.h"

namespace {

using platform::testing::ReadFile;
using platform::testing::WriteFile;

std::string StoreFile() { return platform::RegistryDirectory() + "/registry.txt"; }

// A key opened or created for the length of a test.
class Key {
 public:
  Key(HKEY parent, const char* sub, bool create = true, REGSAM sam = KEY_ALL_ACCESS) {
    result_ = create ? RegCreateKeyEx(parent, sub, sam, &h_, &disposition_)
                     : RegOpenKeyEx(parent, sub, sam, &h_);
  }
  ~Key() {
    if (h_ != nullptr) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return h_; }
  LONG result() const { return result_; }
  DWORD disposition() const { return disposition_; }

 private:
  HKEY h_ = nullptr;
  LONG result_ = 0;
  DWORD disposition_ = 0;
};

LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD v) {
  return RegSetValueEx(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

std::string QueryBytes(HKEY key, const char* name, DWORD* type = nullptr, LONG* result = nullptr) {
  std::vector<BYTE> buf(4096);
  DWORD size = static_cast<DWORD>(buf.size());
  LONG r = RegQueryValueEx(key, name, type, buf.data(), &size);
  if (result != nullptr) *result = r;
  if (r != ERROR_SUCCESS) return "<" + std::to_string(r) + ">";
  return std::string(reinterpret_cast<char*>(buf.data()), size);
}

std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[300];
    DWORD size = sizeof name;
    LONG r = RegEnumKeyEx(key, i, name, &size);
    if (r != ERROR_SUCCESS) {
      EXPECT_EQ(r, ERROR_NO_MORE_ITEMS);
      break;
    }
    EXPECT_EQ(size, std::strlen(name));
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[300];
    DWORD size = sizeof name;
    LONG r = RegEnumValue(key, i, name, &size, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) {
      EXPECT_EQ(r, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.push_back(name);
  }
  return names;
}

TEST(Registry, CreatesOpensAndClosesKeys) {
  platform::testing::TempRoot root;
  HKEY h = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP", KEY_READ, &h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, nullptr);
  {
    Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP");
    ASSERT_EQ(k.result(), ERROR_SUCCESS);
    EXPECT_EQ(k.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
    Key again(HKEY_LOCAL_MACHINE, "software\\kelmor\\ferrow\\tcpip");
    EXPECT_EQ(again.disposition(), static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    Key self(k.get(), "");  // an empty sub-key names the key itself
    EXPECT_EQ(self.disposition(), static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    Key child(k.get(), "Box1");
    EXPECT_EQ(child.result(), ERROR_SUCCESS);
  }
  Key mid(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor", false, KEY_READ);
  ASSERT_EQ(mid.result(), ERROR_SUCCESS);  // parents were created on the way
  EXPECT_EQ(SubKeys(mid.get()), std::vector<std::string>{"Ferrow"});
  Key other(HKEY_CURRENT_USER, "SOFTWARE\\Kelmor", false);
  EXPECT_EQ(other.result(), ERROR_FILE_NOT_FOUND);  // the two roots are apart

  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST(Registry, SetsQueriesAndDeletesValuesOfEveryType) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\PrintServer\\Ferrow\\IPX\\DeviceCnt");
  ASSERT_EQ(k.result(), ERROR_SUCCESS);
  const BYTE binary[] = {0, 1, 2, 0xff, '\n', '%', ' '};
  ASSERT_EQ(SetDword(k.get(), "DeviceCount", 7), ERROR_SUCCESS);
  ASSERT_EQ(SetString(k.get(), "Address", "10.1.2.3"), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.get(), "HWID", REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.get(), "ServerName", REG_SZ, reinterpret_cast<const BYTE*>("ABC"), 3),
            ERROR_SUCCESS);  // stored as given: no NUL
  ASSERT_EQ(SetString(k.get(), nullptr, "default"), ERROR_SUCCESS);

  DWORD type = 0;
  DWORD dw = 0;
  DWORD size = sizeof dw;
  ASSERT_EQ(RegQueryValueEx(k.get(), "devicecount", &type, reinterpret_cast<BYTE*>(&dw), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(dw, 7u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(QueryBytes(k.get(), "ADDRESS", &type), std::string("10.1.2.3", 9));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(QueryBytes(k.get(), "HWID", &type), std::string(reinterpret_cast<const char*>(binary), 7));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(QueryBytes(k.get(), "ServerName"), "ABC");
  EXPECT_EQ(QueryBytes(k.get(), ""), std::string("default", 8));

  // Size only, and a room too small: ERROR_MORE_DATA with the size needed, data untouched.
  size = 0;
  EXPECT_EQ(RegQueryValueEx(k.get(), "Address", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u);
  char small[4] = {'x', 'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueEx(k.get(), "Address", &type, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(std::string(small, 4), "xxxx");

  // Replacing keeps the value's place and the case it was created with.
  ASSERT_EQ(SetString(k.get(), "address", "10.9.9.9"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k.get()),
            (std::vector<std::string>{"DeviceCount", "Address", "HWID", "ServerName", ""}));
  EXPECT_EQ(QueryBytes(k.get(), "Address"), std::string("10.9.9.9", 9));

  EXPECT_EQ(RegDeleteValue(k.get(), "HWid"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(k.get(), "HWID"), ERROR_FILE_NOT_FOUND);
  LONG r = 0;
  QueryBytes(k.get(), "HWID", nullptr, &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);

  // Everything survives in the store file: a fresh handle reads it back.
  Key reopened(HKEY_LOCAL_MACHINE, "software\\printserver\\ferrow\\ipx\\devicecnt", false, KEY_READ);
  EXPECT_EQ(QueryBytes(reopened.get(), "Address"), std::string("10.9.9.9", 9));
}

TEST(Registry, SeveralValuesAreReadAtOnceOrNotAtAll) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ports\\P1");
  ASSERT_EQ(k.result(), ERROR_SUCCESS);
  ASSERT_EQ(SetString(k.get(), "Name", "BOX1"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(k.get(), "Port", 2), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(k.get(), "Empty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  VALENTA values[] = {{"port", 0, 0, 0}, {"Empty", 0, 0, 0}, {"NAME", 0, 0, 0}};
  char buffer[64];
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegQueryMultipleValues(k.get(), values, 3, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(values[0].ve_type, REG_DWORD);
  EXPECT_EQ(values[0].ve_valuelen, 4u);
  DWORD port = 0;
  std::memcpy(&port, reinterpret_cast<const void*>(values[0].ve_valueptr), sizeof port);
  EXPECT_EQ(port, 2u);
  EXPECT_EQ(values[1].ve_type, REG_BINARY);
  EXPECT_EQ(values[1].ve_valuelen, 0u);
  EXPECT_EQ(values[2].ve_type, REG_SZ);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(values[2].ve_valueptr), values[2].ve_valuelen),
            std::string("BOX1", 5));
  EXPECT_EQ(values[2].ve_valueptr, reinterpret_cast<std::uintptr_t>(buffer + 4));

  // Too little room: the room needed, nothing written. A missing value: nothing at all.
  char small[8];
  std::memset(small, 'x', sizeof small);
  size = sizeof small;
  EXPECT_EQ(RegQueryMultipleValues(k.get(), values, 3, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(std::string(small, sizeof small), std::string(8, 'x'));
  VALENTA withMissing[] = {{"Name", 7, 7, 7}, {"Gone", 7, 7, 7}};
  size = sizeof buffer;
  EXPECT_EQ(RegQueryMultipleValues(k.get(), withMissing, 2, buffer, &size), ERROR_CANTREAD);
  EXPECT_EQ(withMissing[0].ve_valuelen, 7u);

  // Rights and arguments as for one value.
  Key setOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ports\\P1", false, KEY_SET_VALUE);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryMultipleValues(setOnly.get(), values, 3, buffer, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegQueryMultipleValues(k.get(), values, 0, buffer, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryMultipleValues(k.get(), values, 3, buffer, nullptr), ERROR_INVALID_PARAMETER);
  const std::string longName(300, 'n');
  VALENTA tooLong[] = {{longName.c_str(), 0, 0, 0}};
  EXPECT_EQ(RegQueryMultipleValues(k.get(), tooLong, 1, buffer, &size), ERROR_INVALID_PARAMETER);
}

// Reading a root that has no store yet finds nothing and leaves the root as it was.
TEST(Registry, ReadingARootWithoutAStoreMakesNothing) {
  platform::testing::TempRoot root;
  const std::string folder = root.path() + "/registry";
  ::rmdir(folder.c_str());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(HKEY_LOCAL_MACHINE, "Anything", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  struct stat st {};
  EXPECT_NE(::stat(folder.c_str(), &st), 0);
  Key created(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor");
  EXPECT_EQ(created.result(), ERROR_SUCCESS);
  EXPECT_EQ(::stat(folder.c_str(), &st), 0);
}

TEST(Registry, EnumeratesInCreationOrderAndReportsTheRoomNeeded) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP");
  for (const char* name : {"zeta", "Alpha", "mid", "BETA"}) {
    Key child(k.get(), name);
    ASSERT_EQ(SetString(child.get(), "Address", name), ERROR_SUCCESS);
    ASSERT_EQ(SetString(k.get(), name, name), ERROR_SUCCESS);
  }
  EXPECT_EQ(SubKeys(k.get()), (std::vector<std::string>{"zeta", "Alpha", "mid", "BETA"}));
  EXPECT_EQ(ValueNames(k.get()), (std::vector<std::string>{"zeta", "Alpha", "mid", "BETA"}));

  char name[5];
  DWORD size = 5;  // "Alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumKeyEx(k.get(), 1, name, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  size = 5;
  EXPECT_EQ(RegEnumKeyEx(k.get(), 0, name, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(name, "zeta");

  DWORD type = 0;
  BYTE data[3];
  DWORD dataSize = sizeof data;
  size = sizeof name;
  EXPECT_EQ(RegEnumValue(k.get(), 0, name, &size, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 5u);  // "zeta" with its NUL
  EXPECT_EQ(size, 5u);
  char big[16];
  BYTE bigData[16];
  size = sizeof big;
  dataSize = sizeof bigData;
  EXPECT_EQ(RegEnumValue(k.get(), 2, big, &size, &type, bigData, &dataSize), ERROR_SUCCESS);
  EXPECT_STREQ(big, "mid");
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bigData), dataSize), std::string("mid", 4));
  size = sizeof big;
  EXPECT_EQ(RegEnumValue(k.get(), 4, big, &size, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  size = sizeof big;
  EXPECT_EQ(RegEnumKeyEx(k.get(), 4, big, &size), ERROR_NO_MORE_ITEMS);
}

TEST(Registry, DeletesKeysAndHandlesNoticeAVanishedKey) {
  platform::testing::TempRoot root;
  Key list(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP");
  for (const char* name : {"A", "B", "C"}) Key child(list.get(), name);
  Key b(list.get(), "b");
  ASSERT_EQ(SetString(b.get(), "Address", "1.2.3.4"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor"), ERROR_ACCESS_DENIED);  // has subkeys
  EXPECT_EQ(RegDeleteKey(list.get(), "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a root stays
  // Delete the entry at index 1 and read the same index again, as a list walker does.
  char name[64];
  DWORD size = sizeof name;
  ASSERT_EQ(RegEnumKeyEx(list.get(), 1, name, &size), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKey(list.get(), name), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(list.get()), (std::vector<std::string>{"A", "C"}));

  LONG r = 0;
  QueryBytes(b.get(), "Address", nullptr, &r);
  EXPECT_EQ(r, ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(b.get(), "Address", "x"), ERROR_KEY_DELETED);
  size = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(b.get(), 0, name, &size), ERROR_KEY_DELETED);
  HKEY h = nullptr;
  EXPECT_EQ(RegCreateKeyEx(b.get(), "sub", KEY_ALL_ACCESS, &h, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKey(b.get(), ""), ERROR_KEY_DELETED);
  // The handle names a path: once a key of that path exists again it works again.
  Key recreated(list.get(), "B");
  EXPECT_EQ(recreated.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(SetString(b.get(), "Address", "5.6.7.8"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(b.get(), ""), ERROR_SUCCESS);  // "" deletes the handle's own key
}

TEST(Registry, RefusesBadArgumentsAndMissingRights) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test");
  Key ro(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", false, KEY_READ);
  const std::string longName(256, 'n');
  const std::string maxName(255, 'n');
  std::vector<BYTE> tooBig(1024 * 1024 + 1);
  const BYTE three[3] = {1, 2, 3};
  HKEY h = nullptr;
  struct {
    const char* what;
    LONG result;
    LONG expected;
  } const cases[] = {
      {"256-character key name", RegCreateKeyEx(k.get(), longName.c_str(), KEY_ALL_ACCESS, &h, nullptr),
       ERROR_INVALID_PARAMETER},
      {"empty path part", RegCreateKeyEx(k.get(), "a\\\\b", KEY_ALL_ACCESS, &h, nullptr),
       ERROR_INVALID_PARAMETER},
      {"leading backslash", RegOpenKeyEx(k.get(), "\\a", KEY_READ, &h), ERROR_INVALID_PARAMETER},
      {"no result pointer", RegCreateKeyEx(k.get(), "a", KEY_ALL_ACCESS, nullptr, nullptr),
       ERROR_INVALID_PARAMETER},
      {"256-character value name", SetString(k.get(), longName.c_str(), "x"), ERROR_INVALID_PARAMETER},
      {"value over 1 MiB",
       RegSetValueEx(k.get(), "big", REG_BINARY, tooBig.data(), static_cast<DWORD>(tooBig.size())),
       ERROR_INVALID_PARAMETER},
      {"DWORD of 3 bytes", RegSetValueEx(k.get(), "d", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER},
      {"unknown type", RegSetValueEx(k.get(), "t", 7, three, 3), ERROR_INVALID_PARAMETER},
      {"null data with a size", RegSetValueEx(k.get(), "t", REG_BINARY, nullptr, 3),
       ERROR_INVALID_PARAMETER},
      {"set through a read-only handle", SetString(ro.get(), "v", "x"), ERROR_ACCESS_DENIED},
      {"create below a read-only handle", RegCreateKeyEx(ro.get(), "new", KEY_ALL_ACCESS, &h, nullptr),
       ERROR_ACCESS_DENIED},
      {"garbage handle", SetString(reinterpret_cast<HKEY>(&h), "v", "x"), ERROR_INVALID_HANDLE},
      {"null handle", RegOpenKeyEx(nullptr, "a", KEY_READ, &h), ERROR_INVALID_HANDLE},
      {"query without size", RegQueryValueEx(k.get(), "v", nullptr, tooBig.data(), nullptr),
       ERROR_INVALID_PARAMETER},
      {"delete key null name", RegDeleteKey(k.get(), nullptr), ERROR_INVALID_PARAMETER},
      // The largest names and values are taken.
      {"255-character names", SetString(Key(k.get(), maxName.c_str()).get(), maxName.c_str(), "x"),
       ERROR_SUCCESS},
      {"1 MiB value",
       RegSetValueEx(k.get(), "big", REG_BINARY, tooBig.data(), static_cast<DWORD>(tooBig.size() - 1)),
       ERROR_SUCCESS},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  EXPECT_EQ(ValueNames(k.get()), (std::vector<std::string>{"big"}));
  EXPECT_EQ(SubKeys(k.get()), std::vector<std::string>{maxName});
}

TEST(Registry, OddBytesInNamesAndDataSurviveTheStoreFile) {
  platform::testing::TempRoot root;
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  const std::string oddKey = "key with spaces % and \xc3\xa9 \x01\t";
  const std::string oddValue = "V %41 \\ = \"\xff\x7f";
  {
    Key k(HKEY_CURRENT_USER, ("SOFTWARE\\" + oddKey).c_str());
    ASSERT_EQ(k.result(), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k.get(), oddValue.c_str(), REG_BINARY,
                            reinterpret_cast<const BYTE*>(allBytes.data()), 256),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k.get(), "empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
  }
  Key soft(HKEY_CURRENT_USER, "software", false);
  EXPECT_EQ(SubKeys(soft.get()), std::vector<std::string>{oddKey});
  Key k(soft.get(), oddKey.c_str(), false);
  EXPECT_EQ(ValueNames(k.get()), (std::vector<std::string>{oddValue, "empty"}));
  EXPECT_EQ(QueryBytes(k.get(), oddValue.c_str()), allBytes);
  EXPECT_EQ(QueryBytes(k.get(), "EMPTY"), "");
  // Every line of the file is printable text.
  for (char c : ReadFile(StoreFile())) {
    EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << static_cast<int>(c);
  }
}

TEST(Registry, ReadsAStoreFileWrittenByHand) {
  platform::testing::TempRoot root;
  WriteFile(StoreFile(),
            "PSADMIN-REGISTRY 1\n"
            "K HKEY_LOCAL_MACHINE\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmor\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmor\\Ferrow\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmor\\Ferrow\\TCPIP\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmor\\Ferrow\\TCPIP\\BOX1\n"
            "V 1 Address 10.0.0.1%00\n"
            "K HKEY_LOCAL_MACHINE\\SOFTWARE\\PrintServer\n"
            "K HKEY_CURRENT_USER\n"
            "V 4 count %07%00%00%00\n"
            "V 3  %00%FF%25%20\n"
            "E 11 2096b96aa74f3d6f\n");
  Key box(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP\\box1", false, KEY_READ);
  ASSERT_EQ(box.result(), ERROR_SUCCESS);
  EXPECT_EQ(QueryBytes(box.get(), "Address"), std::string("10.0.0.1", 9));
  DWORD type = 0;
  EXPECT_EQ(QueryBytes(HKEY_CURRENT_USER, "count", &type), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(QueryBytes(HKEY_CURRENT_USER, nullptr, &type), std::string("\0\xff% ", 4));
  EXPECT_EQ(type, REG_BINARY);
  Key software(HKEY_LOCAL_MACHINE, "SOFTWARE", false, KEY_READ);
  EXPECT_EQ(SubKeys(software.get()), (std::vector<std::string>{"Kelmor", "PrintServer"}));
}

TEST(Registry, EveryReadSeesTheFileAsItIsNowEvenWhenOnlyOneByteChanged) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP\\BOX1");
  ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.1"), ERROR_SUCCESS);
  const std::string first = ReadFile(StoreFile());
  ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.2"), ERROR_SUCCESS);
  const std::string second = ReadFile(StoreFile());
  ASSERT_EQ(first.size(), second.size());
  std::string damaged = second;
  damaged[second.find("10.0.0.2")] = '9';
  // Rewritten in place, with the same size and at once: each read answers for the bytes now there.
  const std::pair<const std::string*, const char*> rounds[] = {
      {&second, "10.0.0.2"}, {&first, "10.0.0.1"}, {&second, "10.0.0.2"}, {&damaged, nullptr}, {&first, "10.0.0.1"}};
  for (const auto& [bytes, expected] : rounds) {
    WriteFile(StoreFile(), *bytes);
    if (expected == nullptr) {
      DWORD size = 0;
      EXPECT_EQ(RegQueryValueEx(k.get(), "Address", nullptr, nullptr, &size), ERROR_BADDB);
    } else {
      EXPECT_EQ(QueryBytes(k.get(), "Address"), std::string(expected, std::strlen(expected) + 1));
    }
  }
}

TEST(Registry, ADamagedStoreAnswersBadDbAndIsNeverOverwritten) {
  std::string good;
  {
    platform::testing::TempRoot root;
    Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Ferrow\\TCPIP\\BOX1");
    SetString(k.get(), "Address", "10.0.0.1");
    good = ReadFile(StoreFile());
  }
  ASSERT_FALSE(good.empty());
  std::string flipped = good;
  flipped[good.find("10.0.0.1")] = '9';
  const std::pair<const char*, std::string> damages[] = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"end line missing", good.substr(0, good.rfind("E "))},
      {"one byte changed", flipped},
      {"empty file", ""},
      {"garbage", std::string("\x00\xff garbage\n", 11)},
      {"wrong header", "PSADMIN-REGISTRY 9" + good.substr(good.find('\n'))},
      {"line appended", good + "K HKEY_LOCAL_MACHINE\\x\n"},
  };
  for (const auto& [what, bytes] : damages) {
    platform::testing::TempRoot root;
    WriteFile(StoreFile(), bytes);
    HKEY h = nullptr;
    DWORD size = 16;
    char name[16];
    BYTE data[16];
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &h), ERROR_BADDB) << what;
    EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "NEW", KEY_ALL_ACCESS, &h, nullptr), ERROR_BADDB)
        << what;
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "v", "x"), ERROR_BADDB) << what;
    EXPECT_EQ(RegQueryValueEx(HKEY_LOCAL_MACHINE, "v", nullptr, data, &size), ERROR_BADDB) << what;
    EXPECT_EQ(RegEnumKeyEx(HKEY_LOCAL_MACHINE, 0, name, &size), ERROR_BADDB) << what;
    EXPECT_EQ(RegEnumValue(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr), ERROR_BADDB)
        << what;
    EXPECT_EQ(RegDeleteValue(HKEY_LOCAL_MACHINE, "v"), ERROR_BADDB) << what;
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_BADDB) << what;
    EXPECT_EQ(ReadFile(StoreFile()), bytes) << what;
  }
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
  platform::testing::TempRoot root;
  constexpr int kPerProcess = 200;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    if (children[c] == 0) {
      HKEY k = nullptr;
      if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", KEY_ALL_ACCESS, &k, nullptr) !=
          ERROR_SUCCESS) {
        _exit(1);
      }
      for (int i = 0; i < kPerProcess; ++i) {
        std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
        if (SetString(k, name.c_str(), name) != ERROR_SUCCESS) _exit(2);
      }
      RegCloseKey(k);
      _exit(0);
    }
  }
  // Meanwhile this process reads: every read sees a whole store, never a damaged one.
  int running = 2;
  int badReads = 0;
  while (running > 0) {
    HKEY h = nullptr;
    LONG r = RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", KEY_READ, &h);
    if (r == ERROR_SUCCESS) {
      char name[32];
      DWORD size = sizeof name;
      r = RegEnumValue(h, 0, name, &size, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) r = ERROR_SUCCESS;
      RegCloseKey(h);
    }
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) ++badReads;
    for (pid_t& pid : children) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        pid = 0;
        --running;
      }
    }
  }
  EXPECT_EQ(badReads, 0);
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", false);
  ASSERT_EQ(k.result(), ERROR_SUCCESS);
  std::vector<std::string> names = ValueNames(k.get());
  EXPECT_EQ(names.size(), 2u * kPerProcess);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kPerProcess; ++i) {
      std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
      EXPECT_EQ(QueryBytes(k.get(), name.c_str()), std::string(name.c_str(), name.size() + 1));
    }
  }
}

TEST(Registry, AKilledProcessLeavesNoStaleLock) {
  platform::testing::TempRoot root;
  const std::string lockPath = platform::RegistryDirectory() + "/registry.lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    char c = 'L';
    if (write(ready[1], &c, 1) != 1) _exit(2);
    for (;;) pause();  // holds the lock until killed
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);  // the child holds the lock now
  close(ready[0]);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\AfterKill");
  EXPECT_EQ(k.result(), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(k.get(), "v", 1), ERROR_SUCCESS);
}

TEST(Registry, AReadOnlyRootGivesWriteFaultAndKeepsTheStore) {
  platform::testing::TempRoot root;
  {
    Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor");
    ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.1"), ERROR_SUCCESS);
  }
  const std::string before = ReadFile(StoreFile());
  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(platform::RegistryDirectory().c_str(), 0555), 0);
  int rc = platform::testing::RunUnprivileged([] {
    HKEY k = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor", KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return 1;
    if (QueryBytes(k, "Address") != std::string("10.0.0.1", 9)) return 2;
    if (SetString(k, "Address", "10.0.0.2") != ERROR_WRITE_FAULT) return 3;
    if (RegDeleteValue(k, "Address") != ERROR_WRITE_FAULT) return 4;
    HKEY sub = nullptr;
    if (RegCreateKeyEx(k, "New", KEY_ALL_ACCESS, &sub, nullptr) != ERROR_WRITE_FAULT) return 5;
    if (RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor") != ERROR_WRITE_FAULT) return 6;
    // Opening what exists needs no write.
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &sub, nullptr) != ERROR_SUCCESS) return 7;
    RegCloseKey(sub);
    RegCloseKey(k);
    return 0;
  });
  chmod(platform::RegistryDirectory().c_str(), 0755);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(StoreFile()), before);
}

// A store file of hand-made lines: the header, `body` (each line with its LF) and the end line
// with the count of `body`'s lines and the FNV-1a 64 hash of everything before it.
std::string StoreText(const std::string& body) {
  const std::string text = "PSADMIN-REGISTRY 1\n" + body;
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  char end[64];
  std::snprintf(end, sizeof end, "E %zu %016llx\n", static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n')),
                static_cast<unsigned long long>(h));
  return text + end;
}

// The lines of `count` keys under SOFTWARE\Many with a value each, then as many values in
// HKEY_CURRENT_USER (the names run Box000000..., v000000...).
std::string ManySiblings(int count) {
  std::string body = "K HKEY_LOCAL_MACHINE\nK HKEY_LOCAL_MACHINE\\SOFTWARE\nK HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\n";
  char line[96];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Box%06d\nV 1 Name PS%06d%%00\n", i, i);
    body += line;
  }
  std::snprintf(line, sizeof line, "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Box%06d\\Deep\n", count - 1);
  body += line;
  body += "K HKEY_CURRENT_USER\n";
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "V 4 v%06d %%07%%00%%00%%00\n", i);
    body += line;
  }
  return body;
}

// A store with sixty thousand keys under one parent and as many values in one key loads whole:
// every key and value is there, in order, as a rewrite of the store shows. (Read sibling by
// sibling, such a store took minutes.)
TEST(Registry, AStoreOfManySiblingsLoadsWithEveryKeyAndValue) {
  platform::testing::TempRoot root;
  constexpr int kCount = 60000;
  const std::string body = ManySiblings(kCount);
  WriteFile(StoreFile(), StoreText(body));

  Key many(HKEY_LOCAL_MACHINE, "SOFTWARE\\Many", false, KEY_READ);
  ASSERT_EQ(many.result(), ERROR_SUCCESS);
  for (int i : {0, 1, kCount / 2, kCount - 2, kCount - 1}) {
    char path[64];
    std::snprintf(path, sizeof path, "SOFTWARE\\Many\\BOX%06d", i);
    Key box(HKEY_LOCAL_MACHINE, path, false, KEY_READ);
    ASSERT_EQ(box.result(), ERROR_SUCCESS) << path;
    char expected[16];
    std::snprintf(expected, sizeof expected, "PS%06d", i);
    EXPECT_EQ(QueryBytes(box.get(), "Name"), std::string(expected, 9));
    char name[32];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumKeyEx(many.get(), static_cast<DWORD>(i), name, &size), ERROR_SUCCESS);
    std::snprintf(expected, sizeof expected, "Box%06d", i);  // as the store spells it
    EXPECT_EQ(std::string(name), expected);
  }
  char deepPath[64];
  std::snprintf(deepPath, sizeof deepPath, "SOFTWARE\\Many\\Box%06d\\Deep", kCount - 1);
  Key deep(HKEY_LOCAL_MACHINE, deepPath, false, KEY_READ);
  EXPECT_EQ(deep.result(), ERROR_SUCCESS);
  char last[16];
  std::snprintf(last, sizeof last, "V%06d", kCount - 1);
  EXPECT_EQ(QueryBytes(HKEY_CURRENT_USER, last), std::string("\x07\0\0\0", 4));

  // One change writes the store again from what was read: everything comes back, in order.
  ASSERT_EQ(SetString(HKEY_CURRENT_USER, "added", "x"), ERROR_SUCCESS);
  const std::string rewritten = ReadFile(StoreFile());
  EXPECT_TRUE(rewritten.substr(0, rewritten.rfind("E ")) == "PSADMIN-REGISTRY 1\n" + body + "V 1 added x%00\n");
}

// A name that comes again, in another case and far from its first line, still makes the store
// damaged, also when its key is named a second time in between.
TEST(Registry, ANameThatComesAgainFarFromItsFirstLineIsDamage) {
  platform::testing::TempRoot root;
  const std::string body = ManySiblings(1000);
  const std::pair<const char*, std::string> repeated[] = {
      {"a key again", body + "K HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\BOX000000\n"},
      {"a value again", body + "V 4 V000000 %07%00%00%00\n"},
      {"a value again after its key again", body + "K HKEY_CURRENT_USER\nV 4 V000001 %07%00%00%00\n"},
      {"none again", body + "K HKEY_CURRENT_USER\nV 4 extra %07%00%00%00\n"},
  };
  for (const auto& [what, text] : repeated) {
    WriteFile(StoreFile(), StoreText(text));
    HKEY h = nullptr;
    const LONG r = RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &h);
    EXPECT_EQ(r, std::string(what) == "none again" ? ERROR_SUCCESS : ERROR_BADDB) << what;
    if (r == ERROR_SUCCESS) RegCloseKey(h);
  }
}

// A store file its owner made read-only is left as it is, whoever changes it (root too), and the
// result says so; reads go on as before.
TEST(Registry, AReadOnlyStoreIsNeverRewrittenAndTheResultSaysWhy) {
  platform::testing::TempRoot root;
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor");
  ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.1"), ERROR_SUCCESS);
  const std::string before = ReadFile(StoreFile());
  ASSERT_EQ(chmod(StoreFile().c_str(), 0444), 0);
  EXPECT_EQ(SetString(k.get(), "Address", "10.0.0.2"), ERROR_FILE_READ_ONLY);
  EXPECT_EQ(RegDeleteValue(k.get(), "Address"), ERROR_FILE_READ_ONLY);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyEx(k.get(), "New", KEY_ALL_ACCESS, &sub, nullptr), ERROR_FILE_READ_ONLY);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor"), ERROR_FILE_READ_ONLY);
  // A change that changes nothing needs no write.
  EXPECT_EQ(SetString(k.get(), "Address", "10.0.0.1"), ERROR_SUCCESS);
  EXPECT_EQ(QueryBytes(k.get(), "Address"), std::string("10.0.0.1", 9));
  EXPECT_EQ(ReadFile(StoreFile()), before);
  struct stat st{};
  ASSERT_EQ(stat(StoreFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(platform::RegistryResultText(ERROR_FILE_READ_ONLY),
            "the registry store " + StoreFile() + " is read-only");
  ASSERT_EQ(chmod(StoreFile().c_str(), 0600), 0);
  EXPECT_EQ(SetString(k.get(), "Address", "10.0.0.2"), ERROR_SUCCESS);
}

// A store file that is a symbolic link stays one: the file it leads to gets every change, and is
// replaced in its own folder.
TEST(Registry, ALinkedStoreStaysALinkAndItsTargetGetsTheChanges) {
  platform::testing::TempRoot root;
  const std::string shared = root.path() + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  {
    Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor");
    ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.1"), ERROR_SUCCESS);
  }
  ASSERT_EQ(rename(StoreFile().c_str(), (shared + "/store.txt").c_str()), 0);
  ASSERT_EQ(symlink("../shared/store.txt", StoreFile().c_str()), 0);
  Key k(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor");
  EXPECT_EQ(QueryBytes(k.get(), "Address"), std::string("10.0.0.1", 9));
  ASSERT_EQ(SetString(k.get(), "Address", "10.0.0.2"), ERROR_SUCCESS);
  Key added(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kelmor\\Added");
  ASSERT_EQ(added.result(), ERROR_SUCCESS);
  struct stat st{};
  ASSERT_EQ(lstat(StoreFile().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  const std::string target = ReadFile(shared + "/store.txt");
  EXPECT_NE(target.find("10.0.0.2"), std::string::npos);
  EXPECT_NE(target.find("Kelmor\\Added"), std::string::npos);
  EXPECT_EQ(QueryBytes(k.get(), "Address"), std::string("10.0.0.2", 9));
  ASSERT_EQ(chmod((shared + "/store.txt").c_str(), 0444), 0);
  EXPECT_EQ(SetString(k.get(), "Address", "10.0.0.3"), ERROR_FILE_READ_ONLY);
  EXPECT_EQ(ReadFile(shared + "/store.txt"), target);
}

}  // namespace
