#include "device_client/core/scan_cache/scan_cache.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"
#include "platform/test_support/writer_child.h"

namespace {

using scan_cache::ScanCacheRecord;

void CopyText(char* field, const std::string& text, std::size_t width = 20) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

ScanCacheRecord MakeRecord(const std::string& name, std::int32_t protocol, int seed) {
  ScanCacheRecord r{};
  CopyText(r.szDefaultName, name);
  r.iProtocol = protocol;
  CopyText(reinterpret_cast<char*>(r.address), "192.168.1." + std::to_string(seed % 250));
  CopyText(r.szLocalAddress, "192.168.1.5");
  for (int i = 0; i < 32; ++i) r.hardwareId[i] = static_cast<std::uint8_t>(seed * 7 + i);
  r.functionId[0] = static_cast<std::uint8_t>(seed);
  r.functionId[1] = static_cast<std::uint8_t>(seed >> 8);
  CopyText(r.szDeviceName, "Device " + std::to_string(seed));
  return r;
}

bool SameRecord(const ScanCacheRecord& a, const ScanCacheRecord& b) {
  std::uint8_t x[scan_cache::kRecordSize], y[scan_cache::kRecordSize];
  scan_cache::EncodeRecord(a, x);
  scan_cache::EncodeRecord(b, y);
  return std::memcmp(x, y, sizeof x) == 0;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Int32Le(std::int32_t v) {
  std::uint32_t u = static_cast<std::uint32_t>(v);
  return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
          static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

class ScanCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::MakeDirectories(platform::DataDirectory())); }
  platform::testing::TempRoot root_;
};

TEST_F(ScanCacheTest, WrittenRecordsReadBackByBothReaders) {
  std::vector<ScanCacheRecord> records;
  records.push_back(MakeRecord("PS-0A1B2C", 2, 1));
  records.push_back(MakeRecord("ABCDEFGHIJKLMNOPQRST", 2, 2));  // exactly 20: no terminator
  records.push_back(MakeRecord("PS-FFFFFF", -7, 300));
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), 3));

  std::vector<std::uint8_t> bytes = ReadBytes(platform::DataDirectory() + "ss_udp.dat");
  ASSERT_EQ(bytes.size(), 4u + 3u * 118u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4), Int32Le(3));
  // Second record: its name fills bytes 0-19, the protocol follows little-endian at 20.
  const std::uint8_t* second = bytes.data() + 4 + 118;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second), 20), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(std::vector<std::uint8_t>(second + 20, second + 24), Int32Le(2));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 98)), "Device 2");

  std::vector<ScanCacheRecord> loaded = scan_cache::LoadScanFile(scan_cache::kUdpFile);
  std::vector<ScanCacheRecord> area(scan_cache::kMaxRecords);
  int count = -1;
  scan_cache::ReadScanFile(scan_cache::kUdpFile, area.data(), &count);
  ASSERT_EQ(loaded.size(), 3u);
  ASSERT_EQ(count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(SameRecord(loaded[i], records[i])) << i;
    EXPECT_TRUE(SameRecord(area[i], records[i])) << i;
  }
}

TEST_F(ScanCacheTest, WriterKeepsToTheFileLimits) {
  struct Case {
    int count;
    std::size_t size;
  };
  std::vector<ScanCacheRecord> many(500);
  for (int i = 0; i < 500; ++i) many[i] = MakeRecord("PS-" + std::to_string(i), 4, i);
  for (const Case& c : std::vector<Case>{{0, 4}, {-3, 4}, {384, 4 + 384 * 118}, {500, 4 + 384 * 118}}) {
    SCOPED_TRACE(c.count);
    ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kNetBiosFile, many.data(), c.count));
    std::vector<std::uint8_t> bytes = ReadBytes(platform::DataDirectory() + "ss_nb.dat");
    ASSERT_EQ(bytes.size(), c.size);
    EXPECT_EQ(scan_cache::LoadScanFile(scan_cache::kNetBiosFile).size(), (c.size - 4) / 118);
  }
  // No temporary files are left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(platform::DataDirectory())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"ss_nb.dat"});
}

