#include "platform/named_objects/named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/ownership.h"
#include "platform/paths.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Small file helpers. Every descriptor is close-on-exec.

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

Fd OpenFile(const std::string& path) {
  int fd;
  do {
    fd = platform::OpenOrCreate(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return Fd(fd);
}

bool Flock(int fd, int op) {
  for (;;) {
    if (::flock(fd, op) == 0) return true;
    if (errno != EINTR) return false;
  }
}

int ReadByte(int fd, off_t offset) {
  unsigned char b = 0;
  ssize_t n;
  do {
    n = ::pread(fd, &b, 1, offset);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? b : 0;
}

bool WriteByte(int fd, off_t offset, unsigned char b) {
  ssize_t n;
  do {
    n = ::pwrite(fd, &b, 1, offset);
  } while (n < 0 && errno == EINTR);
  return n == 1;
}

// A file name for an object name: letters, digits, '-' and '_' stay, every other byte becomes %XX.
bool EscapeName(const char* name, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  out->clear();
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    unsigned char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_') {
      out->push_back(static_cast<char>(c));
    } else {
      out->push_back('%');
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    }
    if (out->size() > 200) return false;
  }
  return true;
}

std::int64_t RealSteadyMs() { return platform::SystemClock().SteadyMs(); }

// ---------------------------------------------------------------------------------------------
// Objects behind the handles.

enum class Kind { kMutex, kEvent };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  // Named objects only: the descriptor whose shared lock marks this handle as a live holder.
  Fd holders;
};

struct MutexObject : Object {
  MutexObject() : Object(Kind::kMutex) {}
  std::mutex m;
  std::condition_variable cv;
  bool held = false;
  std::thread::id owner;
  int recursion = 0;
  Fd ownerFile;  // named only: flock = ownership, byte 0 = 1 while owned
};

struct EventObject : Object {
  EventObject() : Object(Kind::kEvent) {}
  bool manualReset = true;
  // Unnamed events.
  std::mutex m;
  std::condition_variable cv;
  bool signaled = false;
  // Named events: byte 0 the state, byte 1 the manual-reset flag.
  Fd stateFile;
  std::string statePath;
};

constexpr off_t kStateByte = 0;
constexpr off_t kManualByte = 1;

// The handle table: handles are small numbers, so a stale or foreign value is refused, not used.
std::mutex g_tableMutex;
std::map<std::uintptr_t, std::shared_ptr<Object>> g_table;
std::uintptr_t g_nextHandle = 0x100;

HANDLE AddHandle(std::shared_ptr<Object> object) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  std::uintptr_t h = g_nextHandle;
  g_nextHandle += 4;
  g_table.emplace(h, std::move(object));
  return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<Object> FindHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  auto it = g_table.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == g_table.end()) return nullptr;
  return it->second;
}

// ---------------------------------------------------------------------------------------------
// Create-or-open of a named object.

enum class OpenMode { kCreateOrOpen, kOpenOnly };

struct NamedOpen {
  Fd holders;
  std::string dir;
  bool created = false;
};

