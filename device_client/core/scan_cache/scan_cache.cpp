#include "device_client/core/scan_cache/scan_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/fd_io.h"
#include "platform/named_objects/named_objects.h"
#include "platform/paths.h"

namespace scan_cache {
namespace {

namespace layout = wire::cache;

std::int32_t GetInt32(const std::uint8_t* p) {
  std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                    (static_cast<std::uint32_t>(p[2]) << 16) |
                    (static_cast<std::uint32_t>(p[3]) << 24);
  return static_cast<std::int32_t>(v);
}

void PutInt32(std::uint8_t* p, std::int32_t value) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

int ClampCount(int count) {
  if (count < 0) return 0;
  return count > kMaxRecords ? kMaxRecords : count;
}

// A plain file name of this directory: not empty, no '/', not "." or "..".
bool IsPlainName(const char* fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return false;
  if (std::strchr(fileName, '/') != nullptr) return false;
  return std::strcmp(fileName, ".") != 0 && std::strcmp(fileName, "..") != 0;
}

// Writes `image` to a new temporary file beside `path` and returns its name ("" on failure).
// Temporary files that killed writers left beside it are removed first.
std::string WriteTemporary(const std::string& path, const std::vector<std::uint8_t>& image) {
  std::string tmpl;
  int fd = platform::fileio::CreateTemporaryBeside(path, &tmpl);
  if (fd < 0) return "";
  bool ok = ::fchmod(fd, 0644) == 0 && platform::WriteAll(fd, image.data(), image.size());
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return "";
  }
  return tmpl;
}

// Puts an empty file (count 0) at `path` unless a file is there already; a file that a writer
// renamed into place meanwhile is never replaced.
void CreateEmptyFile(const std::string& path) {
  std::vector<std::uint8_t> empty(layout::kHeaderSize, 0);
  std::string tmp = WriteTemporary(path, empty);
  if (tmp.empty()) return;
  ::link(tmp.c_str(), path.c_str());  // fails with EEXIST when somebody was first: fine
  ::unlink(tmp.c_str());
}

// Reads at most kMaxFileSize bytes of the file, creating it empty when it is missing.
std::vector<std::uint8_t> ReadImage(const char* fileName) {
  std::vector<std::uint8_t> image;
  if (!IsPlainName(fileName)) return image;
  std::string path = ScanFilePath(fileName);
  // O_NONBLOCK: a FIFO or device planted under the file's name must not hold the open (and, for the
  // scanner, the scan-file mutex) for ever; anything but a regular file reads as no records.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = ::open(path.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) {
    CreateEmptyFile(path);
    fd = ::open(path.c_str(), kFlags);
  }
  if (fd < 0) return image;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return image;
  }
  image.resize(kMaxFileSize);
  std::size_t have = 0;
  while (have < image.size()) {
    ssize_t n = ::read(fd, image.data() + have, image.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  image.resize(have);
  return image;
}

// Holds the scan-file mutex for the life of the object (when it can be had at all: without it the
// atomic replacement still keeps every reader safe).
class ScanFileLock {
 public:
  ScanFileLock() : handle_(CreateMutex(FALSE, kScanFileMutexName)) {
    if (handle_ != nullptr) {
      DWORD w = WaitForSingleObject(handle_, INFINITE);
      owned_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }
  }
  ~ScanFileLock() {
    if (owned_) ReleaseMutex(handle_);
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  ScanFileLock(const ScanFileLock&) = delete;
  ScanFileLock& operator=(const ScanFileLock&) = delete;

 private:
  HANDLE handle_;
  bool owned_ = false;
};

}  // namespace

void EncodeRecord(const ScanCacheRecord& r, std::uint8_t out[kRecordSize]) {
  std::memcpy(out + layout::kDefaultName, r.szDefaultName, 20);
  PutInt32(out + layout::kProtocol, r.iProtocol);
  std::memcpy(out + layout::kAddress, r.address, 20);
  std::memcpy(out + layout::kLocalAddress, r.szLocalAddress, 20);
  std::memcpy(out + layout::kHardwareId, r.hardwareId, 32);
  std::memcpy(out + layout::kFunctionId, r.functionId, 2);
  std::memcpy(out + layout::kDeviceName, r.szDeviceName, 20);
}

ScanCacheRecord DecodeRecord(const std::uint8_t in[kRecordSize]) {
  ScanCacheRecord r{};
  std::memcpy(r.szDefaultName, in + layout::kDefaultName, 20);
  r.iProtocol = GetInt32(in + layout::kProtocol);
  std::memcpy(r.address, in + layout::kAddress, 20);
  std::memcpy(r.szLocalAddress, in + layout::kLocalAddress, 20);
  std::memcpy(r.hardwareId, in + layout::kHardwareId, 32);
  std::memcpy(r.functionId, in + layout::kFunctionId, 2);
  std::memcpy(r.szDeviceName, in + layout::kDeviceName, 20);
  return r;
}

int ParseScanFile(const std::uint8_t* data, std::size_t size, ScanCacheRecord* out, int capacity) {
  if (data == nullptr || out == nullptr || size < static_cast<std::size_t>(layout::kHeaderSize)) {
    return 0;
  }
  std::int32_t announced = GetInt32(data);
  std::size_t present = (size - layout::kHeaderSize) / kRecordSize;
  int count = ClampCount(announced);
  if (capacity < count) count = capacity < 0 ? 0 : capacity;
  if (present < static_cast<std::size_t>(count)) count = static_cast<int>(present);
  for (int i = 0; i < count; ++i) {
    out[i] = DecodeRecord(data + layout::kHeaderSize + static_cast<std::size_t>(i) * kRecordSize);
  }
  return count;
}

std::vector<std::uint8_t> BuildScanFile(const ScanCacheRecord* records, int count) {
  count = records == nullptr ? 0 : ClampCount(count);
  std::vector<std::uint8_t> image(layout::kHeaderSize + static_cast<std::size_t>(count) * kRecordSize);
  PutInt32(image.data(), count);
  for (int i = 0; i < count; ++i) {
    EncodeRecord(records[i], image.data() + layout::kHeaderSize + static_cast<std::size_t>(i) * kRecordSize);
  }
  return image;
}

std::string ScanFilePath(const char* fileName) {
  return platform::DataDirectory() + (fileName != nullptr ? fileName : "");
}

namespace {

// "hh:mm:ss      <file>      " with the local time of the platform clock.
std::string LogHead(const char* fileName) {
  std::tm now = platform::LocalTimeNow();
  char head[96];
  std::snprintf(head, sizeof head, "%02d:%02d:%02d      ", now.tm_hour, now.tm_min, now.tm_sec);
  std::string text = head;
  text += fileName != nullptr ? fileName : "";
  text += "      ";
  return text;
}

}  // namespace

std::string FormatWriteFailedLog(const char* fileName) { return LogHead(fileName) + "write failed\r\n\r\n"; }

std::string FormatWriteLog(const char* fileName, const ScanCacheRecord* records, int count) {
  count = records == nullptr ? 0 : ClampCount(count);
  std::string text = LogHead(fileName) + std::to_string(count) + " devices\r\n";
  for (int i = 0; i < count; ++i) {
    if (i != 0 && i % 3 == 0) text += "\r\n";
    text.append(records[i].szDefaultName, strnlen(records[i].szDefaultName, 20));
    text += "    ";
  }
  text += "\r\n\r\n";
  return text;
}

bool WriteScanFile(const char* fileName, const ScanCacheRecord* records, int count,
                   const LogSink& log) {
  count = records == nullptr ? 0 : ClampCount(count);
  bool written = false;
  if (IsPlainName(fileName)) {
    std::vector<std::uint8_t> image = BuildScanFile(records, count);
    std::string path = ScanFilePath(fileName);
    ScanFileLock lock;
    std::string tmp = WriteTemporary(path, image);
    if (!tmp.empty()) {
      written = ::rename(tmp.c_str(), path.c_str()) == 0;
      if (!written) ::unlink(tmp.c_str());
    }
  }
  if (log) log(written ? FormatWriteLog(fileName, records, count) : FormatWriteFailedLog(fileName));
  return written;
}

void ReadScanFile(const char* fileName, ScanCacheRecord* area, int* count) {
  if (count != nullptr) *count = 0;
  if (area == nullptr || count == nullptr) return;
  std::vector<std::uint8_t> image;
  {
    ScanFileLock lock;
    image = ReadImage(fileName);
  }
  *count = ParseScanFile(image.data(), image.size(), area, kMaxRecords);
}

std::vector<ScanCacheRecord> LoadScanFile(const char* fileName) {
  std::vector<std::uint8_t> image = ReadImage(fileName);
  std::vector<ScanCacheRecord> records(kMaxRecords);
  records.resize(static_cast<std::size_t>(
      ParseScanFile(image.data(), image.size(), records.data(), kMaxRecords)));
  return records;
}

std::vector<int> VerifyScanFiles() {
  static const char* const kOrder[] = {kIpxFile, kUdp2File, kUdpFile, kNetBiosFile};
  std::vector<ScanCacheRecord> area(kMaxRecords);
  std::vector<int> counts;
  for (const char* file : kOrder) {
    std::fill(area.begin(), area.end(), ScanCacheRecord{});
    int count = 0;
    ReadScanFile(file, area.data(), &count);
    counts.push_back(count);
  }
  return counts;
}

}  // namespace scan_cache
