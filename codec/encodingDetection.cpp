#include "encodingDetection.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace textCodec {

namespace {

// Bytes of clear UTF-8 that settle the question while the text is valid.
constexpr std::size_t kEnoughEvidence = 256;
// Bytes of clear UTF-8 around a fault that no half-width katakana make.
constexpr std::size_t kSureEvidence = 16;
// After a UTF-16 byte-order mark, this much of the text is looked at for
// units that no text holds.
constexpr std::size_t kUtf16Weighed = 4096;

struct Mark {
  std::string_view bytes;
  Encoding encoding;
};

constexpr Mark kMarks[] = {
    {"\xEF\xBB\xBF", Encoding::Utf8},
    {"\xFF\xFE", Encoding::Utf16Le},
    {"\xFE\xFF", Encoding::Utf16Be},
};

bool IsAscii(unsigned char byte) {
  return byte < 0x80;
}

bool IsAsciiLetter(unsigned char byte) {
  return (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
}

// Bytes that code page 932 reads as half-width katakana or punctuation.
bool IsHalfWidthByte(unsigned char byte) {
  return byte >= 0xA1 && byte <= 0xDF;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// What a character is, for telling real UTF-8 from bytes of another encoding
// that happen to form UTF-8: such bytes give letters of unrelated scripts side
// by side, marks with nothing to combine with, and private-use characters.
struct CharacterKind {
  enum class Class { Neutral, Letter, Mark, Nonsense } kind = Class::Neutral;
  int script = 0;  // for letters: scripts that may stand side by side share it
};

CharacterKind KindOf(char32_t c) {
  using Class = CharacterKind::Class;
  constexpr int kLatin = 1;
  constexpr int kGreek = 2;
  constexpr int kCyrillic = 3;
  if (c < 0xC0 || (c >= 0x2B0 && c < 0x300)) {
    return {Class::Neutral};  // Latin-1 symbols, spacing modifiers
  }
  if (c < 0x2B0) {
    return {Class::Letter, kLatin};
  }
  if (c < 0x370) {
    return {Class::Mark};
  }
  if (c < 0x400) {
    return {Class::Letter, kGreek};
  }
  if (c < 0x530) {
    return {Class::Letter, kCyrillic};
  }
  if (c < 0x2000) {
    // Armenian to Mongolian and the Latin and Greek extensions, told apart by
    // their 128-character blocks.
    return {Class::Letter, 16 + static_cast<int>(c >> 7)};
  }
  if (c >= 0xE000 && c < 0xF900) {
    return {Class::Nonsense};
  }
  if ((c >= 0xA000 && c < 0xD800) || (c >= 0xFB00 && c < 0xFE00)) {
    return {Class::Letter, 16 + static_cast<int>(c >> 7)};
  }
  if (c >= 0xFE00 && c < 0xFE10) {
    return {Class::Mark};
  }
  // Punctuation, symbols, CJK, kana, full-width forms, emoji: they stand
  // beside anything.
  return {Class::Neutral};
}

// Whether a stretch of characters, decoded from UTF-8 between ASCII bytes or
// faults, makes sense as text.
bool MakesSense(const std::u32string& stretch, bool afterAsciiLetter) {
  using Class = CharacterKind::Class;
  bool afterLetter = afterAsciiLetter;
  std::optional<int> previousScript;
  for (const char32_t c : stretch) {
    const CharacterKind kind = KindOf(c);
    switch (kind.kind) {
      case Class::Nonsense:
        return false;
      case Class::Mark:
        if (!afterLetter) {
          return false;
        }
        continue;
      case Class::Letter:
        if (previousScript && *previousScript != kind.script) {
          return false;
        }
        previousScript = kind.script;
        afterLetter = true;
        continue;
      case Class::Neutral:
        previousScript.reset();
        afterLetter = c >= 0x3000;  // a kana or kanji may take a mark
        continue;
    }
  }
  return true;
}

// What one pass of strict UTF-8 over the start of a text found, going on past
// faults so that the look-ahead is weighed as a whole.
struct Utf8Survey {
  std::optional<std::size_t> firstFault;
  std::optional<std::size_t> firstNul;
  std::size_t evidenceBytes = 0;  // in stretches that make sense as UTF-8
  std::size_t faults = 0;         // places where no valid sequence begins
  std::size_t nonAsciiBytes = 0;
  std::size_t scanned = 0;  // bytes looked at; the rest ends inside a character
  bool decided = false;     // the bytes looked at decide, whatever may follow
};

class Utf8Surveyor {
 public:
  // lookPast: how far past the first fault to go on.
  Utf8Surveyor(std::string_view bytes, bool complete, std::size_t lookPast = kLookPastFault)
      : bytes_(bytes), complete_(complete), lookPast_(lookPast) {}

  // Reads from the start until the text decides: a NUL byte, enough clear
  // UTF-8, the undecided limit, or a fault and the look-ahead past it. What
  // is read depends only on the bytes, never on how many were given, so a
  // text read in pieces decides as it does when read whole.
  Utf8Survey Run() {
    std::size_t i = 0;
    while (i < bytes_.size() && !Decided(i)) {
      const auto byte = At(i);
      if (IsAscii(byte)) {
        if (byte == 0 && !survey_.firstNul) {
          survey_.firstNul = i;
        }
        EndStretch();
        ++i;
        continue;
      }
      const std::optional<std::size_t> length = Sequence(i);
      if (!length) {
        break;  // the bytes end inside a character that may yet be whole
      }
      i += *length;
    }
    if (i == bytes_.size() && complete_) {
      EndStretch();
    }
    survey_.scanned = i;
    survey_.decided = Decided(i) || (i == bytes_.size() && complete_);
    return survey_;
  }

 private:
  unsigned char At(std::size_t i) const { return static_cast<unsigned char>(bytes_[i]); }

  bool Decided(std::size_t i) const {
    if (survey_.firstFault) {
      return i >= *survey_.firstFault + lookPast_;
    }
    return survey_.firstNul || survey_.evidenceBytes >= kEnoughEvidence || i >= kUndecidedLimit;
  }

  // Continuation bytes right after a fault belong to it: a damaged sequence
  // is one fault however many bytes it leaves stranded.
  void Fault(std::size_t at) {
    if (!survey_.firstFault) {
      survey_.firstFault = at;
    }
    if (at != afterLastFault_ || !IsContinuation(At(at))) {
      ++survey_.faults;
    }
    afterLastFault_ = at + 1;
    EndStretch();
  }

  // Reads the sequence that begins at i; its length, or nullopt when the
  // bytes end inside it and more may follow.
  std::optional<std::size_t> Sequence(std::size_t i) {
    const unsigned char lead = At(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
      ++survey_.nonAsciiBytes;
      Fault(i);
      return 1;
    }
    const std::size_t available = std::min(length, bytes_.size() - i);
    for (std::size_t k = 1; k < available; ++k) {
      const unsigned char next = At(i + k);
      const bool fits = k == 1 ? next >= low && next <= high : IsContinuation(next);
      if (!fits) {
        ++survey_.nonAsciiBytes;
        Fault(i);
        return 1;
      }
    }
    if (available < length) {
      if (!complete_) {
        return std::nullopt;
      }
      // Cut off at the end. A lead and at least one fitting byte is what a
      // cut UTF-8 file looks like; a lone lead byte is a cut too, but tells
      // nothing of the encoding.
      survey_.nonAsciiBytes += available;
      if (!survey_.firstFault) {
        survey_.firstFault = i;
      }
      stretchBytes_ += available >= 2 ? available : 0;
      EndStretch();
      return available;
    }
    survey_.nonAsciiBytes += length;
    if (stretch_.empty()) {
      stretchStart_ = i;
    }
    char32_t codePoint = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      codePoint = (codePoint << 6) | (At(i + k) & 0x3Fu);
    }
    stretch_.push_back(codePoint);
    stretchBytes_ += length;
    // A long stretch is weighed in parts, so that the evidence shows early.
    if (stretchBytes_ >= kEnoughEvidence) {
      EndStretch();
    }
    return length;
  }

  // A stretch of valid sequences ends; it counts for UTF-8 when it makes sense
  // as text.
  void EndStretch() {
    const bool afterLetter = stretchStart_ > 0 && IsAsciiLetter(At(stretchStart_ - 1));
    if (stretchBytes_ > 0 && MakesSense(stretch_, afterLetter)) {
      survey_.evidenceBytes += stretchBytes_;
    }
    stretch_.clear();
    stretchBytes_ = 0;
    stretchStart_ = 0;
  }

  std::string_view bytes_;
  bool complete_;
  std::size_t lookPast_;
  Utf8Survey survey_;
  std::u32string stretch_;
  std::size_t stretchBytes_ = 0;
  std::size_t stretchStart_ = 0;
  std::size_t afterLastFault_ = static_cast<std::size_t>(-1);
};

unsigned char ByteAt(std::string_view bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

bool IsCp932Lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsCp932Trail(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// Half-width katakana as Japanese writes them: ｦ to ｯ and ｱ to ﾝ are letters;
// the prolonged sound mark ｰ and the sound marks ﾞ and ﾟ follow a letter.
bool IsHalfWidthLetter(unsigned char byte) {
  return (byte >= 0xA6 && byte <= 0xAF) || (byte >= 0xB1 && byte <= 0xDD);
}

bool IsHalfWidthVowel(unsigned char byte) {
  return byte >= 0xB1 && byte <= 0xB5;
}

bool IsSoundMark(unsigned char byte) {
  return byte == 0xDE || byte == 0xDF;
}

// ﾟ follows ﾊ to ﾎ; ﾞ those, ｶ to ﾄ, ｳ, ﾜ and ｦ.
bool TakesSoundMark(unsigned char letter, unsigned char mark) {
  const bool hRow = letter >= 0xCA && letter <= 0xCE;
  return mark == 0xDF ? hRow
                      : hRow || (letter >= 0xB6 && letter <= 0xC4) || letter == 0xB3 ||
                            letter == 0xDC || letter == 0xA6;
}

bool IsLowercaseAsciiLetter(unsigned char byte) {
  return byte >= 'a' && byte <= 'z';
}

// Whether code page 932 bytes read as Japanese. Other encodings read as code
// page 932 give rare characters and half-width katakana placed as no Japanese
// text places them. So Japanese has:
// - mostly common characters: of the lead bytes 0x81 to 0x84 and 0x87
//   (punctuation, symbols, full-width letters, kana, Greek, Cyrillic, box
//   drawing, NEC's circled numbers) and JIS level 1 kanji; the rarer kanji, the
//   IBM extensions and the user-defined area make at most a fifth of the
//   double-byte characters (a twentieth where half-width katakana outnumber
//   them, none in a text of fewer than 8 characters);
// - half-width punctuation for at most a quarter of its characters (EUC-JP's
//   kana read as ､ and ･);
// - half-width katakana as words: not a letter or two among Latin ones
//   (Latin-1 "Über" reads "ﾜber"), not before a small Latin letter, begun by
//   neither a mark after a Latin letter or digit nor a small letter, and with
//   marks and small letters after letters that take them (KOI8-R "что" reads
//   "ﾞﾔﾏ"); a misplaced one in 32 characters at most (none in a short text),
//   and fewer than a quarter of the marks, small letters, ﾝ and ｯ that are
//   placed right;
// - among 12 half-width letters or more, some of ｦ to ｿ, which Cyrillic,
//   Greek and accented Latin letters (0xC0 to 0xFF in their encodings) never
//   give;
// - among 12 half-width letters or more with no double-byte character, runs
//   of odd length or marks placed right for an eighth of the letters: Chinese
//   and Korean in their two-byte encodings give neither.
class Cp932Weigher {
 public:
  // Bytes that begin no character are stepped over.
  explicit Cp932Weigher(std::string_view bytes) { Weigh(bytes); }

  // Strictly, to read the text; leniently, to name a damaged text, where a
  // fault may have left a half-width character out of place and a few rare
  // characters until the text comes back into step.
  bool ReadsAsJapanese(bool strict = true) const {
    const std::size_t characters = Characters();
    const std::size_t leeway = strict ? 0 : 1;
    const std::size_t odd = oddHalfWidth_ - std::min(oddHalfWidth_, leeway);
    const std::size_t rare = doubleByte_ - commonDoubleByte_;
    if (characters == 0 || halfWidthPunctuation_ * 4 > characters) {
      return false;
    }
    if (characters < 8) {
      return rare <= 2 * leeway && odd == 0;
    }
    if (odd * 32 > characters || (halfWidthLetters_ >= 8 && odd >= 2 && odd * 4 > japaneseMarks_) ||
        (halfWidthLetters_ >= 12 && firstRowsLetters_ == 0) ||
        (halfWidthLetters_ >= 12 && doubleByte_ == 0 && oddLengthRuns_ == 0 &&
         japaneseMarks_ * 8 < halfWidthLetters_)) {
      return false;
    }
    // Two rare characters are let be, as a damaged byte may make them.
    const std::size_t rareLetBe =
        std::max<std::size_t>(2, doubleByte_ / (halfWidth_ > doubleByte_ ? 20 : 5));
    return rare <= rareLetBe + 2 * leeway;
  }

  std::size_t Characters() const { return doubleByte_ + halfWidth_; }

 private:
  void Weigh(std::string_view bytes) {
    unsigned char asciiBefore = 0;  // the character before, if it is ASCII
    for (std::size_t i = 0; i < bytes.size();) {
      const unsigned char byte = ByteAt(bytes, i);
      if (IsHalfWidthByte(byte)) {
        i = WeighHalfWidthRun(bytes, i, asciiBefore);
        asciiBefore = 0;
        continue;
      }
      asciiBefore = IsAscii(byte) ? byte : 0;
      if (IsAscii(byte)) {
        ++i;
        continue;
      }
      if (!IsCp932Lead(byte) || i + 1 == bytes.size() || !IsCp932Trail(ByteAt(bytes, i + 1))) {
        ++i;  // a fault
        continue;
      }
      const unsigned code = (unsigned{byte} << 8) | ByteAt(bytes, i + 1);
      ++doubleByte_;
      commonDoubleByte_ += byte <= 0x84 || byte == 0x87 || (code >= 0x889F && code <= 0x9872);
      i += 2;
    }
  }

  // Weighs the run of half-width characters at `start`; returns its end.
  std::size_t WeighHalfWidthRun(std::string_view bytes, std::size_t start,
                                unsigned char asciiBefore) {
    std::size_t end = start;
    unsigned char before = 0;  // the character before in the run
    for (; end < bytes.size() && IsHalfWidthByte(ByteAt(bytes, end)); ++end) {
      const unsigned char byte = ByteAt(bytes, end);
      ++halfWidth_;
      halfWidthPunctuation_ += byte <= 0xA5 ? 1 : 0;
      halfWidthLetters_ += IsHalfWidthLetter(byte) ? 1 : 0;
      firstRowsLetters_ += byte >= 0xA6 && byte <= 0xBF ? 1 : 0;
      const bool inWord = end + 1 < bytes.size() && IsHalfWidthLetter(ByteAt(bytes, end + 1));
      switch (PlaceOf(before, byte, inWord)) {
        case Place::Japanese:
          ++japaneseMarks_;
          break;
        case Place::Misplaced:
          ++oddHalfWidth_;
          break;
        case Place::Plain:
          break;
      }
      before = byte;
    }
    // The last run may be cut short with the text.
    oddLengthRuns_ += end < bytes.size() ? (end - start) % 2 : 0;
    const unsigned char first = ByteAt(bytes, start);
    const unsigned char next = end < bytes.size() ? ByteAt(bytes, end) : 0;
    const bool alone = end - start == 1 && (IsAsciiLetter(asciiBefore) || IsAsciiLetter(next));
    const bool amongLatin = IsAsciiLetter(asciiBefore) && end - start <= 2 && IsAsciiLetter(next);
    const bool afterAlphanumeric =
        IsAsciiLetter(asciiBefore) || (asciiBefore >= '0' && asciiBefore <= '9');
    const bool small = first >= 0xA7 && first <= 0xAF;
    oddHalfWidth_ += alone || amongLatin || small || (afterAlphanumeric && IsMark(first)) ||
                             IsLowercaseAsciiLetter(next)
                         ? 1
                         : 0;
    return end;
  }

  // ｰ, ﾞ and ﾟ, which follow a letter.
  static bool IsMark(unsigned char byte) { return IsSoundMark(byte) || byte == 0xB0; }

  // Where a half-width character stands among the letters of its run:
  // placed as Japanese words place it, placed as they never do, or neither.
  // Japanese words are full of ﾝ, ｯ, ｰ, small letters after the letters they
  // follow (ｷｬ, ﾌｧ, ﾃｨ) and sound marks after letters that take them (ｶﾞ, ﾊﾟ),
  // which other encodings read as code page 932 seldom give.
  enum class Place { Plain, Japanese, Misplaced };

  static Place PlaceOf(unsigned char before, unsigned char byte, bool inWord) {
    const bool afterLetter = IsHalfWidthLetter(before);
    const bool afterMark = IsSoundMark(before);
    if (byte == 0xDD) {
      return Place::Japanese;
    }
    // No word begins with a mark, ｰ included (EUC-KR "병합 베이스가" reads
    // "ｺｴﾇﾕ ｺ｣ﾀﾌｽｺｰ｡").
    if (before == 0 && IsMark(byte) && inWord) {
      return Place::Misplaced;
    }
    if (byte == 0xAF || byte == 0xB0) {  // ｯ, ｰ
      return afterLetter || afterMark
                 ? Place::Japanese
                 : (before != 0 && byte == 0xAF ? Place::Misplaced : Place::Plain);
    }
    if (byte >= 0xA7 && byte <= 0xAE && before != 0) {
      return afterMark || (afterLetter && FollowsWith(before, byte)) ? Place::Japanese
                                                                     : Place::Misplaced;
    }
    if (IsSoundMark(byte) && afterLetter) {
      if (TakesSoundMark(before, byte)) {
        return Place::Japanese;
      }
      return inWord && !IsHalfWidthVowel(before) ? Place::Misplaced : Place::Plain;
    }
    return Place::Plain;
  }

  // Whether a small letter follows the letter: ｬ, ｭ and ｮ the i row (ｷ ｼ ﾁ
  // ﾆ ﾋ ﾐ ﾘ) and ﾃ, ﾌ; ｧ to ｫ those, ｲ, ｳ, ｸ, ｽ, ﾂ and ﾄ.
  static bool FollowsWith(unsigned char letter, unsigned char small) {
    constexpr std::string_view kBeforeYa = "\xB7\xBC\xC1\xC6\xCB\xD0\xD8\xC3\xCC";
    constexpr std::string_view kBeforeA = "\xB2\xB3\xB8\xBD\xC2\xC4";
    const bool ya = small >= 0xAC;
    return kBeforeYa.find(static_cast<char>(letter)) != std::string_view::npos ||
           (!ya && kBeforeA.find(static_cast<char>(letter)) != std::string_view::npos);
  }

  std::size_t doubleByte_ = 0;
  std::size_t commonDoubleByte_ = 0;
  std::size_t halfWidth_ = 0;
  std::size_t halfWidthPunctuation_ = 0;
  std::size_t halfWidthLetters_ = 0;
  std::size_t japaneseMarks_ = 0;
  // ｦ to ｿ: the small letters and the a, ka and sa rows, which any Japanese
  // text of a few words has, and the letters of alphabets in other 8-bit
  // encodings (0xC0 to 0xDF) never give.
  std::size_t firstRowsLetters_ = 0;
  // Runs of half-width characters of odd length: a text of Chinese or Korean
  // characters in two bytes each, read as code page 932, has none.
  std::size_t oddLengthRuns_ = 0;
  std::size_t oddHalfWidth_ = 0;  // places where Japanese never has half-width katakana
};

std::optional<Detected> ByteOrderMark(std::string_view start) {
  for (const Mark& mark : kMarks) {
    if (start.starts_with(mark.bytes)) {
      return Detected{mark.encoding, mark.bytes.size(), true};
    }
  }
  return std::nullopt;
}

bool MayBeginAMark(std::string_view start) {
  return std::any_of(std::begin(kMarks), std::end(kMarks), [&](const Mark& mark) {
    return start.size() < mark.bytes.size() && mark.bytes.starts_with(start);
  });
}

// Where code page 932 first fails in bytes, and how many bytes begin no valid
// character in it, going on past each; a character cut off at the end of the
// whole text is a fault but not counted, as it is what a cut file looks like.
struct Cp932Survey {
  std::optional<std::size_t> firstFault;
  std::size_t faults = 0;
};

Cp932Survey SurveyCp932(std::string_view bytes, bool whole) {
  Cp932Survey survey;
  std::u16string scratch;
  for (std::size_t from = 0; from < bytes.size();) {
    scratch.clear();
    const DecodeProgress progress = DecodeSome(Encoding::Cp932, bytes.substr(from), whole, scratch);
    if (!progress.invalidAt) {
      break;
    }
    const std::size_t at = from + *progress.invalidAt;
    if (!survey.firstFault) {
      survey.firstFault = at;
    }
    const bool cutAtTheEnd = whole && IsCp932Lead(ByteAt(bytes, at)) && at + 1 == bytes.size();
    survey.faults += cutAtTheEnd ? 0 : 1;
    from = at + 1;
  }
  return survey;
}

// Whether bytes are EUC-JP, the older Unix encoding of Japanese: a few
// characters of it at least, a fifth of them kana (rows 4 and 5, which
// Chinese and Korean texts in their EUC encodings seldom use): a text that
// is not read, but can be named.
bool ReadsAsEucJp(std::string_view bytes, bool whole) {
  const auto isRow = [](unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; };
  std::size_t characters = 0;
  std::size_t kana = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char byte = ByteAt(bytes, i);
    if (IsAscii(byte)) {
      ++i;
      continue;
    }
    const std::size_t length = byte == 0x8F ? 3 : 2;
    if (i + length > bytes.size()) {
      if (whole) {
        return false;
      }
      break;
    }
    const bool valid = byte == 0x8E   ? IsHalfWidthByte(ByteAt(bytes, i + 1))
                       : byte == 0x8F ? isRow(ByteAt(bytes, i + 1)) && isRow(ByteAt(bytes, i + 2))
                                      : isRow(byte) && isRow(ByteAt(bytes, i + 1));
    if (!valid) {
      return false;
    }
    ++characters;
    kana += byte == 0xA4 || byte == 0xA5 ? 1 : 0;
    i += length;
  }
  return characters >= 4 && kana * 5 >= characters;
}

// Whether the three bytes at `at` are the UTF-8 of a kana, a CJK ideograph,
// Japanese punctuation or a full-width form.
bool IsJapaneseUtf8(std::string_view bytes, std::size_t at) {
  if (at + 3 > bytes.size()) {
    return false;
  }
  const unsigned char lead = ByteAt(bytes, at);
  const unsigned char second = ByteAt(bytes, at + 1);
  const unsigned char third = ByteAt(bytes, at + 2);
  if (!IsContinuation(second) || !IsContinuation(third)) {
    return false;
  }
  const char32_t c = ((lead & 0x0Fu) << 12) | ((second & 0x3Fu) << 6) | (third & 0x3Fu);
  switch (lead) {
    case 0xE3:
      return c < 0x3100;
    case 0xE4:
      return c >= 0x4E00;
    case 0xE5:
    case 0xE6:
    case 0xE7:
    case 0xE8:
    case 0xE9:
      return true;
    case 0xEF:
      return c >= 0xFF00 && c < 0xFFF0;
    default:
      return false;
  }
}

// 1 where the six bytes at p are shaped like two characters of UTF-8 in the
// ranges of Japanese (leads 0xE3 to 0xE9 and 0xEF), by their bytes alone.
inline unsigned char Utf8PairShape(const unsigned char* p) {
  const auto lead = [](unsigned char byte) -> unsigned char {
    return static_cast<unsigned char>((static_cast<unsigned char>(byte - 0xE3) <= 6) |
                                      (byte == 0xEF));
  };
  const auto follows = [](unsigned char byte) -> unsigned char {
    return static_cast<unsigned char>((byte & 0xC0) == 0x80);
  };
  return static_cast<unsigned char>(lead(p[0]) & follows(p[1]) & follows(p[2]) & lead(p[3]) &
                                    follows(p[4]) & follows(p[5]));
}

// The first place from `from` on, before `end` (at most the size less 5),
// where bytes are shaped like two characters of UTF-8, or `end`. Whole blocks
// are looked at without stopping, which the compiler makes quick.
std::size_t FindUtf8PairShape(std::string_view bytes, std::size_t from, std::size_t end) {
  constexpr std::size_t kBlock = 64;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t block = from; block < end; block += kBlock) {
    if (block + kBlock <= end) {
      unsigned char any = 0;
      for (std::size_t i = 0; i < kBlock; ++i) {
        any |= Utf8PairShape(data + block + i);
      }
      if (any == 0) {
        continue;
      }
    }
    for (std::size_t i = block; i < std::min(end, block + kBlock); ++i) {
      if (Utf8PairShape(data + i) != 0) {
        return i;
      }
    }
  }
  return end;
}

// A character of code page 932 begins at or after `from` where the bytes
// before it, down to `known` (a character's start), show it: after any byte
// below 0x40, which is never part of a double-byte character.
std::size_t Cp932CharacterAt(std::string_view bytes, std::size_t known, std::size_t from) {
  std::size_t i = known;
  for (std::size_t k = from; k > known; --k) {
    if (ByteAt(bytes, k - 1) < 0x40) {
      i = k;
      break;
    }
  }
  while (i < from) {
    i += IsCp932Lead(ByteAt(bytes, i)) ? 2 : 1;
  }
  return i;
}

// Where two Japanese characters of UTF-8 in a row begin at the start of a
// character of code page 932 bytes, reading them from `from`, a character's
// start, on (real code page 932 text never has them; a word pasted into it
// begins where a character does); and the first character from which on the
// bytes end too soon to tell.
struct Utf8PairSearch {
  std::optional<std::size_t> pair;
  std::size_t next = 0;
};

Utf8PairSearch FindJapaneseUtf8Pair(std::string_view bytes, std::size_t from) {
  const std::size_t end = bytes.size() >= 6 ? bytes.size() - 5 : 0;
  std::size_t known = from;  // a character's start
  for (std::size_t i = from; i < end; ++i) {
    i = FindUtf8PairShape(bytes, i, end);
    if (i == end) {
      break;
    }
    known = Cp932CharacterAt(bytes, known, i);
    if (known == i && IsJapaneseUtf8(bytes, i) && IsJapaneseUtf8(bytes, i + 3)) {
      return {i, i};
    }
  }
  return {std::nullopt, std::max(from, Cp932CharacterAt(bytes, known, std::max(known, end)))};
}

// The length of the valid UTF-8 sequence of more than one byte at `at`, or 0.
std::size_t MultiByteSequenceAt(std::string_view bytes, std::size_t at) {
  Utf8Validity validity;
  for (std::size_t length = 2; length <= 4 && at + length <= bytes.size(); ++length) {
    const std::string_view sequence = bytes.substr(at, length);
    validity = {};
    validity.Add(sequence);
    if (validity.Valid(true)) {
      return IsAscii(ByteAt(sequence, 0)) ? 0 : length;
    }
  }
  return 0;
}

// Code page 932 with words of UTF-8 in it: two Japanese characters of UTF-8 in
// a row, and the rest, without its stretches of UTF-8, reads as code page 932
// Japanese. Refused at the offset where the encoding that comes second shows.
std::optional<Undetected> MixedWithUtf8(std::string_view bytes, bool whole) {
  std::optional<std::size_t> pair = FindJapaneseUtf8Pair(bytes, 0).pair;
  if (!pair) {
    return std::nullopt;
  }
  const std::size_t firstUtf8 = *pair;
  std::optional<std::size_t> firstCp932;
  std::string rest;
  const auto keep = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && !firstCp932; ++i) {
      if (!IsAscii(ByteAt(bytes, i))) {
        firstCp932 = i;
      }
    }
    rest.append(bytes.substr(from, to - from));
  };
  std::size_t from = 0;
  while (pair) {
    keep(from, *pair);
    from = *pair;
    while (const std::size_t length = MultiByteSequenceAt(bytes, from)) {
      from += length;
    }
    pair = FindJapaneseUtf8Pair(bytes, from).pair;
  }
  keep(from, bytes.size());
  if (!firstCp932 || SurveyCp932(rest, whole).firstFault || !Cp932Weigher(rest).ReadsAsJapanese()) {
    return std::nullopt;
  }
  if (*firstCp932 < firstUtf8) {
    return Undetected{Undetected::Reason::Mixed, Encoding::Utf8, firstUtf8};
  }
  return Undetected{Undetected::Reason::Mixed, Encoding::Cp932, *firstCp932};
}

