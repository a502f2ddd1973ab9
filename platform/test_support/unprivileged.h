// Runs a piece of a test as a user without root's right to write anywhere, for tests of files and
// directories that must stay read-only to the suite.
#pragma once
#include <sys/types.h>

#include <functional>

namespace platform::testing {

// Runs body in a child process that has given up root's rights (it becomes nobody when the test
// runs as root; a plain user needs no change) and returns its exit code: 90 when it could not give
// them up, 100 when it did not exit normally.
int RunUnprivileged(const std::function<int()>& body);

// Runs body in a child process as the user `uid` (group `uid` too, no further groups), which needs
// root; returns its exit code, 90 when it could not become that user, 100 when it did not exit
// normally.
int RunAsUser(uid_t uid, const std::function<int()>& body);

}  // namespace platform::testing