TEST_F(ScanCacheTest, DamagedFilesReadAsTheWholeRecordsTheyHold) {
  std::vector<std::uint8_t> record(118);
  scan_cache::EncodeRecord(MakeRecord("PS-0A1B2C", 1, 5), record.data());
  auto file = [&](std::vector<std::uint8_t> head, int records, std::size_t extra = 0) {
    for (int i = 0; i < records; ++i) head.insert(head.end(), record.begin(), record.end());
    head.insert(head.end(), record.begin(), record.begin() + static_cast<long>(extra));
    return head;
  };
  struct Case {
    const char* label;
    std::vector<std::uint8_t> bytes;
    std::size_t expected;
  };
  const std::vector<Case> cases = {
      {"no bytes", {}, 0},
      {"short count", {1, 0, 0}, 0},
      {"count 0", Int32Le(0), 0},
      {"count without records", Int32Le(5), 0},
      {"negative count", file(Int32Le(-1), 2), 0},
      {"most negative count", file(Int32Le(INT_MIN), 1), 0},
      {"last record cut short", file(Int32Le(3), 2, 50), 2},
      {"more records than counted", file(Int32Le(2), 3), 2},
      {"huge count", file(Int32Le(INT_MAX), 1, 117), 1},
      {"more than the limit", file(Int32Le(1000), 400), 384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(platform::DataDirectory() + "ss_ipx.dat", c.bytes);
    std::vector<ScanCacheRecord> loaded = scan_cache::LoadScanFile(scan_cache::kIpxFile);
    EXPECT_EQ(loaded.size(), c.expected);
    for (const ScanCacheRecord& r : loaded) EXPECT_STREQ(r.szDefaultName, "PS-0A1B2C");
    std::vector<ScanCacheRecord> area(scan_cache::kMaxRecords);
    int count = -1;
    scan_cache::ReadScanFile(scan_cache::kIpxFile, area.data(), &count);
    EXPECT_EQ(count, static_cast<int>(c.expected));
    // A reader never changes a file that exists.
    EXPECT_EQ(ReadBytes(platform::DataDirectory() + "ss_ipx.dat"), c.bytes);
    // The parser keeps to a smaller area too.
    EXPECT_EQ(scan_cache::ParseScanFile(c.bytes.data(), c.bytes.size(), area.data(), 1),
              c.expected > 0 ? 1 : 0);
  }
}

TEST_F(ScanCacheTest, AWriterKilledMidWriteLeavesNothingAfterTheNextWrite) {
  const std::string path = platform::DataDirectory() + "ss_nb.dat";
  platform::testing::WriterChild killed(path);
  ASSERT_TRUE(killed.started());
  ASSERT_TRUE(killed.KillNine());
  ASSERT_TRUE(platform::testing::FileExists(killed.temporary()));

  const std::vector<ScanCacheRecord> records = {MakeRecord("NB-1", 4, 1)};
  ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kNetBiosFile, records.data(), 1));
  EXPECT_FALSE(platform::testing::FileExists(killed.temporary()));
  const auto back = scan_cache::LoadScanFile(scan_cache::kNetBiosFile);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_TRUE(SameRecord(back[0], records[0]));
}

TEST_F(ScanCacheTest, MissingFileIsCreatedEmptyAndMissingDirectoryReadsEmpty) {
  EXPECT_TRUE(scan_cache::LoadScanFile(scan_cache::kUdpFile).empty());
  EXPECT_EQ(ReadBytes(platform::DataDirectory() + "ss_udp.dat"), Int32Le(0));
  EXPECT_EQ(scan_cache::VerifyScanFiles(), (std::vector<int>{0, 0, 0, 0}));
  for (const char* name : {"ss_ipx.dat", "ss_udp2.dat", "ss_nb.dat"}) {
    EXPECT_EQ(ReadBytes(platform::DataDirectory() + name), Int32Le(0)) << name;
  }

  platform::testing::TempRoot fresh;  // no data directory at all
  EXPECT_TRUE(scan_cache::LoadScanFile(scan_cache::kUdpFile).empty());
  std::vector<std::string> logs;
  ScanCacheRecord one = MakeRecord("PS-1", 2, 1);
  EXPECT_FALSE(scan_cache::WriteScanFile(scan_cache::kUdpFile, &one, 1,
                                         [&](const std::string& t) { logs.push_back(t); }));
  ASSERT_EQ(logs.size(), 1u);  // the log says that the write failed, not how many were found
  EXPECT_NE(logs[0].find("      ss_udp.dat      write failed\r\n\r\n"), std::string::npos) << logs[0];
  EXPECT_EQ(logs[0].find("devices"), std::string::npos) << logs[0];
  EXPECT_EQ(logs[0].find("PS-1"), std::string::npos) << logs[0];
  struct stat st{};
  EXPECT_NE(stat(platform::DataDirectory().c_str(), &st), 0);  // the writer does not create it
}

