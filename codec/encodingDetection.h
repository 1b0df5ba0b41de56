// Which encoding a text file is in, decided from its start, so that a file is
// never read in the wrong encoding without a word: either it is read in the
// one encoding it makes sense in, or it is refused, naming the encoding it
// most likely is and where it stops being valid in it. What no text may hold
// wherever it shows (a NUL, ISO-2022-JP, UTF-8 inside code page 932) is
// looked for in the rest as it is read, by a TextWatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "textCodec.h"

namespace textCodec {

// The encoding, and the length of the byte-order mark to skip.
struct Detected {
  Encoding encoding = Encoding::Utf8;
  std::size_t markLength = 0;
  // Told by a mark or by plenty of clear UTF-8, rather than by default.
  bool certain = false;
};

// A text that is not read, and why.
struct Undetected {
  enum class Reason {
    Invalid,      // stops being valid in `likely` at byteOffset
    NulByte,      // holds a NUL at byteOffset: not text, or UTF-16 (`likely`) without a mark
    EucJp,        // is EUC-JP, which is not read; UTF-8 fails at byteOffset
    Iso2022Jp,    // is ISO-2022-JP, which is not read: an escape sequence at byteOffset
    Mixed,        // mixes UTF-8 and code page 932: `likely` shows from byteOffset
    NotJapanese,  // neither UTF-8 nor Japanese code page 932; UTF-8 fails at byteOffset
  };
  Reason reason = Reason::Invalid;
  Encoding likely = Encoding::Utf8;
  std::size_t byteOffset = 0;
  // For Invalid: the bytes (after any byte-order mark) are valid UTF-8, so
  // they are UTF-8 taken for another encoding.
  bool validUtf8 = false;
};

// The start seen so far does not decide yet.
struct NeedMoreBytes {};

using Detection = std::variant<NeedMoreBytes, Detected, Undetected>;

// A text whose first mebibyte is valid UTF-8 is UTF-8; where UTF-8 fails, the
// text up to this far past the fault is weighed.
inline constexpr std::size_t kUndecidedLimit = std::size_t{1} << 20;
inline constexpr std::size_t kLookPastFault = std::size_t{64} << 10;

// Decides the encoding of a text from its first bytes; `complete` says they
// are the whole text. It looks at the first mebibyte at most, or up to 64 KiB
// past the first fault of UTF-8, however the text goes on.
// 1. A byte-order mark: UTF-8, UTF-16LE or UTF-16BE. Behind a UTF-16 mark,
//    bytes that are valid UTF-8 with no NUL (and a few bytes beyond ASCII
//    that make sense, or a line break) are UTF-8 behind a wrong mark; units
//    that no text holds (controls, private-use characters), a sixteenth of
//    the first 4 KiB, are not UTF-16 either. Both are refused as invalid UTF-16.
// 2. UTF-8 while the text is valid UTF-8. Only a whole text too short to tell
//    (at most one run of half-width katakana pairs that also make sense as
//    code page 932, and no sense as UTF-8: "ﾄｰﾙｰ" is C4 B0 D9 B0) is read as
//    code page 932 instead.
// 3. Where UTF-8 stops being valid, the text is UTF-8 gone bad (cut or
//    damaged) when the valid UTF-8 around the fault outweighs the bytes that
//    are not, four to one; then it is refused as invalid UTF-8 at that offset,
//    but for fewer than 16 bytes of it, which half-width katakana also
//    make: then code page 932 is weighed first.
// 4. Code page 932 with words of UTF-8 in it (two Japanese characters of
//    UTF-8 in a row where a character begins, the rest reading as code page
//    932 Japanese) is refused as mixed, where the second encoding shows.
// 5. Otherwise code page 932, if it is valid and reads as Japanese (see
//    Cp932Weigher in the source: mostly common characters, and half-width
//    katakana placed as Japanese words place them).
// 6. Otherwise refused: EUC-JP by name when its kana show; a text whose bytes
//    make less sense as UTF-8 than they fault, and that does not read as
//    Japanese code page 932 even allowing for a damage, as not Japanese; else
//    naming the one of the two encodings with fewer faults in it, or failing
//    that the one it stays valid in longer. A NUL byte before the decision is
//    refused too.
Detection DetectEncoding(std::string_view start, bool complete);

// Looks through a text, in the pieces it is read in, for what no text that
// is read may hold anywhere: a NUL character; and, when its encoding was
// detected rather than named, the escape sequences that switch ISO-2022-JP
// into Japanese (ESC $ @, ESC $ B, ESC $ ( D, ESC ( I, ESC ( J) and, in code
// page 932, two Japanese characters of UTF-8 in a row (as bytes of real code
// page 932 text never are).
class TextWatch {
 public:
  TextWatch(Encoding encoding, bool detected) : encoding_(encoding), detected_(detected) {}

  // Looks at the next bytes of the text, which start at byteOffset in the
  // file and, in UTF-16, on a whole unit; the first fault found, if any.
  std::optional<Undetected> Look(std::string_view bytes, std::uint64_t byteOffset);

 private:
  std::optional<std::size_t> FindEscapeFrom(std::string_view bytes, std::size_t byteOffset) const;
  std::optional<std::size_t> FindPairFrom(std::string_view bytes, std::size_t byteOffset);

  Encoding encoding_;
  bool detected_;
  // The ends of the last piece that may begin what goes on in the next.
  std::string escapeTail_;
  std::string pairTail_;  // whole characters of code page 932
};

// Whether bytes given in pieces are valid UTF-8 so far.
class Utf8Validity {
 public:
  void Add(std::string_view bytes);
  // Whether the bytes so far are valid UTF-8; `whole` says they are all of
  // them, so that a character cut off at the end is invalid.
  bool Valid(bool whole) const { return valid_ && (!whole || pending_ == 0); }

 private:
  bool valid_ = true;
  int pending_ = 0;  // continuation bytes the last character still needs
  unsigned char low_ = 0x80;
  unsigned char high_ = 0xBF;  // the range of the next continuation byte
};

}  // namespace textCodec