// The text stopped being valid UTF-8; `weighed` is its start up to the
// look-ahead past the fault, and `whole` says it is all of the text.
Detection AfterUtf8Fault(std::string_view weighed, bool whole, const Utf8Survey& utf8) {
  const std::size_t fault = *utf8.firstFault;
  const Undetected asUtf8{Undetected::Reason::Invalid, Encoding::Utf8, fault};
  const bool goneBad = utf8.evidenceBytes > 0 && utf8.evidenceBytes >= 4 * utf8.faults;
  if (goneBad && utf8.evidenceBytes >= kSureEvidence) {
    return asUtf8;
  }
  if (const std::optional<Undetected> mixed = MixedWithUtf8(weighed, whole)) {
    return *mixed;
  }
  // A few bytes of UTF-8 that make sense can be half-width katakana as well.
  const Cp932Survey cp932 = SurveyCp932(weighed, whole);
  const Cp932Weigher weigher(weighed);
  if (!cp932.firstFault && weigher.ReadsAsJapanese()) {
    return Detected{Encoding::Cp932, 0};
  }
  if (goneBad) {
    return asUtf8;
  }
  if (ReadsAsEucJp(weighed, whole)) {
    return Undetected{Undetected::Reason::EucJp, Encoding::Utf8, fault};
  }
  if (utf8.evidenceBytes < utf8.faults && weigher.Characters() > 0 &&
      !weigher.ReadsAsJapanese(false)) {
    return Undetected{Undetected::Reason::NotJapanese, Encoding::Utf8, fault};
  }
  if (!cp932.firstFault) {
    return asUtf8;
  }
  // Valid in neither: named after the encoding with fewer faults in it, then
  // the one it stays valid in longer.
  const bool cp932Likelier =
      cp932.faults != utf8.faults ? cp932.faults < utf8.faults : *cp932.firstFault > fault;
  if (cp932Likelier) {
    return Undetected{Undetected::Reason::Invalid, Encoding::Cp932, *cp932.firstFault};
  }
  return asUtf8;
}