TEST_F(ScanCacheTest, EachWriteLogsTimeFileCountAndNamesThreeToALine) {
  platform::FakeClock fake(1765368000000LL + 3723000);
  platform::ScopedClock scoped(&fake);
  std::time_t t = static_cast<std::time_t>(fake.NowMs() / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);

  struct Case {
    std::vector<std::string> names;
    std::string body;
  };
  const std::vector<Case> cases = {
      {{}, "      ss_udp.dat      0 devices\r\n\r\n\r\n"},
      {{"A", "B", "C", "D", "E"},
       "      ss_udp.dat      5 devices\r\nA    B    C    \r\nD    E    \r\n\r\n"},
      {{"ABCDEFGHIJKLMNOPQRST"}, "      ss_udp.dat      1 devices\r\nABCDEFGHIJKLMNOPQRST    \r\n\r\n"},
  };
  for (const Case& c : cases) {
    std::vector<ScanCacheRecord> records;
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      records.push_back(MakeRecord(c.names[i], 2, static_cast<int>(i)));
    }
    std::string logged;
    ASSERT_TRUE(scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(),
                                          static_cast<int>(records.size()),
                                          [&](const std::string& text) { logged += text; }));
    EXPECT_EQ(logged, time + c.body);
  }
}

// Stamps every record with the generation and the count of its file, so that a reader can tell a
// whole file from a mix of two.
std::vector<ScanCacheRecord> Generation(int generation) {
  int count = generation % 2 == 0 ? 7 : 300;
  std::vector<ScanCacheRecord> records;
  for (int i = 0; i < count; ++i) {
    ScanCacheRecord r = MakeRecord("PS-" + std::to_string(i), 2, i);
    std::memcpy(r.hardwareId, &generation, sizeof generation);
    std::memcpy(r.hardwareId + 4, &count, sizeof count);
    records.push_back(r);
  }
  return records;
}

TEST_F(ScanCacheTest, ReaderWithoutTheMutexNeverSeesATornFile) {
  int stop[2], progress[2];
  ASSERT_EQ(pipe2(stop, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(progress, O_CLOEXEC), 0);
  pid_t writer = fork();
  if (writer == 0) {
    close(stop[1]);
    close(progress[0]);
    for (int generation = 0;; ++generation) {
      std::vector<ScanCacheRecord> records = Generation(generation);
      scan_cache::WriteScanFile(scan_cache::kUdpFile, records.data(), static_cast<int>(records.size()));
      if (generation == 1) (void)!write(progress[1], "w", 1);
      pollfd p{stop[0], POLLIN, 0};
      if (poll(&p, 1, 0) != 0) _exit(0);
    }
  }
  close(stop[0]);
  close(progress[1]);
  char c;
  ASSERT_EQ(read(progress[0], &c, 1), 1);  // both sizes have been written at least once

  int torn = 0, generations = 0, last = -1;
  for (int i = 0; i < 400; ++i) {
    std::vector<ScanCacheRecord> records = scan_cache::LoadScanFile(scan_cache::kUdpFile);
    if (records.empty()) {
      ++torn;
      continue;
    }
    int generation, count;
    std::memcpy(&generation, records[0].hardwareId, sizeof generation);
    for (const ScanCacheRecord& r : records) {
      std::memcpy(&count, r.hardwareId + 4, sizeof count);
      int g;
      std::memcpy(&g, r.hardwareId, sizeof g);
      if (g != generation || count != static_cast<int>(records.size())) {
        ++torn;
        break;
      }
    }
    if (generation != last) ++generations;
    last = generation;
  }
  close(stop[1]);
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_GT(generations, 0);
}

TEST_F(ScanCacheTest, SomethingThatIsNotAFileReadsAsNoRecordsWithoutBlocking) {
  // A FIFO under a scan file's name has no writer: an open that waited for one would never return.
  const std::string fifo = platform::DataDirectory() + "ss_udp.dat";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_TRUE(platform::MakeDirectories(platform::DataDirectory() + "ss_nb.dat"));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(30);  // a reader that blocks is killed, so the test fails instead of hanging
    if (!scan_cache::LoadScanFile(scan_cache::kUdpFile).empty()) _exit(1);
    std::vector<ScanCacheRecord> area(scan_cache::kMaxRecords);
    int count = -1;
    scan_cache::ReadScanFile(scan_cache::kUdpFile, area.data(), &count);
    if (count != 0) _exit(2);
    if (!scan_cache::LoadScanFile(scan_cache::kNetBiosFile).empty()) _exit(3);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the reader blocked or crashed";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  struct stat st{};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));  // left as it was
}

}  // namespace
