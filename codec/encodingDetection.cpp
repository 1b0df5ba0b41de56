#include "encodingDetection.h"

#include <algorithm>
#include <optional>
#include <string>

namespace textCodec {

namespace {

// Bytes of clear UTF-8 that settle the question while the text is valid.
constexpr std::size_t kEnoughEvidence = 256;

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
};

class Utf8Surveyor {
 public:
  Utf8Surveyor(std::string_view bytes, bool complete) : bytes_(bytes), complete_(complete) {}

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
    return survey_;
  }

 private:
  unsigned char At(std::size_t i) const { return static_cast<unsigned char>(bytes_[i]); }

  bool Decided(std::size_t i) const {
    if (survey_.firstFault) {
      return i >= *survey_.firstFault + kLookPastFault;
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
  Utf8Survey survey_;
  std::u32string stretch_;
  std::size_t stretchBytes_ = 0;
  std::size_t stretchStart_ = 0;
  std::size_t afterLastFault_ = static_cast<std::size_t>(-1);
};

// Whether code page 932 text reads as Japanese. Common characters are those
// of the lead bytes 0x81 to 0x88 (punctuation, symbols, full-width letters,
// kana, Greek, Cyrillic, box drawing, NEC's circled numbers), JIS level 1
// kanji, and the half-width forms.
class Cp932Weigher {
 public:
  explicit Cp932Weigher(std::string_view bytes) : bytes_(bytes) {}

  bool ReadsAsJapanese() {
    std::size_t characters = 0;
    std::size_t common = 0;
    std::size_t halfWidthPunctuation = 0;
    for (std::size_t i = 0; i < bytes_.size();) {
      const auto byte = static_cast<unsigned char>(bytes_[i]);
      if (IsAscii(byte)) {
        ++i;
        continue;
      }
      ++characters;
      if (IsHalfWidthByte(byte)) {
        ++common;
        halfWidthPunctuation += byte <= 0xA5 ? 1 : 0;
        ++i;
        continue;
      }
      const unsigned trail = i + 1 < bytes_.size() ? static_cast<unsigned char>(bytes_[i + 1]) : 0u;
      const unsigned code = (unsigned{byte} << 8) | trail;
      common += code < 0x889F || (code >= 0x889F && code <= 0x9872) ? 1 : 0;
      i += 2;
    }
    if (characters < 8) {
      return common == characters;
    }
    return common * 10 >= characters * 6 && halfWidthPunctuation * 4 <= characters;
  }

 private:
  std::string_view bytes_;
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
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const bool leadByte = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    const bool cutAtTheEnd = whole && leadByte && at + 1 == bytes.size();
    survey.faults += cutAtTheEnd ? 0 : 1;
    from = at + 1;
  }
  return survey;
}

// Whether bytes are EUC-JP, the older Unix encoding of Japanese, with a few
// characters of it at least: a text that is not read, but can be named.
bool ReadsAsEucJp(std::string_view bytes, bool whole) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto isRow = [](unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; };
  std::size_t characters = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char byte = at(i);
    if (IsAscii(byte)) {
      ++i;
      continue;
    }
    const std::size_t length = byte == 0x8F ? 3 : 2;
    if (i + length > bytes.size()) {
      return !whole && characters >= 4;
    }
    const bool valid = byte == 0x8E   ? IsHalfWidthByte(at(i + 1))
                       : byte == 0x8F ? isRow(at(i + 1)) && isRow(at(i + 2))
                                      : isRow(byte) && isRow(at(i + 1));
    if (!valid) {
      return false;
    }
    ++characters;
    i += length;
  }
  return characters >= 4;
}

// The text stopped being valid UTF-8; `weighed` is its start up to the
// look-ahead past the fault, and `whole` says it is all of the text. A text
// valid in neither is named after the encoding with fewer faults in it, then
// the one it stays valid in longer.
Detection AfterUtf8Fault(std::string_view weighed, bool whole, const Utf8Survey& utf8) {
  const std::size_t fault = *utf8.firstFault;
  const Undetected asUtf8{Undetected::Reason::Invalid, Encoding::Utf8, fault};
  if (utf8.evidenceBytes > 0 && utf8.evidenceBytes >= 4 * utf8.faults) {
    return asUtf8;
  }
  const Cp932Survey cp932 = SurveyCp932(weighed, whole);
  if (!cp932.firstFault && Cp932Weigher(weighed).ReadsAsJapanese()) {
    return Detected{Encoding::Cp932, 0};
  }
  if (ReadsAsEucJp(weighed, whole)) {
    return Undetected{Undetected::Reason::EucJp, Encoding::Utf8, fault};
  }
  if (!cp932.firstFault) {
    return asUtf8;
  }
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

}  // namespace

Detection DetectEncoding(std::string_view start, bool complete) {
  if (const std::optional<Detected> marked = ByteOrderMark(start)) {
    return *marked;
  }
  if (!complete && MayBeginAMark(start)) {
    return NeedMoreBytes{};
  }
  const Utf8Survey survey = Utf8Surveyor(start, complete).Run();
  if (survey.firstNul && (!survey.firstFault || *survey.firstNul < *survey.firstFault)) {
    const Encoding utf16 = *survey.firstNul % 2 == 1 ? Encoding::Utf16Le : Encoding::Utf16Be;
    return Undetected{Undetected::Reason::NulByte, utf16, *survey.firstNul};
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

}  // namespace textCodec
