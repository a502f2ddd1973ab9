#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/fd_io.h"

namespace {

struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
  ~SocketPair() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void Close(int i) {
    close(fd[i]);
    fd[i] = -1;
  }
};

// More than a socket buffer holds, so both sides move it in several pieces.
std::string Large() {
  std::string s(4u * 1024u * 1024u, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 7 + i / 4096);
  return s;
}

TEST(FdIo, SendAllAndReadExactlyMoveEveryByteInOrder) {
  const std::string data = Large();
  for (int waitMs : {-2, -1, 5000}) {  // -2: no wait before each piece
    SocketPair s;
    bool sent = false;
    std::thread writer([&] { sent = platform::SendAll(s.fd[0], data.data(), data.size()); });
    std::string got(data.size(), '\0');
    const bool read = waitMs == -2 ? platform::ReadExactly(s.fd[1], got.data(), got.size())
                                   : platform::ReadExactly(s.fd[1], got.data(), got.size(), waitMs);
    writer.join();
    EXPECT_TRUE(sent) << waitMs;
    EXPECT_TRUE(read) << waitMs;
    EXPECT_TRUE(got == data) << waitMs;
  }
}

TEST(FdIo, WriteAllWritesThroughAPipe) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const std::string data = Large();
  std::string got;
  std::thread reader([&] {
    char buf[65536];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
  });
  EXPECT_TRUE(platform::WriteAll(p[1], data.data(), data.size()));
  close(p[1]);
  reader.join();
  close(p[0]);
  EXPECT_TRUE(got == data);
}

TEST(FdIo, AnEarlyEndOrAnErrorIsAFailure) {
  {
    SocketPair s;
    ASSERT_TRUE(platform::SendAll(s.fd[0], "abc", 3));
    s.Close(0);
    char buf[4];
    EXPECT_FALSE(platform::ReadExactly(s.fd[1], buf, 4));
  }
  {
    SocketPair s;
    ASSERT_TRUE(platform::SendAll(s.fd[0], "abc", 3));
    s.Close(0);
    char buf[4];
    EXPECT_FALSE(platform::ReadExactly(s.fd[1], buf, 4, 5000));
  }
  {
    SocketPair s;  // a peer that has gone: false, and no SIGPIPE ends the test
    s.Close(1);
    EXPECT_FALSE(platform::SendAll(s.fd[0], "abc", 3));
  }
  EXPECT_FALSE(platform::WriteAll(-1, "abc", 3));
  EXPECT_TRUE(platform::WriteAll(-1, "", 0));  // nothing to write: nothing can fail
}

TEST(FdIo, AWaitThatRunsOutIsAFailure) {
  SocketPair s;
  ASSERT_TRUE(platform::SendAll(s.fd[0], "ab", 2));
  char buf[4];
  EXPECT_FALSE(platform::ReadExactly(s.fd[1], buf, 4, 20));  // two bytes never come
}

}  // namespace
