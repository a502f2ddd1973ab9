// Whether a file or folder can be trusted as somebody's own (or as root's alone), and opening a file
// of our own for writing without letting a planted link or a foreign file redirect the write.
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

// Why `path` could be changed by a user other than root, or "" when it cannot: the file or folder
// itself belongs to root and nobody else may write it, and so does every folder on the way to it,
// through symbolic links too (a sticky folder such as /tmp may be writable by all: nobody else can
// rename root's entries in it). For a program running as root, which must trust only what root
// alone can change.
std::string WritableByOthersThanRoot(const std::string& path);

}  // namespace platform