// The whole text is valid UTF-8. Only where nothing in it is clearly UTF-8
// may code page 932 make more sense of it.
Detection WholeValidUtf8(std::string_view text, const Utf8Survey& survey) {
  if (survey.nonAsciiBytes > 0 && survey.evidenceBytes == 0 &&
      !SurveyCp932(text, true).firstFault && Cp932Weigher(text).ReadsAsJapanese()) {
    return Detected{Encoding::Cp932, 0};
  }
  return Detected{Encoding::Utf8, 0};
}

// A unit that no UTF-16 text holds: a control other than the blanks, line
// breaks and escape, a noncharacter, or a private-use character.
bool IsNonsenseUnit(char16_t unit) {
  if (unit < 0x20) {
    return unit != 0 && (unit < u'\t' || unit > u'\r') && unit != 0x1B;
  }
  return (unit >= 0x7F && unit < 0xA0) || (unit >= 0xE000 && unit < 0xF900) ||
         (unit >= 0xFDD0 && unit < 0xFDF0) || unit >= 0xFFFE;
}

// After a UTF-16 byte-order mark: bytes that are valid UTF-8, with no NUL and
// either characters beyond ASCII that make sense or a line break, are UTF-8
// behind a wrong mark (UTF-16 has a NUL in every line break); text that
// decodes to units no text holds, more than a damaged byte or two would
// give, is not UTF-16 either.
Detection AfterUtf16Mark(std::string_view start, bool complete, const Detected& marked) {
  const std::string_view text = start.substr(marked.markLength);
  const Utf8Survey survey = Utf8Surveyor(text, complete, 0).Run();
  if (!survey.decided) {
    return NeedMoreBytes{};
  }
  // A line break: a byte 0x0A with no NUL beside it may be half of a character
  // such as 上 (U+4E0A), but hardly in a few characters that are all valid
  // UTF-8 as well.
  const std::string_view scanned = text.substr(0, survey.scanned);
  const bool lineBreak = scanned.size() >= 8 && scanned.find('\n') != std::string_view::npos;
  if (!survey.firstNul && survey.faults == 0 && (survey.evidenceBytes >= 4 || lineBreak)) {
    return Undetected{Undetected::Reason::Invalid, marked.encoding, marked.markLength, true};
  }
  if (!complete && text.size() < kUtf16Weighed) {
    return NeedMoreBytes{};
  }
  const bool bigEndian = marked.encoding == Encoding::Utf16Be;
  const std::size_t units = std::min(text.size(), kUtf16Weighed) / 2;
  std::size_t nonsense = 0;
  std::optional<std::size_t> first;
  for (std::size_t i = 0; i < units; ++i) {
    const auto high = ByteAt(text, 2 * i + (bigEndian ? 0 : 1));
    const auto low = ByteAt(text, 2 * i + (bigEndian ? 1 : 0));
    if (IsNonsenseUnit(static_cast<char16_t>(high << 8 | low))) {
      first = first.value_or(2 * i);
      ++nonsense;
    }
  }
  if (nonsense >= 2 && nonsense * 16 >= units) {
    return Undetected{Undetected::Reason::Invalid, marked.encoding, marked.markLength + *first};
  }
  return marked;
}

