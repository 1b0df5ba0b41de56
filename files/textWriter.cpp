#include "textWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace textFiles {

namespace {

constexpr int kMostLinks = 40;
[[noreturn]] void ThrowErrno() {
  ThrowSystemFailure(errno);
}

}  // namespace

FileWriter::FileWriter(const std::string& target, const WriteOptions& options) {
  if (const std::optional<int> fd = fileSystem::DescriptorNamed(target)) {
    if (options.regularFilesOnly && !options.descriptorNames) {
      throw FileError(NotRegularFile{});
    }
    direct_ = *fd;
    return;
  }
  RefuseFolderNames(target);
  Resolve(target);
  if (existing_ && !S_ISREG(existing_->st_mode)) {
    OpenDirectly(options);
    return;
  }
  if (existing_ && faccessat(folder_.Get(), name_.c_str(), W_OK, AT_EACCESS) != 0) {
    ThrowErrno();
  }
  CreateUnnamed();
  TakeOverAttributes();
}

FileWriter::FileWriter(int fd) : direct_(fd) {
  // A pipe's 64 KiB makes writer and reader take turns every 64 KiB; with
  // 1 MiB (an unprivileged process's most) both run. Not a pipe: no change.
  static_cast<void>(fcntl(fd, F_SETPIPE_SZ, 1 << 20));
}

FileWriter::~FileWriter() {
  Discard();
}

// A name that ends in a slash names a folder, as the kernel reads it: one
// that is there cannot be written, and a file cannot be made under it.
void FileWriter::RefuseFolderNames(const std::string& target) {
  if (!target.ends_with('/')) {
    return;
  }
  if (fileSystem::Descriptor(fileSystem::OpenPath(target, O_PATH | O_CLOEXEC)).Valid()) {
    ThrowSystemFailure(EISDIR);
  }
  if (errno != ENOENT) {
    ThrowErrno();
  }
  // Missing: the folder it would be made in, or the name itself.
  const fileSystem::Descriptor folder(
      fileSystem::OpenPath(fileSystem::SplitPath(target).first, O_PATH | O_DIRECTORY | O_CLOEXEC));
  ThrowSystemFailure(folder.Valid() ? ENOTDIR : errno);
}

