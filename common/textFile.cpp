#include "textFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "textCodec.h"

namespace mdlPokoConv {

namespace {

constexpr std::u16string_view kNotRegularFile = u"通常のファイルではありません";

[[noreturn]] void Throw(RuntimeError error) {
  throw RuntimeErrorException(std::move(error));
}

[[noreturn]] void ThrowErrno(int errnum, std::u16string_view path) {
  Throw(SystemError(errnum, path));
}

std::u16string Decimal(std::size_t value) {
  return AsciiText(std::to_string(value));
}

// The name the system knows the file by. A path that no file name can hold (a
// lone surrogate, a NUL) is a bad name.
std::string FileSystemName(std::u16string_view path) {
  textCodec::Encoded encoded = textCodec::EncodeUtf8(path);
  if (encoded.error || encoded.bytes.find('\0') != std::string::npos) {
    ThrowErrno(EINVAL, path);
  }
  return std::move(encoded.bytes);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

std::string ReadWholeFile(const std::string& name, std::u16string_view path) {
  // O_NONBLOCK: opening a named pipe must not hang the window; it is refused
  // below with every other kind of file that is not a regular one.
  const Descriptor file(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) {
    ThrowErrno(errno, path);
  }
  struct stat info {};
  if (fstat(file.Get(), &info) != 0) {
    ThrowErrno(errno, path);
  }
  if (S_ISDIR(info.st_mode)) {
    ThrowErrno(EISDIR, path);
  }
  if (!S_ISREG(info.st_mode)) {
    Throw(PathError(kErrPathFileAccess, path, kNotRegularFile));
  }

  // One byte more than the size, so a file that has not grown meets its end
  // without the buffer growing.
  std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      bytes.resize(bytes.size() * 2);
    }
    const ssize_t count = read(file.Get(), bytes.data() + filled, bytes.size() - filled);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno, path);
    }
    if (count == 0) {
      break;
    }
    filled += static_cast<std::size_t>(count);
  }
  bytes.resize(filled);
  return bytes;
}

[[noreturn]] void ThrowInvalidBytes(std::u16string_view path, std::u16string_view encoding,
                                    std::size_t offset) {
  std::u16string detail(encoding);
  detail += u" として読めないバイトがあります (オフセット ";
  detail += Decimal(offset);
  detail += u")";
  Throw(PathError(kErrInvalidArgument, path, detail));
}

bool HasNonAscii(std::string_view bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      return true;
    }
  }
  return false;
}

// Byte-order mark, then strict UTF-8, then code page 932: a UTF-8 file never
// loads as garbled code page 932 text.
std::u16string DecodeFileText(std::string_view bytes, std::u16string_view path) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (bytes.starts_with(kByteOrderMark)) {
    textCodec::Decoded decoded = textCodec::DecodeUtf8(bytes.substr(kByteOrderMark.size()));
    if (decoded.error) {
      ThrowInvalidBytes(path, u"UTF-8", decoded.error->byteOffset + kByteOrderMark.size());
    }
    return std::move(decoded.text);
  }
  if (HasNonAscii(bytes)) {
    textCodec::Decoded decoded = textCodec::DecodeUtf8(bytes);
    if (!decoded.error) {
      return std::move(decoded.text);
    }
  }
  textCodec::Decoded decoded = textCodec::DecodeCp932(bytes);
  if (decoded.error) {
    ThrowInvalidBytes(path, u"コードページ 932", decoded.error->byteOffset);
  }
  return std::move(decoded.text);
}

// CR LF and a lone CR end a line, a lone LF does not; every line, the last one
// too, is followed by CR LF.
std::u16string WithCrLfLineEnds(std::u16string_view text) {
  std::u16string lines;
  lines.reserve(text.size() + text.size() / 16 + 2);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t cr = text.find(u'\r', start);
    if (cr == std::u16string_view::npos) {
      lines += text.substr(start);
      lines += u"\r\n";
      break;
    }
    lines += text.substr(start, cr - start);
    lines += u"\r\n";
    start = cr + 1;
    if (start < text.size() && text[start] == u'\n') {
      ++start;
    }
  }
  return lines;
}

std::u16string UnencodableDetail(const textCodec::Unencodable& where) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(where.codePoint));
  std::u16string detail = Decimal(where.line);
  detail += u" 行目 ";
  detail += Decimal(where.column);
  detail += u" 文字目の ";
  detail += AsciiText(hex);
  detail += u" はコードページ 932 で保存できない文字です";
  return detail;
}

