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
// Root in another user's folder takes that user's file there as its own, and what it makes there
// is that user's (see GiveToFolderOwner below).
// The descriptor (close-on-exec), or -1 with errno set (ELOOP for a link, EPERM for a foreign or
// linked file).
int OpenOwnFile(const std::string& path, mode_t mode);

// Why `path` could be changed by a user other than root, or "" when it cannot: the file or folder
// itself belongs to root and nobody else may write it, and so does every folder on the way to it,
// through symbolic links too (a sticky folder such as /tmp may be writable by all: nobody else can
// rename root's entries in it). For a program running as root, which must trust only what root
// alone can change.
std::string WritableByOthersThanRoot(const std::string& path);

// A program running as root (under sudo, or a service pointed at a user's root) must leave what it
// makes in a user's folder to that user, or the user could no longer write it: a lock file of
// root's (0600) cannot even be opened. So what the suite makes is given to the owner and group of
// the folder it is made in, when this process runs as root and that folder is not root's; nothing
// changes otherwise (a plain user's files are its own already, and a root of root's stays root's).
// The permission bits stay as made. A file system that keeps no owners may refuse the change.

// Gives the file or folder open as `fd`, which this process has just made in the folder `dir`, to
// that folder's owner as above. The change goes through the descriptor, so no link is followed.
// False when a change was due and failed (errno set).
bool GiveToFolderOwner(int fd, const std::string& dir);

// mkdir(path, mode), and a folder it made given to the owner of the folder above as above (through
// a descriptor of the new folder, not following a link put in its place). 0, or -1 with errno set
// (EEXIST when something is there already).
int MakeFolder(const std::string& path, mode_t mode);

// open(path, flags | O_CREAT, mode), where a file it creates is given to the owner of its folder as
// above (a file that was there already is left as it is). `flags` should hold O_NOFOLLOW. The
// descriptor, or -1 with errno set.
int OpenOrCreate(const std::string& path, int flags, mode_t mode);

}  // namespace platform
