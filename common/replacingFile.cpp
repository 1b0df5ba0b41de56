#include "replacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

namespace replacingFile {

namespace {

[[noreturn]] void ThrowErrno(int errnum) {
  throw std::system_error(errnum, std::generic_category());
}

// The file a path names, through any symbolic links.
std::string ResolvedPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                             &std::free);
  if (!resolved) {
    ThrowErrno(errno);
  }
  return resolved.get();
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Best effort: only root may give a file away, and some file systems keep no
// permissions at all; neither is a reason to refuse the replacement.
void TakeOwnerAndPermissions(int fd, const struct stat& existing) {
  if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
    static_cast<void>(fchown(fd, existing.st_uid, existing.st_gid) == 0);
  }
  static_cast<void>(fchmod(fd, existing.st_mode & 07777) == 0);
}

// Makes the rename itself durable. The file is already in place, so a failure
// here is not one of the replacement.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    return ".";
  }
  return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

ReplacingFile::ReplacingFile(std::string_view target) : target_(target) {
  struct stat existing {};
  const bool exists = stat(target_.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) {
    ThrowErrno(errno);
  }
  if (exists) {
    if (S_ISDIR(existing.st_mode)) {
      ThrowErrno(EISDIR);
    }
    target_ = ResolvedPath(target_);
    if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
      ThrowErrno(errno);
    }
  }
  std::string pattern = FolderOf(target_) + "/.pokopen-XXXXXX";
  descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor_ < 0) {
    ThrowErrno(errno);
  }
  temporary_ = std::move(pattern);
  if (exists) {
    TakeOwnerAndPermissions(descriptor_, existing);
  } else if (fchmod(descriptor_, NewFileMode()) != 0) {
    const int errnum = errno;
    Discard();
    ThrowErrno(errnum);
  }
}

ReplacingFile::~ReplacingFile() {
  Discard();
}

void ReplacingFile::Write(std::string_view bytes) {
  if (descriptor_ < 0) {
    ThrowErrno(EBADF);
  }
  while (!bytes.empty()) {
    const ssize_t count = write(descriptor_, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

void ReplacingFile::Commit() {
  if (descriptor_ < 0) {
    ThrowErrno(EBADF);
  }
  // The data must be on the disk before the name points at it.
  if (fsync(descriptor_) != 0) {
    ThrowErrno(errno);
  }
  const int fd = std::exchange(descriptor_, -1);
  if (close(fd) != 0 && errno != EINTR) {
    ThrowErrno(errno);
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    ThrowErrno(errno);
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
}

void ReplacingFile::Discard() noexcept {
  if (descriptor_ >= 0) {
    close(std::exchange(descriptor_, -1));
  }
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace replacingFile
