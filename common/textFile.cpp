#include "textFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "replacingFile.h"
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
    const std::string target = FileSystemName(path);
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0 && !S_ISDIR(existing.st_mode) &&
        !S_ISREG(existing.st_mode)) {
      Throw(PathError(kErrPathFileAccess, path, kNotRegularFile));
    }
    file_.emplace(target);
  } catch (const std::system_error& e) {
    failure_ = SystemError(e.code().value(), path_);
    Throw(*failure_);
  } catch (const RuntimeErrorException& e) {
    failure_ = e.Error();
    throw;
  }
}

void TextFileWriter::WriteText(std::u16string_view text) {
  if (failure_) {
    Throw(*failure_);
  }
  if (!file_) {
    Fail(PathError(kErrInvalidArgument, path_, u"ファイルが作られていません"));
  }
  textCodec::Encoded encoded = textCodec::EncodeCp932(text);
  if (encoded.error) {
    Fail(PathError(kErrInvalidArgument, path_, UnencodableDetail(*encoded.error)));
  }
  encoded.bytes += "\r\n";
  try {
    file_->Write(encoded.bytes);
  } catch (const std::system_error& e) {
    Fail(SystemError(e.code().value(), path_));
  }
}

void TextFileWriter::Close() {
  if (failure_ || !file_) {
    Discard();
    return;
  }
  try {
    file_->Commit();
  } catch (const std::system_error& e) {
    Fail(SystemError(e.code().value(), path_));
  }
  file_.reset();
}

void TextFileWriter::Fail(RuntimeError error) {
  failure_ = error;
  Discard();
  Throw(std::move(error));
}

void TextFileWriter::Discard() noexcept {
  file_.reset();
}

}  // namespace mdlPokoConv
