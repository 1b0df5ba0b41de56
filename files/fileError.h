// What can go wrong reading or writing a text file, for each program to tell
// in its own words: the window in its error report, pokopen-convert on
// standard error.
#pragma once

#include <cstdint>
#include <exception>
#include <utility>
#include <variant>
#include <vector>

#include "textCodec.h"

namespace textFiles {

// A system call failed with this errno.
struct SystemFailure {
  int errnum = 0;
};

// The file is a folder, device, pipe or socket where only a regular file will do.
struct NotRegularFile {};

// The bytes stop being valid in `encoding` at byteOffset. `guessed` says the
// encoding was detected without certainty, so naming another may help;
// `validUtf8` that the bytes (after any byte-order mark) are valid UTF-8, so
// they are UTF-8 taken for another encoding.
struct InvalidText {
  textCodec::Encoding encoding = textCodec::Encoding::Utf8;
  std::uint64_t byteOffset = 0;
  bool guessed = false;
  bool validUtf8 = false;
};

// A NUL byte (in UTF-16, a NUL character) at byteOffset: not a text, or a
// damaged one. `maybeUtf16` says it may be UTF-16 without a byte-order mark
// (no line break before it).
struct NulByte {
  std::uint64_t byteOffset = 0;
  bool maybeUtf16 = false;
};

// The text is EUC-JP, which is not read.
struct EucJpText {};

// The text is ISO-2022-JP, which is not read: its first escape sequence into
// Japanese is at byteOffset.
struct Iso2022JpText {
  std::uint64_t byteOffset = 0;
};

// The text mixes UTF-8 and code page 932: `second` is the one that shows
// later, from byteOffset on.
struct MixedEncodings {
  textCodec::Encoding second = textCodec::Encoding::Utf8;
  std::uint64_t byteOffset = 0;
};

// The text is neither UTF-8 nor Japanese code page 932 (another language's
// encoding, or not text); UTF-8 fails at byteOffset.
struct NotJapaneseText {
  std::uint64_t byteOffset = 0;
};

// UTF-16 was named, but the text has no byte-order mark to tell its byte order.
struct NoByteOrderMark {};

// A character that the output encoding cannot hold, where it stands in the text.
struct UnencodableText {
  textCodec::Encoding encoding = textCodec::Encoding::Cp932;
  textCodec::Unencodable where;              // the first of them
  std::uint64_t count = 1;                   // how many characters in all
  std::vector<textCodec::Unencodable> next;  // where some of those after it are
};

using Problem =
    std::variant<SystemFailure, NotRegularFile, InvalidText, NulByte, EucJpText, Iso2022JpText,
                 MixedEncodings, NotJapaneseText, NoByteOrderMark, UnencodableText>;

class FileError : public std::exception {
 public:
  explicit FileError(Problem problem) : problem_(std::move(problem)) {}
  const Problem& What() const noexcept { return problem_; }
  const char* what() const noexcept override { return "text file error"; }

 private:
  Problem problem_;
};

[[noreturn]] inline void ThrowSystemFailure(int errnum) {
  throw FileError(SystemFailure{errnum});
}

}  // namespace textFiles
