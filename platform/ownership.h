// Whether a file or folder can be trusted as somebody's own, and opening a file of our own for
// writing without letting a planted link or a foreign file redirect the write.
#pragma once
#include <sys/types.h>

#include <string>

namespace platform {

// Why `path` cannot be trusted as belonging to `owner`, or "" when it can: it must exist, be no
// symbolic link (the path's last part is looked at itself, not followed), belong to `owner`, and
// neither its group nor others may write to it. The text completes "<path> ..." ("is a symbolic
// link", "belongs to user 1001", "can be written by other users", "cannot be examined: ...").
std::string SafeOwnershipProblem(const std::string& path, uid_t owner);

// Opens (creating when needed, with `mode`) a file that only this process's user should write, for
// reading and writing: a symbolic link under the name is not followed, and a file that is not a
// regular file, belongs to another user or has another name elsewhere (a hard link) is refused.
// The descriptor (close-on-exec), or -1 with errno set (ELOOP for a link, EPERM for a foreign or
// linked file).
int OpenOwnFile(const std::string& path, mode_t mode);

}  // namespace platform