// Whether an escape sequence that switches ISO-2022-JP into Japanese begins
// at `at`; those that switch back to ASCII are also written by terminals.
bool IsJapaneseDesignation(std::string_view bytes, std::size_t at) {
  const std::string_view rest = bytes.substr(at + 1, 3);
  return rest.starts_with("$@") || rest.starts_with("$B") || rest.starts_with("$(D") ||
         rest.starts_with("$(O") || rest.starts_with("$(P") || rest.starts_with("$(Q") ||
         rest.starts_with("(I") || rest.starts_with("(J");
}

std::optional<std::size_t> FindJapaneseDesignation(std::string_view bytes, std::size_t from,
                                                   std::size_t before) {
  for (std::size_t i = from; i < before; ++i) {
    const void* escape = std::memchr(bytes.data() + i, 0x1B, before - i);
    if (escape == nullptr) {
      return std::nullopt;
    }
    i = static_cast<std::size_t>(static_cast<const char*>(escape) - bytes.data());
    if (IsJapaneseDesignation(bytes, i)) {
      return i;
    }
  }
  return std::nullopt;
}

// The longest escape sequence TextWatch looks for, less one: what a piece may
// cut off.
constexpr std::size_t kEscapeTail = 3;

}  // namespace

Detection DetectEncoding(std::string_view start, bool complete) {
  if (const std::optional<Detected> marked = ByteOrderMark(start)) {
    return marked->encoding == Encoding::Utf8 ? Detection{*marked}
                                              : AfterUtf16Mark(start, complete, *marked);
  }
  if (!complete && MayBeginAMark(start)) {
    return NeedMoreBytes{};
  }
  const Utf8Survey survey = Utf8Surveyor(start, complete).Run();
  if (survey.firstNul && (!survey.firstFault || *survey.firstNul < *survey.firstFault)) {
    // UTF-16 has a NUL in its first line break, if not before.
    const bool afterLineBreak =
        start.substr(0, *survey.firstNul).find('\n') != std::string_view::npos;
    const Encoding utf16 = *survey.firstNul % 2 == 1 ? Encoding::Utf16Le : Encoding::Utf16Be;
    return Undetected{Undetected::Reason::NulByte, afterLineBreak ? Encoding::Utf8 : utf16,
                      *survey.firstNul};
  }
  if (survey.firstFault) {
    const std::size_t weighedEnd = *survey.firstFault + kLookPastFault;
    if (!complete && start.size() < weighedEnd) {
      return NeedMoreBytes{};
    }
    return AfterUtf8Fault(start.substr(0, std::min(start.size(), weighedEnd)),
                          complete && start.size() <= weighedEnd, survey);
  }
  if (survey.evidenceBytes >= kEnoughEvidence) {
    return Detected{Encoding::Utf8, 0, true};
  }
  if (survey.scanned >= kUndecidedLimit) {
    return Detected{Encoding::Utf8, 0};
  }
  if (!complete) {
    return NeedMoreBytes{};
  }
  return WholeValidUtf8(start, survey);
}

