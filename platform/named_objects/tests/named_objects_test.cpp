#include "platform/named_objects/named_objects.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/test_support/temp_root.h"

namespace {

constexpr const char* kEventName = "Print Server Tollard Event";
constexpr const char* kMutexName = "Print Server ScanFile Mutex";

void Say(int fd, char c) {
  ssize_t n;
  do {
    n = write(fd, &c, 1);
  } while (n < 0 && errno == EINTR);
}

// One byte from fd; 0 at end of file.
char Hear(int fd) {
  char c = 0;
  ssize_t n;
  do {
    n = read(fd, &c, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? c : 0;
}

// A forked process that runs `body(in, out)` and exits; the parent talks to it through two pipes.
// Closing the parent's end of `in` (Finish) tells a waiting child to end.
class Child {
 public:
  explicit Child(const std::function<void(int in, int out)>& body) {
    int down[2], up[2];
    if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      body(down[0], up[1]);
      _exit(0);
    }
    close(down[0]);
    close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
  }
  ~Child() {
    Finish();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Reap();
    }
    close(fromChild_);
  }
  char Hear() { return ::Hear(fromChild_); }
  void Say(char c) { ::Say(toChild_, c); }
  void Finish() {
    if (toChild_ >= 0) close(toChild_);
    toChild_ = -1;
  }
  void Kill() {
    kill(pid_, SIGKILL);
    Reap();
  }
  // Waits for the child to end; its exit code.
  int Reap() {
    int status = 0;
    if (pid_ > 0) {
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int fromChild() const { return fromChild_; }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
};

struct KindCase {
  const char* label;
  std::function<HANDLE()> create;
};

TEST(NamedObjects, ProcessesCreatingAtOnceGetOneObjectAndOneCreator) {
  const std::vector<KindCase> cases = {
      {"event", [] { return CreateEvent(TRUE, TRUE, kEventName); }},
      {"mutex", [] { return CreateMutex(FALSE, kMutexName); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    platform::testing::TempRoot root;
    int go[2];
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 8; ++i) {
      children.push_back(std::make_unique<Child>([&](int in, int out) {
        close(go[1]);
        Hear(go[0]);  // all start together when the parent closes the pipe
        HANDLE h = c.create();
        Say(out, h == nullptr ? 'f' : GetLastError() == ERROR_ALREADY_EXISTS ? 'e' : 'c');
        Hear(in);  // keep the handle until the parent has heard everyone
      }));
    }
    close(go[0]);
    close(go[1]);
    int created = 0, existed = 0;
    for (auto& child : children) {
      char answer = child->Hear();
      created += answer == 'c';
      existed += answer == 'e';
    }
    EXPECT_EQ(created, 1);
    EXPECT_EQ(existed, 7);
  }
}

TEST(NamedObjects, MutexExcludesOtherProcessesUntilReleased) {
  platform::testing::TempRoot root;
  Child holder([](int in, int out) {
    HANDLE m = CreateMutex(TRUE, kMutexName);
    Say(out, m != nullptr && GetLastError() == 0 ? 'r' : 'f');
    Hear(in);
    Say(out, ReleaseMutex(m) ? 'd' : 'f');
    Hear(in);
    Say(out, WaitForSingleObject(m, 0) == WAIT_TIMEOUT ? 't' : 'f');
    Hear(in);
  });
  ASSERT_EQ(holder.Hear(), 'r');
  HANDLE m = OpenMutex(MUTEX_ALL_ACCESS, FALSE, kMutexName);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(m, 30), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  holder.Say('x');
  ASSERT_EQ(holder.Hear(), 'd');
  EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  holder.Say('x');
  EXPECT_EQ(holder.Hear(), 't');  // the other process cannot take it while this one owns it
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(m));
}

// Unprotected read-modify-write of a counter file by several processes and by two threads that
// share one handle: only a mutex that really excludes keeps every increment.
TEST(NamedObjects, MutexSerialisesProcessesAndThreadsSharingAHandle) {
  platform::testing::TempRoot root;
  const std::string counter = root.path() + "/counter";
  constexpr int kRounds = 150;
  auto bump = [&](HANDLE m) {
    for (int i = 0; i < kRounds; ++i) {
      DWORD w = WaitForSingleObject(m, INFINITE);
      if (w != WAIT_OBJECT_0) std::abort();
      long value = 0;
      if (FILE* f = std::fopen(counter.c_str(), "r")) {
        if (std::fscanf(f, "%ld", &value) != 1) value = 0;
        std::fclose(f);
      }
      FILE* f = std::fopen(counter.c_str(), "w");
      std::fprintf(f, "%ld", value + 1);
      std::fclose(f);
      ReleaseMutex(m);
    }
  };
  HANDLE mine = CreateMutex(FALSE, kMutexName);
  ASSERT_NE(mine, nullptr);
  std::vector<std::unique_ptr<Child>> children;
  for (int i = 0; i < 3; ++i) {
    children.push_back(std::make_unique<Child>([&](int, int out) {
      HANDLE m = CreateMutex(FALSE, kMutexName);
      bump(m);
      Say(out, 'd');
    }));
  }
  std::thread t1(bump, mine), t2(bump, mine);
  t1.join();
  t2.join();
  for (auto& child : children) ASSERT_EQ(child->Hear(), 'd');
  FILE* f = std::fopen(counter.c_str(), "r");
  ASSERT_NE(f, nullptr);
  long value = 0;
  ASSERT_EQ(std::fscanf(f, "%ld", &value), 1);
  std::fclose(f);
  EXPECT_EQ(value, 5 * kRounds);
  CloseHandle(mine);
}

TEST(NamedObjects, KilledHolderReleasesMutexAndPresence) {
  platform::testing::TempRoot root;
  Child holder([](int in, int out) {
    HANDLE m = CreateMutex(TRUE, kMutexName);
    HANDLE e = CreateEvent(TRUE, TRUE, kEventName);
    Say(out, m != nullptr && e != nullptr ? 'r' : 'f');
    Hear(in);
  });
  ASSERT_EQ(holder.Hear(), 'r');
  HANDLE m = OpenMutex(SYNCHRONIZE, FALSE, kMutexName);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
  HANDLE probe = OpenEvent(EVENT_MODIFY_STATE, FALSE, kEventName);
  ASSERT_NE(probe, nullptr);
  CloseHandle(probe);

  holder.Kill();

  EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_ABANDONED);  // owned now, but abandoned
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, kEventName), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  CloseHandle(m);
}

TEST(NamedObjects, ProgramStartedByAHolderKeepsNothingAlive) {
  platform::testing::TempRoot root;
  Child holder([](int, int out) {
    HANDLE e = CreateEvent(TRUE, TRUE, kEventName);
    HANDLE m = CreateMutex(TRUE, kMutexName);
    if (e == nullptr || m == nullptr) return;
    // The close-on-exec pipe reaches end of file once the program has really been started.
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) return;
    pid_t program = fork();
    if (program == 0) {
      execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(started[1]);
    Hear(started[0]);
    if (write(out, &program, sizeof program) != sizeof program) return;
    // Ends here, leaving the program running and holding whatever it inherited.
  });
  pid_t program = 0;
  ASSERT_EQ(read(holder.fromChild(), &program, sizeof program),
            static_cast<ssize_t>(sizeof program));
  ASSERT_GT(program, 0);
  holder.Reap();
  ASSERT_EQ(kill(program, 0), 0);  // the started program still runs

  EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, kEventName), nullptr);
  HANDLE m = CreateMutex(FALSE, kMutexName);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), 0u);  // nobody holds it any more: a new object
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  kill(program, SIGKILL);
  CloseHandle(m);
}

