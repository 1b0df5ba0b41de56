// Which encoding a text file is in, decided from its start, so that a file is
// never read in the wrong encoding without a word: either it is read in the
// one encoding it makes sense in, or it is refused, naming the encoding it
// most likely is and where it stops being valid in it.
#pragma once

#include <cstddef>
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

// A text that is neither valid UTF-8 nor plausible code page 932.
struct Undetected {
  enum class Reason {
    Invalid,  // stops being valid in `likely` at byteOffset
    NulByte,  // holds a NUL at byteOffset: not text, or UTF-16 without a mark
    EucJp,    // is EUC-JP, which is not read; UTF-8 fails at byteOffset
  };
  Reason reason = Reason::Invalid;
  Encoding likely = Encoding::Utf8;
  std::size_t byteOffset = 0;
};

// The start seen so far does not decide yet.
struct NeedMoreBytes {};

using Detection = std::variant<NeedMoreBytes, Detected, Undetected>;

// A text whose first mebibyte is valid UTF-8 is UTF-8; where UTF-8 fails, the
// text up to this far past the fault is weighed.
inline constexpr std::size_t kUndecidedLimit = std::size_t{1} << 20;
inline constexpr std::size_t kLookPastFault = std::size_t{64} << 10;
// Given at least this many bytes, DetectEncoding always decides.
inline constexpr std::size_t kMostBytesToDetect = kUndecidedLimit + kLookPastFault;

// Decides the encoding of a text from its first bytes; `complete` says they
// are the whole text.
// 1. A byte-order mark: UTF-8, UTF-16LE or UTF-16BE.
// 2. UTF-8 while the text is valid UTF-8. Only a whole text too short to tell
//    (at most one run of half-width katakana pairs that also make sense as
//    code page 932, and no sense as UTF-8: "ﾄｰﾙｰ" is C4 B0 D9 B0) is read as
//    code page 932 instead.
// 3. Where UTF-8 stops being valid, the text is UTF-8 gone bad (cut or
//    damaged) when the valid UTF-8 around the fault outweighs the bytes that
//    are not, four to one; then it is refused as invalid UTF-8 at that offset.
// 4. Otherwise code page 932, if it is valid and reads as Japanese: most of
//    its characters are kana, JIS level 1 kanji, Japanese punctuation or
//    full- and half-width forms, and half-width punctuation is at most a
//    quarter of it (as in EUC-JP read as code page 932).
// 5. Otherwise refused, naming EUC-JP when the text is that, or else the one of
//    the two encodings with fewer faults in it, or failing that the one it
//    stays valid in longer. A NUL byte before the decision is refused too.
Detection DetectEncoding(std::string_view start, bool complete);

}  // namespace textCodec