std::optional<Undetected> TextWatch::Look(std::string_view bytes, std::uint64_t byteOffset) {
  const auto at = [&](std::size_t i) { return static_cast<std::size_t>(byteOffset) + i; };
  if (encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) {
        return Undetected{Undetected::Reason::NulByte, Encoding::Utf8, at(i)};
      }
    }
    return std::nullopt;
  }
  std::optional<Undetected> found;
  const auto earliest = [&](Undetected::Reason reason, Encoding likely, std::size_t offset) {
    if (!found || offset < found->byteOffset) {
      found = Undetected{reason, likely, offset};
    }
  };
  if (const void* nul = std::memchr(bytes.data(), 0, bytes.size())) {
    earliest(Undetected::Reason::NulByte, Encoding::Utf8,
             at(static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data())));
  }
  if (detected_) {
    if (const std::optional<std::size_t> escape = FindEscapeFrom(bytes, at(0))) {
      earliest(Undetected::Reason::Iso2022Jp, encoding_, *escape);
    }
    if (encoding_ == Encoding::Cp932) {
      if (const std::optional<std::size_t> pair = FindPairFrom(bytes, at(0))) {
        earliest(Undetected::Reason::Mixed, Encoding::Utf8, *pair);
      }
    }
    escapeTail_.append(bytes.substr(bytes.size() - std::min(bytes.size(), kEscapeTail)));
    escapeTail_.erase(0, escapeTail_.size() - std::min(escapeTail_.size(), kEscapeTail));
  }
  return found;
}

