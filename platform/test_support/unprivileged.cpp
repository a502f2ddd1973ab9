#include "platform/test_support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::testing {

int RunUnprivileged(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

int RunAsUser(uid_t uid, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(uid)) != 0 || setuid(uid) != 0) _exit(90);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

}  // namespace platform::testing