// Under the object's guard lock: decides whether a live holder exists, and registers this handle
// as a holder. `init` runs (still under the guard) when the object is new.
template <typename Init>
bool OpenNamed(const char* kindPrefix, const char* name, OpenMode mode, NamedOpen* result,
               Init&& init) {
  std::string escaped;
  if (!EscapeName(name, &escaped)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::string dir = platform::JoinPath(platform::ObjectsDirectory(), kindPrefix + escaped);
  if (platform::MakeFolder(dir, 0700) != 0 && errno != EEXIST) {
    SetLastError(ERROR_OPEN_FAILED);
    return false;
  }
  Fd guard = OpenFile(platform::JoinPath(dir, "guard"));
  if (!guard.valid() || !Flock(guard.get(), LOCK_EX)) {
    SetLastError(ERROR_OPEN_FAILED);
    return false;
  }
  Fd holders = OpenFile(platform::JoinPath(dir, "holders"));
  if (!holders.valid()) {
    SetLastError(ERROR_OPEN_FAILED);
    return false;
  }
  // Every holder keeps a shared lock; only a guard holder ever asks for the exclusive one.
  bool alive = !Flock(holders.get(), LOCK_EX | LOCK_NB);
  if (!alive) {
    if (mode == OpenMode::kOpenOnly) {
      Flock(holders.get(), LOCK_UN);
      SetLastError(static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      return false;
    }
    if (!init(dir)) {
      Flock(holders.get(), LOCK_UN);
      SetLastError(ERROR_OPEN_FAILED);
      return false;
    }
  }
  if (!Flock(holders.get(), LOCK_SH | LOCK_NB)) {
    SetLastError(ERROR_OPEN_FAILED);
    return false;
  }
  result->holders = std::move(holders);
  result->dir = dir;
  result->created = !alive;
  return true;
}

bool IsUnnamed(const char* name) { return name == nullptr || name[0] == '\0'; }

// ---------------------------------------------------------------------------------------------
// Mutex operations.

HANDLE MakeMutex(bool initialOwner, const char* name, OpenMode mode) {
  auto mutex = std::make_shared<MutexObject>();
  bool created = true;
  if (!IsUnnamed(name)) {
    NamedOpen opened;
    bool ok = OpenNamed("mutex-", name, mode, &opened, [](const std::string& dir) {
      // A new object starts unowned, whatever a dead earlier object left behind.
      Fd owner = OpenFile(platform::JoinPath(dir, "owner"));
      return owner.valid() && WriteByte(owner.get(), 0, 0);
    });
    if (!ok) return nullptr;
    mutex->ownerFile = OpenFile(platform::JoinPath(opened.dir, "owner"));
    if (!mutex->ownerFile.valid()) {
      SetLastError(ERROR_OPEN_FAILED);
      return nullptr;
    }
    mutex->holders = std::move(opened.holders);
    created = opened.created;
  }
  HANDLE h = AddHandle(mutex);
  if (created && initialOwner) WaitForSingleObject(h, INFINITE);
  SetLastError(created ? 0 : ERROR_ALREADY_EXISTS);
  return h;
}

DWORD WaitMutex(MutexObject& mutex, DWORD ms) {
  const std::int64_t start = RealSteadyMs();
  auto remaining = [&]() -> std::int64_t {
    if (ms == INFINITE) return INT64_MAX;
    std::int64_t left = static_cast<std::int64_t>(ms) - (RealSteadyMs() - start);
    return left < 0 ? 0 : left;
  };
  {
    std::unique_lock<std::mutex> lock(mutex.m);
    if (mutex.held && mutex.owner == std::this_thread::get_id()) {
      ++mutex.recursion;
      return WAIT_OBJECT_0;
    }
    auto free = [&] { return !mutex.held; };
    if (ms == INFINITE) {
      mutex.cv.wait(lock, free);
    } else if (!mutex.cv.wait_for(lock, std::chrono::milliseconds(remaining()), free)) {
      return WAIT_TIMEOUT;
    }
    mutex.held = true;
    mutex.owner = std::this_thread::get_id();
    mutex.recursion = 1;
  }
  if (!mutex.ownerFile.valid()) return WAIT_OBJECT_0;

  bool locked;
  if (ms == INFINITE) {
    locked = Flock(mutex.ownerFile.get(), LOCK_EX);
  } else {
    // flock() has no time-out: try, and back off from 1 ms to 16 ms between tries.
    std::int64_t pause = 1;
    for (;;) {
      locked = Flock(mutex.ownerFile.get(), LOCK_EX | LOCK_NB);
      if (locked || errno != EWOULDBLOCK) break;
      std::int64_t left = remaining();
      if (left <= 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(pause < left ? pause : left));
      if (pause < 16) pause *= 2;
    }
  }
  if (!locked) {
    std::lock_guard<std::mutex> lock(mutex.m);
    mutex.held = false;
    mutex.recursion = 0;
    mutex.cv.notify_one();
    return ms == INFINITE ? WAIT_FAILED : WAIT_TIMEOUT;
  }
  bool abandoned = ReadByte(mutex.ownerFile.get(), 0) != 0;
  WriteByte(mutex.ownerFile.get(), 0, 1);
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------------------------
// Event operations.

HANDLE MakeEvent(bool manualReset, bool initialState, const char* name, OpenMode mode) {
  auto event = std::make_shared<EventObject>();
  bool created = true;
  if (IsUnnamed(name)) {
    event->manualReset = manualReset;
    event->signaled = initialState;
  } else {
    NamedOpen opened;
    bool ok = OpenNamed("event-", name, mode, &opened, [&](const std::string& dir) {
      Fd state = OpenFile(platform::JoinPath(dir, "state"));
      return state.valid() && WriteByte(state.get(), kManualByte, manualReset ? 1 : 0) &&
             WriteByte(state.get(), kStateByte, initialState ? 1 : 0);
    });
    if (!ok) return nullptr;
    event->statePath = platform::JoinPath(opened.dir, "state");
    event->stateFile = OpenFile(event->statePath);
    if (!event->stateFile.valid()) {
      SetLastError(ERROR_OPEN_FAILED);
      return nullptr;
    }
    event->manualReset = ReadByte(event->stateFile.get(), kManualByte) != 0;
    event->holders = std::move(opened.holders);
    created = opened.created;
  }
  HANDLE h = AddHandle(event);
  SetLastError(created ? 0 : ERROR_ALREADY_EXISTS);
  return h;
}

bool SetState(EventObject& event, bool signaled) {
  if (!event.stateFile.valid()) {
    std::lock_guard<std::mutex> lock(event.m);
    event.signaled = signaled;
    if (signaled) event.cv.notify_all();
    return true;
  }
  return WriteByte(event.stateFile.get(), kStateByte, signaled ? 1 : 0);
}

// Takes the signal: always for a manual-reset event, atomically clearing it for an auto-reset one.
bool TakeSignal(EventObject& event) {
  int fd = event.stateFile.get();
  if (event.manualReset) return ReadByte(fd, kStateByte) != 0;
  if (ReadByte(fd, kStateByte) == 0) return false;
  if (!Flock(fd, LOCK_EX)) return false;
  bool taken = ReadByte(fd, kStateByte) != 0;
  if (taken) WriteByte(fd, kStateByte, 0);
  Flock(fd, LOCK_UN);
  return taken;
}

DWORD WaitUnnamedEvent(EventObject& event, DWORD ms) {
  std::unique_lock<std::mutex> lock(event.m);
  auto ready = [&] { return event.signaled; };
  if (ms == INFINITE) {
    event.cv.wait(lock, ready);
  } else {
    platform::Clock& clock = platform::GetClock();
    std::int64_t real = clock.RealWaitMs(ms);
    if (!event.cv.wait_for(lock, std::chrono::milliseconds(real), ready)) {
      lock.unlock();
      clock.Elapsed(ms);
      return WAIT_TIMEOUT;
    }
  }
  if (!event.manualReset) event.signaled = false;
  return WAIT_OBJECT_0;
}

DWORD WaitNamedEvent(EventObject& event, DWORD ms) {
  // The watch is in place before the state is looked at, so no change can slip between the two.
  Fd watch(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  if (watch.valid() &&
      inotify_add_watch(watch.get(), event.statePath.c_str(), IN_MODIFY | IN_ATTRIB) < 0) {
    watch.Reset();
  }
  platform::Clock& clock = platform::GetClock();
  const std::int64_t start = clock.SteadyMs();
  for (;;) {
    if (TakeSignal(event)) return WAIT_OBJECT_0;
    std::int64_t slice;
    if (ms == INFINITE) {
      slice = 1000;
    } else {
      std::int64_t left = static_cast<std::int64_t>(ms) - (clock.SteadyMs() - start);
      if (left <= 0) return WAIT_TIMEOUT;
      slice = left;
    }
    if (watch.valid()) {
      if (platform::WaitReadable(watch.get(), slice) < 0) return WAIT_FAILED;
      char buffer[4096];
      while (::read(watch.get(), buffer, sizeof buffer) > 0) {
      }
    } else {
      // No inotify left: look again every 5 ms for as long as the clock lets this slice block.
      const std::int64_t real = clock.RealWaitMs(slice);
      const std::int64_t begin = RealSteadyMs();
      for (;;) {
        std::int64_t left = real - (RealSteadyMs() - begin);
        if (left <= 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(left < 5 ? left : 5));
        if (TakeSignal(event)) return WAIT_OBJECT_0;
      }
      clock.Elapsed(slice);
    }
  }
}

}  // namespace

HANDLE CreateMutex(BOOL initialOwner, const char* name) {
  return MakeMutex(initialOwner != FALSE, name, OpenMode::kCreateOrOpen);
}

HANDLE OpenMutex(DWORD, BOOL, const char* name) {
  if (IsUnnamed(name)) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return nullptr;
  }
  HANDLE h = MakeMutex(false, name, OpenMode::kOpenOnly);
  if (h != nullptr) SetLastError(0);
  return h;
}

BOOL ReleaseMutex(HANDLE handle) {
  std::shared_ptr<Object> object = FindHandle(handle);
  if (!object || object->kind != Kind::kMutex) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    return FALSE;
  }
  auto& mutex = static_cast<MutexObject&>(*object);
  std::lock_guard<std::mutex> lock(mutex.m);
  if (!mutex.held || mutex.owner != std::this_thread::get_id()) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex.recursion > 0) return TRUE;
  if (mutex.ownerFile.valid()) {
    WriteByte(mutex.ownerFile.get(), 0, 0);
    Flock(mutex.ownerFile.get(), LOCK_UN);
  }
  mutex.held = false;
  mutex.owner = std::thread::id();
  mutex.cv.notify_one();
  return TRUE;
}

