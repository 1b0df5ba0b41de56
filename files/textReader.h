// The one reader of text files, for the window and pokopen-convert alike: the
// encoding is detected or named, and line breaks come out as the conversion
// rules expect them. In UTF-8 and UTF-16 text, LF, CR LF and a lone CR each
// end a line; in code page 932 text, CR LF and a lone CR do and a lone LF
// stays inside its line. Every line break that ends a line is given as CR LF.
// A NUL is refused wherever it is, and so, where the encoding is detected,
// are ISO-2022-JP and UTF-8 inside code page 932, before any text of the
// piece holding them is given. Failures are thrown as textFiles::FileError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "encodingDetection.h"
#include "fileError.h"
#include "fileSystem.h"
#include "lineBreaks.h"
#include "textCodec.h"

namespace textFiles {

// How the bytes of a text are to be read.
enum class InputEncoding {
  Auto,     // detected from the text itself
  Utf8,     // a UTF-8 byte-order mark is skipped
  Utf16,    // the byte-order mark tells the byte order and is skipped
  Utf16Le,  // a byte-order mark of this order is skipped
  Utf16Be,
  Cp932,
};

// What becomes of line breaks: CR LF, as the conversion rules expect them
// (see lineBreaks.h), or left as they are.
enum class LineBreaks { AsCrLf, AsTheyAre };

// Bytes done of a total (0 when the total is not known).
using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Bytes in, text out, in pieces of any size: the text of a piece is given as
// soon as its encoding is known and its characters are whole.
class TextDecoder {
 public:
  explicit TextDecoder(InputEncoding encoding, LineBreaks lineBreaks = LineBreaks::AsCrLf);

  // Takes the next bytes and appends the text they complete to out.
  void Push(std::string_view bytes, std::u16string& out);
  // The input has ended: appends the rest.
  void Finish(std::u16string& out);

  // The encoding, once it is known.
  std::optional<textCodec::Encoding> Encoding() const { return encoding_; }

 private:
  void Decide(bool complete);
  void DecodeHeld(bool final, std::u16string& out);
  void DecodeAndHold(std::string_view bytes, bool final, std::u16string& out);
  // Decodes the whole characters of bytes; returns how many bytes that took.
  std::size_t Decode(std::string_view bytes, bool final, std::u16string& out);
  // Throws what the watch finds in the bytes decoded, or before the first
  // invalid byte if there is one.
  void Watch(std::string_view bytes, std::size_t consumed, std::optional<std::size_t> invalidAt);
  [[noreturn]] void ThrowInvalid(std::string_view bytes, std::size_t invalidAt, bool final);
  void AppendLines(std::u16string_view text, std::u16string& out);

  InputEncoding asked_;
  LineBreaks lineBreaks_;
  std::optional<textCodec::Encoding> encoding_;
  bool guessed_ = false;                 // the encoding was detected without certainty
  std::string held_;                     // bytes not decoded yet
  std::uint64_t offset_ = 0;             // where held_ starts in the input
  std::size_t nextDetection_;            // held bytes at which to try detecting again
  std::unique_ptr<char16_t[]> decoded_;  // reused between pieces
  std::size_t decodedRoom_ = 0;
  std::optional<LineBreakNormalizer> normalizer_;  // once the encoding is known
  std::optional<textCodec::TextWatch> watch_;      // once the encoding is known
  // For code page 932 named: whether the bytes decoded are valid UTF-8 too.
  std::optional<textCodec::Utf8Validity> utf8Validity_;
};

// How a file is to be read.
struct ReadOptions {
  InputEncoding encoding = InputEncoding::Auto;
  // Refuse anything but a regular file (the window: a pipe must not hang it).
  bool regularFilesOnly = false;
  LineBreaks lineBreaks = LineBreaks::AsCrLf;
};

// A text file, or a descriptor such as standard input, read a piece at a time.
class TextReader {
 public:
  TextReader(const std::string& path, const ReadOptions& options);
  // Reads from fd, which stays open.
  TextReader(int fd, const ReadOptions& options);

  // Appends the next piece of text, of at most mostBytes of input, to out;
  // false once the input has ended.
  bool Read(std::u16string& out, std::size_t mostBytes = kReadBytes);

  static constexpr std::size_t kReadBytes = std::size_t{1} << 20;

  // The size of a regular file when it was opened, 0 for anything else.
  std::uint64_t Size() const { return size_; }
  std::uint64_t BytesRead() const { return bytesRead_; }
  // Whether a byte read so far may be a CR; until then the text holds none.
  bool MayHoldCr() const { return crByteRead_; }
  // The encoding, once it is known.
  std::optional<textCodec::Encoding> Encoding() const { return decoder_.Encoding(); }

 private:
  void CheckKind(const ReadOptions& options);

  fileSystem::Descriptor owned_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool ended_ = false;
  bool crByteRead_ = false;
  TextDecoder decoder_;
  std::string buffer_;
};

// The whole text of a file; its memory is the text's own and a piece more.
std::u16string ReadTextFile(const std::string& path, const ReadOptions& options,
                            const Progress& progress = {});

}  // namespace textFiles