// Finds the folder and name of the file to write, following symbolic links
// one at a time, so that a link to a file not made yet is followed too.
void FileWriter::Resolve(const std::string& target) {
  auto [folder, name] = fileSystem::SplitPath(target);
  folder_ = fileSystem::Descriptor(fileSystem::OpenPath(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
  name_ = name.empty() ? "." : std::move(name);
  for (int links = 0;; ++links) {
    if (!folder_.Valid()) {
      ThrowErrno();
    }
    struct stat info {};
    if (fstatat(folder_.Get(), name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) {
        ThrowErrno();
      }
      existing_.reset();
      return;
    }
    if (!S_ISLNK(info.st_mode)) {
      if (S_ISDIR(info.st_mode)) {
        ThrowSystemFailure(EISDIR);
      }
      existing_ = info;
      return;
    }
    if (links == kMostLinks) {
      ThrowSystemFailure(ELOOP);
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlinkat(folder_.Get(), name_.c_str(), link.data(), link.size());
    if (length < 0) {
      ThrowErrno();
    }
    link.resize(static_cast<std::size_t>(length));
    auto [linkFolder, linkName] = fileSystem::SplitPath(link);
    folder_ = fileSystem::Descriptor(
        link.starts_with('/')
            ? fileSystem::OpenPath(linkFolder, O_PATH | O_DIRECTORY | O_CLOEXEC)
            : openat(folder_.Get(), linkFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    name_ = linkName.empty() ? "." : std::move(linkName);
  }
}

// A device, pipe or socket is written as it is. Where only regular files and
// descriptors will do, a character device (/dev/null, a terminal) still is,
// as command-line tools write them; a pipe, which may never be read, is not.
void FileWriter::OpenDirectly(const WriteOptions& options) {
  const bool characterDevice = existing_ && S_ISCHR(existing_->st_mode);
  if (options.regularFilesOnly && !(options.descriptorNames && characterDevice)) {
    throw FileError(NotRegularFile{});
  }
  file_ =
      fileSystem::Descriptor(openat(folder_.Get(), name_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!file_.Valid()) {
    ThrowErrno();
  }
  direct_ = file_.Get();
}

void FileWriter::CreateUnnamed() {
  // The mode is the umask's; an existing file's is taken over below.
  file_ =
      fileSystem::Descriptor(openat(folder_.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (file_.Valid()) {
    return;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    ThrowErrno();
  }
  CreateNamedTemporary();
}

// A signal that ends the program removes the file; one that arrives while it
// is made waits until the handler knows its name.
void FileWriter::CreateNamedTemporary() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = detail::TemporaryName(name_);
    const EndingSignalsHeldBack heldBack;
    if (!detail::Remember(folder_.Get(), name)) {
      ThrowSystemFailure(EMFILE);
    }
    file_ = fileSystem::Descriptor(
        openat(folder_.Get(), name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
    if (file_.Valid()) {
      temporaryName_ = std::move(name);
      return;
    }
    const int errnum = errno;
    detail::Forget(folder_.Get(), name);
    if (errnum != EEXIST) {
      ThrowSystemFailure(errnum);
    }
  }
  ThrowSystemFailure(EEXIST);
}

// Best effort: only root may give a file to another owner, a member of the
// file's group may keep the group, and some file systems keep no permissions
// at all; none of that is a reason to refuse the replacement.
void FileWriter::TakeOverAttributes() {
  if (!existing_) {
    return;
  }
  if (existing_->st_gid != getegid()) {
    static_cast<void>(fchown(file_.Get(), static_cast<uid_t>(-1), existing_->st_gid) == 0);
  }
  if (existing_->st_uid != geteuid()) {
    static_cast<void>(fchown(file_.Get(), existing_->st_uid, static_cast<gid_t>(-1)) == 0);
  }
  static_cast<void>(fchmod(file_.Get(), existing_->st_mode & 07777) == 0);
}

void FileWriter::Write(std::string_view bytes) {
  const int fd = direct_ >= 0 ? direct_ : file_.Get();
  if (fd < 0) {
    ThrowSystemFailure(EBADF);
  }
  if (const int errnum = fileSystem::WriteAll(fd, bytes)) {
    ThrowSystemFailure(errnum);
  }
}

void FileWriter::Commit() {
  if (committed_) {
    return;
  }
  if (direct_ >= 0) {
    committed_ = true;
    if (const int errnum = file_.Close()) {
      ThrowSystemFailure(errnum);
    }
    return;
  }
  if (!file_.Valid()) {
    ThrowSystemFailure(EBADF);
  }
  // The data must be on the disk before a name points at it.
  if (fsync(file_.Get()) != 0) {
    ThrowErrno();
  }
  GiveName();
  committed_ = true;
  if (const int errnum = file_.Close()) {
    ThrowSystemFailure(errnum);
  }
  // Makes the new name itself durable; the file is in place already.
  const fileSystem::Descriptor folder(
      openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) {
    fsync(folder.Get());
  }
}

void FileWriter::GiveName() {
  if (!temporaryName_.empty()) {
    const EndingSignalsHeldBack heldBack;
    if (renameat(folder_.Get(), temporaryName_.c_str(), folder_.Get(), name_.c_str()) != 0) {
      ThrowErrno();
    }
    detail::Forget(folder_.Get(), temporaryName_);
    temporaryName_.clear();
    return;
  }
  if (!existing_) {
    // A new name is linked in one step, or found taken meanwhile.
    const std::string self = "/proc/self/fd/" + std::to_string(file_.Get());
    if (linkat(AT_FDCWD, self.c_str(), folder_.Get(), name_.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        (errno == ENOENT &&
         linkat(file_.Get(), "", folder_.Get(), name_.c_str(), AT_EMPTY_PATH) == 0)) {
      return;
    }
    if (errno != EEXIST) {
      ThrowErrno();
    }
  }
  if (const int errnum = detail::ReplaceWithUnnamed(folder_.Get(), file_.Get(), name_)) {
    ThrowSystemFailure(errnum);
  }
}

void FileWriter::Discard() noexcept {
  if (!temporaryName_.empty()) {
    unlinkat(folder_.Get(), temporaryName_.c_str(), 0);
    detail::Forget(folder_.Get(), temporaryName_);
    temporaryName_.clear();
  }
  file_.Close();
}

}  // namespace textFiles