// The first escape sequence into Japanese, from the tail of the last piece on.
std::optional<std::size_t> TextWatch::FindEscapeFrom(std::string_view bytes,
                                                     std::size_t byteOffset) const {
  if (!escapeTail_.empty()) {
    const std::string joined = escapeTail_ + std::string(bytes.substr(0, kEscapeTail));
    if (const auto escape = FindJapaneseDesignation(joined, 0, escapeTail_.size())) {
      return byteOffset - escapeTail_.size() + *escape;
    }
  }
  const auto escape = FindJapaneseDesignation(bytes, 0, bytes.size());
  return escape ? std::optional(byteOffset + *escape) : std::nullopt;
}

// The first pair of Japanese characters of UTF-8, from the characters of the
// last piece that were too near its end to tell on; keeps this piece's.
std::optional<std::size_t> TextWatch::FindPairFrom(std::string_view bytes, std::size_t byteOffset) {
  const std::size_t start = byteOffset - pairTail_.size();
  std::string joined;
  if (!pairTail_.empty()) {
    joined = pairTail_ + std::string(bytes);
    bytes = joined;
  }
  const Utf8PairSearch search = FindJapaneseUtf8Pair(bytes, 0);
  pairTail_ = std::string(bytes.substr(search.next));
  return search.pair ? std::optional(start + *search.pair) : std::nullopt;
}

void Utf8Validity::Add(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size() && valid_; ++i) {
    const unsigned char byte = ByteAt(bytes, i);
    if (pending_ > 0) {
      valid_ = byte >= low_ && byte <= high_;
      low_ = 0x80;
      high_ = 0xBF;
      --pending_;
      continue;
    }
    if (IsAscii(byte)) {
      continue;
    }
    low_ = 0x80;
    high_ = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_ = 2;
      low_ = byte == 0xE0 ? 0xA0 : 0x80;
      high_ = byte == 0xED ? 0x9F : 0xBF;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_ = 3;
      low_ = byte == 0xF0 ? 0x90 : 0x80;
      high_ = byte == 0xF4 ? 0x8F : 0xBF;
    } else {
      valid_ = false;
    }
  }
}

}  // namespace textCodec