HANDLE CreateEvent(BOOL manualReset, BOOL initialState, const char* name) {
  return MakeEvent(manualReset != FALSE, initialState != FALSE, name, OpenMode::kCreateOrOpen);
}

HANDLE OpenEvent(DWORD, BOOL, const char* name) {
  if (IsUnnamed(name)) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    return nullptr;
  }
  HANDLE h = MakeEvent(true, false, name, OpenMode::kOpenOnly);
  if (h != nullptr) SetLastError(0);
  return h;
}

static BOOL ChangeEvent(HANDLE handle, bool signaled) {
  std::shared_ptr<Object> object = FindHandle(handle);
  if (!object || object->kind != Kind::kEvent) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    return FALSE;
  }
  if (!SetState(static_cast<EventObject&>(*object), signaled)) {
    SetLastError(ERROR_OPEN_FAILED);
    return FALSE;
  }
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return ChangeEvent(event, true); }
BOOL ResetEvent(HANDLE event) { return ChangeEvent(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<Object> object = FindHandle(handle);
  if (!object) {
    SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
    return WAIT_FAILED;
  }
  if (object->kind == Kind::kMutex) {
    return WaitMutex(static_cast<MutexObject&>(*object), milliseconds);
  }
  auto& event = static_cast<EventObject&>(*object);
  return event.stateFile.valid() ? WaitNamedEvent(event, milliseconds)
                                 : WaitUnnamedEvent(event, milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<Object> object;
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto it = g_table.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_table.end()) {
      SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
      return FALSE;
    }
    object = std::move(it->second);
    g_table.erase(it);
  }
  // The holder lock goes with the handle now, even while another thread still waits on it.
  object->holders.Reset();
  return TRUE;
}