TEST(NamedObjects, EventStateIsSharedBetweenProcesses) {
  platform::testing::TempRoot root;
  HANDLE e = CreateEvent(TRUE, FALSE, kEventName);
  ASSERT_NE(e, nullptr);
  Child waiter([](int in, int out) {
    HANDLE h = OpenEvent(SYNCHRONIZE, FALSE, kEventName);
    Say(out, h != nullptr ? 'r' : 'f');
    Say(out, WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 ? 's' : 'f');
    Hear(in);
    Say(out, WaitForSingleObject(h, 0) == WAIT_TIMEOUT ? 't' : 'f');
    Hear(in);
    Say(out, WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? 's' : 'f');
  });
  ASSERT_EQ(waiter.Hear(), 'r');
  EXPECT_TRUE(SetEvent(e));
  EXPECT_EQ(waiter.Hear(), 's');
  EXPECT_TRUE(ResetEvent(e));
  waiter.Say('x');
  EXPECT_EQ(waiter.Hear(), 't');
  EXPECT_TRUE(SetEvent(e));
  waiter.Say('x');
  EXPECT_EQ(waiter.Hear(), 's');
  CloseHandle(e);
}

TEST(NamedObjects, InitialStateCountsOnlyWhenCreatedAndLastCloseEndsTheObject) {
  platform::testing::TempRoot root;
  HANDLE first = CreateEvent(TRUE, FALSE, kEventName);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE second = CreateEvent(TRUE, TRUE, kEventName);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  CloseHandle(first);
  HANDLE third = OpenEvent(EVENT_MODIFY_STATE, FALSE, kEventName);
  ASSERT_NE(third, nullptr);
  CloseHandle(third);
  CloseHandle(second);

  EXPECT_EQ(OpenEvent(EVENT_MODIFY_STATE, FALSE, kEventName), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE again = CreateEvent(TRUE, TRUE, kEventName);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
  CloseHandle(again);
}

TEST(NamedObjects, AutoResetEventWakesOneWaitAtATime) {
  platform::testing::TempRoot root;
  const std::vector<const char*> names = {kEventName, nullptr};
  for (const char* name : names) {
    SCOPED_TRACE(name == nullptr ? "unnamed" : name);
    HANDLE e = CreateEvent(FALSE, TRUE, name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter([&] { result = WaitForSingleObject(e, INFINITE); });
    EXPECT_TRUE(SetEvent(e));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
  }
}

TEST(NamedObjects, EventTimeOutsRunOnThePlatformClock) {
  platform::testing::TempRoot root;
  const std::vector<const char*> names = {kEventName, nullptr};
  for (const char* name : names) {
    SCOPED_TRACE(name == nullptr ? "unnamed" : name);
    platform::FakeClock fake;
    platform::ScopedClock scoped(&fake);
    HANDLE e = CreateEvent(TRUE, FALSE, name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 60000), WAIT_TIMEOUT);
    EXPECT_GE(fake.WaitedMs(), 60000);
    CloseHandle(e);
  }
}

TEST(NamedObjects, BadHandlesAndNamesAreRefused) {
  platform::testing::TempRoot root;
  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7777));
  EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(nullptr));
  EXPECT_FALSE(CloseHandle(bogus));

  HANDLE e = CreateEvent(TRUE, TRUE, "some event");
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(ReleaseMutex(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));

  EXPECT_EQ(OpenMutex(SYNCHRONIZE, FALSE, "nobody made this"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateMutex(FALSE, std::string(300, 'x').c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);

  // Path-like names stay inside the objects directory.
  HANDLE odd = CreateEvent(TRUE, TRUE, "../..\\x/y");
  ASSERT_NE(odd, nullptr);
  for (const auto& entry : std::filesystem::directory_iterator(root.path())) {
    EXPECT_TRUE(entry.path().filename() == "objects") << entry.path();
  }
  CloseHandle(odd);
}

TEST(NamedObjects, SameThreadMayTakeAMutexAgain) {
  platform::testing::TempRoot root;
  const std::vector<const char*> names = {kMutexName, nullptr};
  for (const char* name : names) {
    SCOPED_TRACE(name == nullptr ? "unnamed" : name);
    HANDLE m = CreateMutex(TRUE, name);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
    std::atomic<DWORD> other{WAIT_FAILED};
    std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
    EXPECT_EQ(other.load(), WAIT_TIMEOUT);  // still owned once
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    std::thread([&] {
      other = WaitForSingleObject(m, 0);
      ReleaseMutex(m);
    }).join();
    EXPECT_EQ(other.load(), WAIT_OBJECT_0);
    CloseHandle(m);
  }
}

}  // namespace