std::string FolderOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : name.substr(0, slash);
}

// A new file with a name of its own in folder, made as open(2) makes any new
// file: mode 0666 less the umask.
int CreateUniqueFile(const std::string& folder, std::string& name, std::u16string_view path) {
  std::random_device random;
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    std::string candidate = folder + "/.pokopen-" + suffix + ".tmp";
    const int fd =
        open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      name = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) {
      ThrowErrno(errno, path);
    }
  }
  ThrowErrno(EEXIST, path);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Gives the new file the owner and permissions of the one it replaces. Best
// effort: only root may give a file away, and some file systems keep no
// permissions at all; neither is a reason to refuse the save.
void KeepOwnerAndPermissions(int fd, const struct stat& existing) {
  if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
    static_cast<void>(fchown(fd, existing.st_uid, existing.st_gid) == 0);
  }
  static_cast<void>(fchmod(fd, existing.st_mode & 07777) == 0);
}

// Makes the rename itself durable. The file is already in place, so a failure
// here is not one of the save.
void SyncFolder(const std::string& folder) {
  const Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.Get() >= 0) {
    fsync(directory.Get());
  }
}

}  // namespace

std::u16string LoadTextFile(std::u16string_view path) {
  const std::string bytes = ReadWholeFile(FileSystemName(path), path);
  return WithCrLfLineEnds(DecodeFileText(bytes, path));
}

TextFileWriter::~TextFileWriter() {
  Discard();
}

void TextFileWriter::Create(std::u16string_view path) {
  Discard();
  failure_.reset();
  path_ = path;
  try {
    target_ = FileSystemName(path);
    struct stat existing {};
    const bool exists = stat(target_.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
      ThrowErrno(errno, path);
    }
    if (exists) {
      if (S_ISDIR(existing.st_mode)) {
        ThrowErrno(EISDIR, path);
      }
      if (!S_ISREG(existing.st_mode)) {
        Throw(PathError(kErrPathFileAccess, path, kNotRegularFile));
      }
      // A symbolic link stays a link: the file it points to is replaced.
      const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(target_.c_str(), nullptr),
                                                                 &std::free);
      if (!resolved) {
        ThrowErrno(errno, path);
      }
      target_ = resolved.get();
      // A read-only file is not replaced, though its folder would allow it.
      if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowErrno(errno, path);
      }
    }
    descriptor_ = CreateUniqueFile(FolderOf(target_), temporary_, path);
    if (exists) {
      KeepOwnerAndPermissions(descriptor_, existing);
    }
  } catch (const RuntimeErrorException& e) {
    failure_ = e.Error();
    Discard();
    throw;
  }
}

void TextFileWriter::WriteText(std::u16string_view text) {
  if (failure_) {
    Throw(*failure_);
  }
  if (descriptor_ < 0) {
    Fail(PathError(kErrInvalidArgument, path_, u"ファイルが作られていません"));
  }
  textCodec::Encoded encoded = textCodec::EncodeCp932(text);
  if (encoded.error) {
    Fail(PathError(kErrInvalidArgument, path_, UnencodableDetail(*encoded.error)));
  }
  encoded.bytes += "\r\n";
  if (!WriteAll(descriptor_, encoded.bytes)) {
    FailWithErrno(errno);
  }
}

void TextFileWriter::Close() {
  if (failure_ || descriptor_ < 0) {
    Discard();
    return;
  }
  if (fsync(descriptor_) != 0) {
    FailWithErrno(errno);
  }
  const int fd = std::exchange(descriptor_, -1);
  if (close(fd) != 0 && errno != EINTR) {
    FailWithErrno(errno);
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    FailWithErrno(errno);
  }
  temporary_.clear();
  SyncFolder(FolderOf(target_));
}

void TextFileWriter::Fail(RuntimeError error) {
  failure_ = error;
  Discard();
  Throw(std::move(error));
}

void TextFileWriter::FailWithErrno(int errnum) {
  Fail(SystemError(errnum, path_));
}

void TextFileWriter::Discard() noexcept {
  if (descriptor_ >= 0) {
    close(std::exchange(descriptor_, -1));
  }
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace mdlPokoConv
