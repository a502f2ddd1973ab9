// Small file helpers shared by the profile-file and registry stand-ins: a bounded whole-file read,
// an atomic replace (temporary file in the same directory, fsync, rename) and an exclusive lock
// held through flock on a lock file (released by the kernel when the process dies, so a killed
// process never leaves a stale lock behind).
#pragma once
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace platform::fileio {

enum class ReadResult { kOk, kMissing, kTooLarge, kError };

// Reads a whole regular file of at most `limit` bytes into *out. A file that does not exist gives
// kMissing, one that is larger than the limit kTooLarge (nothing of it is kept), anything that is not
// a readable regular file (a directory, a FIFO, a permission or I/O error) kError.
inline ReadResult ReadWholeFile(const std::string& path, std::size_t limit, std::string* out) {
  out->clear();
  // O_NONBLOCK keeps a FIFO planted under the file's name from blocking the open.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kError;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadResult::kError;
  }
  if (static_cast<unsigned long long>(st.st_size) > limit) {
    close(fd);
    return ReadResult::kTooLarge;
  }
  out->reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      out->clear();
      return ReadResult::kError;
    }
    if (n == 0) break;
    if (out->size() + static_cast<std::size_t>(n) > limit) {  // grew while we were reading
      close(fd);
      out->clear();
      return ReadResult::kTooLarge;
    }
    out->append(chunk, static_cast<std::size_t>(n));
    // A regular file hands over what it holds: a read short of the room, once the size seen at the
    // open is reached, was at the end (no further read to learn so). Files that report no size
    // (those of /proc) are read until a read gives nothing.
    if (st.st_size > 0 && static_cast<std::size_t>(n) < sizeof chunk &&
        out->size() >= static_cast<std::size_t>(st.st_size))
      break;
  }
  close(fd);
  return ReadResult::kOk;
}

// Temporary files of the writers below are named ".<name>.<pid>.XXXXXX" beside the file they
// replace, <pid> being the writing process. A writer killed between creating its temporary file
// and renaming it leaves that file behind; the next writer of the same file removes every such
// file whose process no longer exists (a live process's, this one's included, is never touched).

// Removes the temporary files of `path` left by writers that are gone. Returns how many it removed.
int RemoveDeadWritersTemporaries(const std::string& path);

// Removes dead writers' temporary files of `path`, then creates a new temporary file beside it,
// open for writing (O_CLOEXEC), and stores its name in *tmp. The descriptor, or -1. Made by root in
// a user's folder, the file is that user's (GiveToFolderOwner).
int CreateTemporaryBeside(const std::string& path, std::string* tmp);

// The file a write of `path` must replace: `path` itself, or, when it is a symbolic link, the file
// the link leads to (through further links, relative ones taken from their own folder; at most 40),
// so that the link stays and its target gets the change. A link that leads nowhere gives the path
// its target would have.
std::string WriteTarget(const std::string& path);

enum class ReplaceResult { kOk, kReadOnly, kFailed };

// Replaces the file behind `path` (WriteTarget) by `content` so that a reader sees either the old
// or the new file, never a mix: writes a temporary file beside it, flushes it to disk and renames
// it over the old one. The new file keeps the permission bits of the old one (0644 for a new file),
// and its owner and group when the writer may set them (root writing a user's file); a new file
// root makes in a user's folder is that user's.
// A file that is read-only is left alone (kReadOnly): its owner's write bit is off (chmod 444,
// whoever writes, root too), or the writer is not root and may not write it. Any other failure
// gives kFailed. On failure the old file is unchanged and the temporary file removed.
ReplaceResult ReplaceFile(const std::string& path, std::string_view content);

// An exclusive lock on a lock file, held for the object's lifetime. locked() is false when the lock
// file could neither be opened nor created (a read-only directory); a change must then not be made.
// The lock file is made 0600 (nobody else can open it to hold the lock) and a symbolic link in its
// place is not followed. Root making it in a user's folder gives it to that user, who must go on
// taking the lock.
class LockFile {
 public:
  explicit LockFile(const std::string& path);
  ~LockFile() {
    if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
  }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  bool locked() const { return locked_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
};

}  // namespace platform::fileio
