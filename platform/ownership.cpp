#include "platform/ownership.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::string SafeOwnershipProblem(const std::string& path, uid_t owner) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return std::string("cannot be examined: ") + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return "is a symbolic link";
  if (st.st_uid != owner) return "belongs to user " + std::to_string(static_cast<unsigned long>(st.st_uid));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "can be written by other users";
  return {};
}

int OpenOwnFile(const std::string& path, mode_t mode) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

}  // namespace platform
