// Detection as the reader applies it: required outcomes on short texts; real
// documents in every encoding, cut and damaged at many places, each read
// exactly as its own encoding reads it or refused naming that encoding; and
// real texts that are not to be read, each refused for what it is: code page
// 932 with words of UTF-8 in it, other languages' 8-bit encodings, EUC-JP,
// ISO-2022-JP, UTF-8 behind a UTF-16 mark, and faults far into a long text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <variant>

#include "iconvReference.h"
#include "japaneseDocuments.h"
#include "textCodec.h"
#include "textReader.h"

namespace {

using namespace std::string_literals;
using textCodec::Encoding;
using textFiles::InputEncoding;

// What a decoder made of some bytes: the text, or the problem it threw.
struct Outcome {
  std::u16string text;
  std::optional<textFiles::Problem> problem;
  std::optional<Encoding> encoding;
};

Outcome Read(std::string_view bytes, InputEncoding asked, std::size_t pieceSize = SIZE_MAX) {
  Outcome outcome;
  textFiles::TextDecoder decoder(asked);
  try {
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
      decoder.Push(bytes.substr(at, pieceSize), outcome.text);
    }
    decoder.Finish(outcome.text);
  } catch (const textFiles::FileError& error) {
    outcome.problem = error.What();
  }
  outcome.encoding = decoder.Encoding();
  return outcome;
}

// A refusal in words, to compare two: its kind, encoding and offset.
struct ProblemSummary {
  std::string operator()(const textFiles::InvalidText& invalid) const {
    return "invalid " + Name(invalid.encoding) + " at " + std::to_string(invalid.byteOffset) +
           (invalid.validUtf8 ? ", valid UTF-8" : "");
  }
  std::string operator()(const textFiles::NulByte& nul) const {
    return "NUL at " + std::to_string(nul.byteOffset);
  }
  std::string operator()(const textFiles::EucJpText&) const { return "EUC-JP"; }
  std::string operator()(const textFiles::Iso2022JpText& jis) const {
    return "ISO-2022-JP at " + std::to_string(jis.byteOffset);
  }
  std::string operator()(const textFiles::MixedEncodings& mixed) const {
    return "mixed, " + Name(mixed.second) + " at " + std::to_string(mixed.byteOffset);
  }
  std::string operator()(const textFiles::NotJapaneseText& text) const {
    return "not Japanese, UTF-8 invalid at " + std::to_string(text.byteOffset);
  }
  template <typename Other>
  std::string operator()(const Other&) const {
    return "another problem";
  }
  static std::string Name(Encoding encoding) {
    return std::to_string(
        static_cast<int>(encoding == Encoding::Utf16Be ? Encoding::Utf16Le : encoding));
  }
};

// An outcome in words: the text read, or the refusal.
std::string Summary(const Outcome& outcome) {
  if (!outcome.problem) {
    return "read " + textCodec::EncodeUtf8(outcome.text).bytes;
  }
  return std::visit(ProblemSummary{}, *outcome.problem);
}

std::string Summary(const textFiles::Problem& problem) {
  return std::visit(ProblemSummary{}, problem);
}

bool SameOutcome(const Outcome& a, const Outcome& b) {
  if (a.problem.has_value() != b.problem.has_value()) {
    return false;
  }
  return a.problem ? Summary(*a.problem) == Summary(*b.problem) : a.text == b.text;
}

// How a family of texts fared: read or refused as it should be, or wrongly.
struct Tally {
  std::size_t read = 0;
  std::size_t refused = 0;
  std::size_t wrong = 0;
};

class Tallies {
 public:
  static constexpr std::string_view kLimits = "~";

  void Count(const std::string& family, bool right, const Outcome& detected,
             const std::string& what) {
    Tally& tally = tallies_[family];
    if (right) {
      ++(detected.problem ? tally.refused : tally.read);
    } else if (++tally.wrong <= 3 && !family.starts_with(kLimits)) {
      ADD_FAILURE() << family << ", " << what << ": " << Summary(detected).substr(0, 80);
    }
  }

  // Prints the counts; families named from kLimits on are texts that cannot
  // always be told, counted but not failed.
  void Print() const {
    for (const auto& [family, tally] : tallies_) {
      std::printf("  %-52s %6zu read right, %6zu refused right, %4zu wrong\n", family.c_str(),
                  tally.read, tally.refused, tally.wrong);
    }
    for (const auto& [family, tally] : tallies_) {
      if (!family.starts_with(kLimits)) {
        EXPECT_EQ(tally.wrong, 0u) << family;
      }
    }
  }

 private:
  std::map<std::string, Tally> tallies_;
};

bool SameEncoding(Encoding a, Encoding b) {
  const auto family = [](Encoding e) { return e == Encoding::Utf16Be ? Encoding::Utf16Le : e; };
  return family(a) == family(b);
}

bool IsUtf16(Encoding encoding) {
  return encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
}

// A damage done to a real document: its kind (0 to 3, see Damaged) and place.
struct Damage {
  int kind = 0;
  std::size_t at = 0;
};

// The reader's detection is right when it reads the bytes exactly as their own
// encoding does, or refuses them naming that encoding and the same offset. A
// UTF-16 text that a damage has misaligned is garbage after it, and refusing
// it as UTF-16 anywhere is right too; so is refusing code page 932 as mixed
// where a damage has made bytes of UTF-8 Japanese.
bool DetectedAsTheirOwn(const Outcome& detected, const Outcome& own, Encoding encoding,
                        Damage damage) {
  if (SameOutcome(detected, own)) {
    return true;
  }
  if (!detected.problem) {
    return false;
  }
  const auto* got = std::get_if<textFiles::InvalidText>(&*detected.problem);
  if (got != nullptr && IsUtf16(encoding) && SameEncoding(got->encoding, encoding) &&
      (own.problem || damage.kind >= 2)) {
    return true;
  }
  if (const auto* mixed = std::get_if<textFiles::MixedEncodings>(&*detected.problem)) {
    return encoding == Encoding::Cp932 && mixed->byteOffset + 8 >= damage.at &&
           mixed->byteOffset <= damage.at;
  }
  const auto* expected = own.problem ? std::get_if<textFiles::InvalidText>(&*own.problem) : nullptr;
  return expected != nullptr && got != nullptr && SameEncoding(got->encoding, encoding) &&
         got->byteOffset == expected->byteOffset;
}

std::size_t FromEnvironment(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoul(value, nullptr, 10) : fallback;
}

// POKOPEN_DETECTION_DAMAGES (random damages and samples a document) and
// POKOPEN_DETECTION_BYTES (the longest document) make the runs larger.
std::size_t Samples() {
  return FromEnvironment("POKOPEN_DETECTION_DAMAGES", 40);
}

std::vector<japaneseDocuments::Document> JapaneseDocuments() {
  auto documents = japaneseDocuments::Documents(
      false, 200, FromEnvironment("POKOPEN_DETECTION_BYTES", std::size_t{16} << 10));
  EXPECT_GE(documents.size(), 10u)
      << "too few Japanese catalogues in " << japaneseDocuments::kCatalogueFolder;
  return documents;
}

std::string WithCrLf(const std::string& text) {
  std::string crlf;
  for (const char c : text) {
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  }
  return crlf;
}

std::optional<std::string> InCp932(const std::string& utf8) {
  textCodec::Encoded cp932 = textCodec::EncodeCp932(textCodec::DecodeUtf8(utf8).text);
  return cp932.error ? std::nullopt : std::optional(std::move(cp932.bytes));
}

TEST(EncodingDetection, DecidesShortTexts) {
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<Encoding> encoding;  // nullopt: refused
  };
  const Case cases[] = {
      {"ﾄｰﾙｰ, also valid UTF-8", "\xC4\xB0\xD9\xB0", Encoding::Cp932},
      {"ｱｲｳｴｵ", "\xB1\xB2\xB3\xB4\xB5", Encoding::Cp932},
      {"ﾃﾞｽ｡", "\xC3\xDE\xBD\xA1", Encoding::Cp932},
      {"ﾄｰﾙｰ among ASCII", "name: \xC4\xB0\xD9\xB0\r\n", Encoding::Cp932},
      {"ﾃﾞｰﾀをｺﾋﾟｰします", "\xC3\xDE\xB0\xC0\x82\xF0\xBA\xCB\xDF\xB0\x82\xB5\x82\xDC\x82\xB7",
       Encoding::Cp932},
      {"CDﾌﾟﾚｰﾔｰ", "CD\xCC\xDF\xDA\xB0\xD4\xB0", Encoding::Cp932},
      {"(ﾟ∀ﾟ)", "(\xDF\x81\xCD\xDF)", Encoding::Cp932},
      {"あ in code page 932", "\x82\xA0", Encoding::Cp932},
      {"café", "caf\xC3\xA9", Encoding::Utf8},
      {"Über",
       "\xC3\x9C"
       "ber",
       Encoding::Utf8},
      {"αβγ", "\xCE\xB1\xCE\xB2\xCE\xB3", Encoding::Utf8},
      {"Привет", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", Encoding::Utf8},
      {"e and a combining acute", "e\xCC\x81", Encoding::Utf8},
      {"25°C ±1",
       "25\xC2\xB0"
       "C \xC2\xB1"
       "1",
       Encoding::Utf8},
      {"emoji", "\xF0\x9F\x98\x80", Encoding::Utf8},
      {"a kanji beyond the BMP", "\xF0\xA0\x80\x8B", Encoding::Utf8},
      {"Hangul", "\xEA\xB0\x80", Encoding::Utf8},
      {"a private-use character", "\xEE\x80\x80", Encoding::Utf8},
      {"ASCII", "plain text\n", Encoding::Utf8},
      {"a terminal's colours", "\x1B(B\x1B[mplain\n", Encoding::Utf8},
      {"empty", "", Encoding::Utf8},
      {"UTF-16LE mark", "\xFF\xFE\x42\x30", Encoding::Utf16Le},
      {"UTF-16BE mark", "\xFE\xFF\x30\x42", Encoding::Utf16Be},
      {"code page 932 after a UTF-8 mark", "\xEF\xBB\xBF\x82\xA0", std::nullopt},
      {"UTF-8 cut inside あ", "\xE3\x81", std::nullopt},
      {"a NUL byte", "a\0b"s, std::nullopt},
      {"EUC-JP あいうえお", "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", std::nullopt},
      {"Latin-1 Über",
       "\xDC"
       "ber",
       std::nullopt},
      {"Latin-1 MÜNCHEN", "M\xDCNCHEN", std::nullopt},
      {"Latin-1 «Straße»",
       "\xABStra\xDF"
       "e\xBB",
       std::nullopt},
      {"Latin-1 25°C",
       "25\xB0"
       "C",
       std::nullopt},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Read(c.bytes, InputEncoding::Auto);
    EXPECT_EQ(outcome.problem ? std::nullopt : outcome.encoding, c.encoding) << c.name;
  }
}

TEST(EncodingDetection, RefusalsNameTheLikelyEncoding) {
  struct Case {
    const char* name;
    std::string bytes;
    textFiles::Problem problem;
  };
  const std::string sentence = "\xE3\x82\x8F\xE3\x81\x9F\xE3\x81\x97\xE3\x81\xAF";  // わたしは
  const std::string cp932 = "\x82\xED\x82\xBD\x82\xB5\x82\xCD";                     // わたしは
  const Case cases[] = {
      {"UTF-8 cut", sentence + "\xE3\x81", textFiles::InvalidText{Encoding::Utf8, 12, true}},
      {"UTF-8 damaged", sentence + "\xFF" + sentence,
       textFiles::InvalidText{Encoding::Utf8, 12, true}},
      {"code page 932 cut inside あ", "\x82\xA0\x82",
       textFiles::InvalidText{Encoding::Cp932, 2, true}},
      {"valid in neither", "abc\xFF", textFiles::InvalidText{Encoding::Utf8, 3, true}},
      {"a NUL", "ab\0c"s, textFiles::NulByte{2}},
      {"EUC-JP", "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", textFiles::EucJpText{}},
      {"ISO-2022-JP", "to: \x1B$B$o$?$7\x1B(B\n", textFiles::Iso2022JpText{4}},
      {"code page 932, then UTF-8", cp932 + sentence + cp932,
       textFiles::MixedEncodings{Encoding::Utf8, 8}},
      {"UTF-8, then code page 932", "a " + sentence + cp932,
       textFiles::MixedEncodings{Encoding::Cp932, 14}},
      {"UTF-8 behind a UTF-16 mark", "\xFF\xFE" + sentence,
       textFiles::InvalidText{Encoding::Utf16Le, 2, false, true}},
      {"KOI8-R что это", "\xDE\xD4\xCF \xDC\xD4\xCF, \xDE\xD4\xCF \xDC\xD4\xCF\n",
       textFiles::NotJapaneseText{0}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Read(c.bytes, InputEncoding::Auto);
    ASSERT_TRUE(outcome.problem) << c.name;
    EXPECT_EQ(Summary(*outcome.problem), Summary(c.problem)) << c.name;
  }
}

const std::string kHalfWidth = "code page 932, half-width katakana";

// A real document in one encoding, and how its own encoding is named.
struct Variant {
  const char* label;
  std::string bytes;
  Encoding encoding;
  InputEncoding asked;
  std::size_t markLength;
};

std::vector<Variant> VariantsOf(const std::string& utf8) {
  const std::string crlf = WithCrLf(utf8);
  const std::u16string text = textCodec::DecodeUtf8(crlf).text;
  std::vector<Variant> variants{
      {"UTF-8", utf8, Encoding::Utf8, InputEncoding::Utf8, 0},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + crlf, Encoding::Utf8, InputEncoding::Utf8, 3},
  };
  if (const auto cp932 = InCp932(crlf)) {
    variants.push_back({"code page 932", *cp932, Encoding::Cp932, InputEncoding::Cp932, 0});
  }
  if (const auto cp932 = InCp932(japaneseDocuments::WithHalfWidthKatakana(crlf))) {
    variants.push_back({kHalfWidth.c_str(), *cp932, Encoding::Cp932, InputEncoding::Cp932, 0});
  }
  std::string little = "\xFF\xFE";
  std::string big = "\xFE\xFF";
  for (const char16_t unit : text) {
    little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  variants.push_back({"UTF-16LE", little, Encoding::Utf16Le, InputEncoding::Utf16, 2});
  variants.push_back({"UTF-16BE", big, Encoding::Utf16Be, InputEncoding::Utf16, 2});
  return variants;
}

// Cuts, replaces, inserts or deletes a byte past the mark: `kind` 0 to 3.
std::string Damaged(const Variant& variant, std::size_t at, int kind, char byte) {
  std::string bytes = variant.bytes;
  switch (kind) {
    case 0:
      bytes.resize(at);
      break;
    case 1:
      bytes[at] = byte;
      break;
    case 2:
      bytes.insert(at, 1, byte);
      break;
    default:
      bytes.erase(at, 1);
      break;
  }
  return bytes;
}

TEST(EncodingDetection, RealDocumentsAreReadInTheirOwnEncodingOrRefused) {
  const std::size_t randomDamages = Samples();
  const auto documents = JapaneseDocuments();
  std::mt19937 random(7);
  Tallies tallies;
  for (const auto& document : documents) {
    for (const Variant& variant : VariantsOf(document.bytes)) {
      const Outcome whole = Read(variant.bytes, InputEncoding::Auto);
      tallies.Count(std::string(variant.label) + ", whole",
                    SameOutcome(whole, Read(variant.bytes, variant.asked)), whole, document.name);
      const std::size_t room = variant.bytes.size() - variant.markLength;
      // Every kind of damage at each of the first places, then at random ones.
      for (std::size_t n = 0; n < 4 * 16 + randomDamages; ++n) {
        const std::size_t at =
            variant.markLength + (n < 64 ? std::min(n / 4, room - 1) : random() % room);
        const int kind = static_cast<int>(n % 4);
        const std::string bytes = Damaged(variant, at, kind, static_cast<char>(1 + random() % 255));
        const Outcome detected = Read(bytes, InputEncoding::Auto);
        // A few bytes of half-width katakana can be as much UTF-8 as not.
        const bool tooShort = variant.label == kHalfWidth.c_str() && bytes.size() < 16;
        tallies.Count(
            tooShort ? "~" + kHalfWidth + ", damaged, under 16 bytes (limit)"
                     : std::string(variant.label) + ", damaged",
            DetectedAsTheirOwn(detected, Read(bytes, variant.asked), variant.encoding, {kind, at}),
            detected,
            document.name + ", damage " + std::to_string(kind) + " at " + std::to_string(at));
      }
    }
  }
  for (const auto& document : japaneseDocuments::Documents(true)) {
    const Outcome detected = Read(document.bytes, InputEncoding::Auto);
    tallies.Count(
        "EUC-JP catalogues",
        detected.problem && std::holds_alternative<textFiles::EucJpText>(*detected.problem),
        detected, document.name);
  }
  std::printf("%zu documents:\n", documents.size());
  tallies.Print();
}

// Offsets where the characters of code page 932 text begin.
std::vector<std::size_t> Cp932Boundaries(std::string_view cp932) {
  std::vector<std::size_t> boundaries;
  for (std::size_t i = 0; i < cp932.size();) {
    boundaries.push_back(i);
    const auto byte = static_cast<unsigned char>(cp932[i]);
    i += (byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0 ? 2 : 1;
  }
  return boundaries;
}

// A word of `characters` Japanese characters of UTF-8 (three bytes each) from
// the text, from a random place on.
std::string JapaneseWordOf(const std::string& utf8, std::size_t characters, std::mt19937& random) {
  const auto isLead = [&](std::size_t i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    return i + 3 <= utf8.size() && byte >= 0xE3 && byte <= 0xE9;
  };
  const std::size_t from = random() % utf8.size();
  for (std::size_t k = 0; k < utf8.size(); ++k) {
    const std::size_t start = (from + k) % utf8.size();
    std::size_t end = start;
    while (isLead(end) && end - start < 3 * characters) {
      end += 3;
    }
    if (end - start == 3 * characters) {
      return utf8.substr(start, end - start);
    }
  }
  return {};
}

// Code page 932 with words of UTF-8 put in at random places, as copying and
// pasting between programs leaves them: refused as mixed, where the second
// encoding shows.
TEST(EncodingDetection, CodePage932WithUtf8InItIsRefusedAsMixed) {
  const std::size_t samples = Samples() / 4;
  std::mt19937 random(13);
  Tallies tallies;
  for (const auto& document : JapaneseDocuments()) {
    const std::optional<std::string> cp932 = InCp932(WithCrLf(document.bytes));
    if (!cp932) {
      continue;
    }
    const std::vector<std::size_t> boundaries = Cp932Boundaries(*cp932);
    for (std::size_t n = 0; n < samples; ++n) {
      // Positions from the last, so that each insertion leaves those before.
      std::vector<std::size_t> places(1 + n % 3);
      for (std::size_t& place : places) {
        place = boundaries[random() % boundaries.size()];
      }
      std::sort(places.rbegin(), places.rend());
      places.erase(std::unique(places.begin(), places.end()), places.end());
      const std::size_t characters = n % 8 == 0 ? 1 : 2 + random() % 5;
      std::string mixed = *cp932;
      std::size_t inserted = 0;  // bytes of UTF-8 before the first place
      for (const std::size_t place : places) {
        const std::string word = JapaneseWordOf(document.bytes, characters, random);
        mixed.insert(place, word);
        inserted = word.size();
      }
      const std::size_t first = places.back();
      const auto nonAscii = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
      const bool cp932First = std::any_of(cp932->begin(), cp932->begin() + first, nonAscii);
      const std::size_t cp932After =
          std::find_if(mixed.begin() + first + inserted, mixed.end(), nonAscii) - mixed.begin();
      const textFiles::MixedEncodings expected =
          cp932First ? textFiles::MixedEncodings{Encoding::Utf8, first}
                     : textFiles::MixedEncodings{Encoding::Cp932, cp932After};
      const Outcome detected = Read(mixed, InputEncoding::Auto, 1000 + random() % 70000);
      const std::string family = characters == 1 ? "~mixed, words of one character (limit)"
                                                 : "mixed, words of 2 to 6 characters";
      const bool right = characters == 1
                             ? detected.problem.has_value()
                             : detected.problem && Summary(*detected.problem) == Summary(expected);
      tallies.Count(
          family, right, detected,
          document.name + " at " + std::to_string(first) + ", expected " + Summary(expected));
    }
  }
  tallies.Print();
}

// Bytes in another encoding as iconv converts them, line by line, leaving out
// the lines it cannot convert.
std::string ConvertedLines(const char* encoding, const std::string& utf8) {
  std::string converted;
  for (std::size_t start = 0; start < utf8.size();) {
    const std::size_t end = std::min(utf8.find('\n', start), utf8.size() - 1) + 1;
    if (const auto line =
            iconvReference::Convert(encoding, "UTF-8", utf8.substr(start, end - start))) {
      converted += *line;
    }
    start = end;
  }
  return converted;
}

// Real texts of other languages in their 8-bit encodings, whole and in pieces
// that start at a line: never read. Pieces with fewer than 64 bytes beyond
// ASCII can look like a few words of half-width katakana, and are counted
// apart; pieces with fewer than 8, not at all.
TEST(EncodingDetection, OtherLanguagesInTheirEncodingsAreRefused) {
  struct Language {
    const char* name;
    const char* encoding;
  };
  constexpr Language kLanguages[] = {
      {"ru", "KOI8-R"},  {"de", "ISO-8859-1"}, {"cs", "ISO-8859-2"}, {"pl", "ISO-8859-2"},
      {"zh_TW", "BIG5"}, {"zh_CN", "GBK"},     {"ko", "EUC-KR"},
  };
  const std::size_t samples = Samples() / 4;
  const std::size_t longest = FromEnvironment("POKOPEN_DETECTION_BYTES", std::size_t{16} << 10);
  std::mt19937 random(17);
  Tallies tallies;
  for (const Language& language : kLanguages) {
    for (const auto& document : japaneseDocuments::ForeignDocuments(language.name, 200, longest)) {
      const std::string bytes = ConvertedLines(language.encoding, document.bytes);
      for (std::size_t n = 0; n <= samples && !bytes.empty(); ++n) {
        std::size_t start = n == 0 ? 0 : random() % bytes.size();
        start = start == 0 ? 0 : bytes.rfind('\n', start) + 1;
        const std::string piece = bytes.substr(start, n == 0 ? SIZE_MAX : 64u << (n % 7));
        const auto nonAscii =
            static_cast<std::size_t>(std::count_if(piece.begin(), piece.end(), [](char c) {
              return static_cast<unsigned char>(c) >= 0x80;
            }));
        if (nonAscii < 8) {
          continue;
        }
        const std::string family = nonAscii >= 64
                                       ? std::string(language.encoding) + " (" + language.name + ")"
                                       : "~8 to 63 bytes beyond ASCII (limit)";
        const Outcome detected = Read(piece, InputEncoding::Auto);
        tallies.Count(family, detected.problem.has_value(), detected,
                      document.name + " at " + std::to_string(start));
      }
    }
  }
  tallies.Print();
}

// Japanese in the encodings that are not read, and UTF-8 behind a UTF-16
// mark, whole and cut: each refused by name.
TEST(EncodingDetection, JapaneseInOtherEncodingsIsRefusedByName) {
  const std::size_t samples = Samples() / 4;
  std::mt19937 random(19);
  Tallies tallies;
  for (const auto& document : JapaneseDocuments()) {
    const std::string jis = ConvertedLines("ISO-2022-JP", document.bytes);
    const std::string crlf = WithCrLf(document.bytes);
    for (std::size_t n = 0; n <= samples; ++n) {
      const std::string piece = jis.substr(0, n == 0 ? SIZE_MAX : random() % jis.size());
      const std::size_t escape = std::min(
          {piece.find("\x1B$B"), piece.find("\x1B$@"), piece.find("\x1B(J"), piece.find("\x1B(I")});
      Outcome detected = Read(piece, InputEncoding::Auto);
      tallies.Count("ISO-2022-JP, whole and cut",
                    escape == std::string::npos
                        ? !detected.problem
                        : Summary(detected) == Summary(textFiles::Iso2022JpText{escape}),
                    detected, document.name);

      const bool little = n % 2 == 0;
      // Cut past the first line and a few bytes more at least: a line of ASCII
      // alone, or a character or two, would be UTF-16 of CJK characters as well.
      const std::string& text = n % 4 < 2 ? crlf : document.bytes;
      const std::size_t cut = n == 0 ? SIZE_MAX : text.find('\n') + 16 + random() % text.size();
      const std::string behindMark = (little ? "\xFF\xFE" : "\xFE\xFF") + text.substr(0, cut);
      detected = Read(behindMark, InputEncoding::Auto);
      tallies.Count(
          "UTF-8 behind a UTF-16 mark, whole and cut",
          Summary(detected) == Summary(textFiles::InvalidText{
                                   little ? Encoding::Utf16Le : Encoding::Utf16Be, 2, false, true}),
          detected, document.name);

      const std::string word = JapaneseWordOf(document.bytes, 1 + random() % 8, random);
      const std::optional<std::string> euc = iconvReference::Convert("EUC-JP", "UTF-8", word);
      if (euc && !euc->empty()) {
        detected = Read(*euc + "\n", InputEncoding::Auto);
        tallies.Count("~EUC-JP words of 1 to 8 characters (limit)", detected.problem.has_value(),
                      detected, word);
      }
    }
  }
  tallies.Print();
}

// Faults far into a long text, past where its encoding was decided: a NUL or
// a tail of zeros, code page 932 with a word of UTF-8, a line of ISO-2022-JP;
// refused where they are, whatever the pieces the text is read in.
TEST(EncodingDetection, FaultsFarIntoALongTextAreRefusedWhereTheyAre) {
  const auto documents = JapaneseDocuments();
  ASSERT_FALSE(documents.empty());
  std::string utf8;
  for (std::size_t d = 0; utf8.size() < (std::size_t{320} << 10); ++d) {
    if (InCp932(WithCrLf(documents[d % documents.size()].bytes))) {
      utf8 += WithCrLf(documents[d % documents.size()].bytes);
    }
  }
  const std::string cp932 = *InCp932(utf8);
  const std::vector<std::size_t> cp932Boundaries = Cp932Boundaries(cp932);
  std::string utf16 = "\xFF\xFE";
  for (const char16_t unit : textCodec::DecodeUtf8(utf8).text) {
    utf16 += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  }
  const std::string jisLine = *iconvReference::Convert("ISO-2022-JP", "UTF-8", "わたしです\r\n");
  const std::size_t far = std::size_t{80} << 10;
  std::mt19937 random(23);
  Tallies tallies;
  for (std::size_t n = 0; n < Samples(); ++n) {
    const auto lineStart = [&](const std::string& text) {
      return text.find('\n', far + random() % (text.size() - 2 * far)) + 1;
    };
    std::string bytes;
    textFiles::Problem expected;
    std::string family;
    switch (n % 5) {
      case 0: {  // a tail of zeros where a line begins, or one NUL
        bytes = n % 2 == 0 ? utf8 : cp932;
        const std::size_t at = lineStart(bytes);
        std::fill(bytes.begin() + at, n % 3 == 0 ? bytes.begin() + at + 1 : bytes.end(), '\0');
        expected = textFiles::NulByte{at};
        family = "NUL far in, UTF-8 and code page 932";
        break;
      }
      case 1: {
        bytes = utf16;
        const std::size_t at = 2 + 2 * (far + random() % (utf16.size() / 2 - far - 1));
        bytes[at] = bytes[at + 1] = '\0';
        expected = textFiles::NulByte{at};
        family = "NUL far in, UTF-16";
        break;
      }
      case 2:
      case 3: {
        const auto from = std::lower_bound(cp932Boundaries.begin(), cp932Boundaries.end(), far);
        const std::size_t at = *(from + random() % (cp932Boundaries.end() - from));
        bytes = cp932;
        bytes.insert(at, JapaneseWordOf(utf8, 2 + random() % 5, random));
        expected = textFiles::MixedEncodings{Encoding::Utf8, at};
        family = "UTF-8 far into code page 932";
        break;
      }
      default: {
        bytes = utf8;
        const std::size_t at = lineStart(bytes);
        bytes.insert(at, jisLine);
        expected = textFiles::Iso2022JpText{at};
        family = "ISO-2022-JP far into UTF-8";
        break;
      }
    }
    const Outcome detected = Read(bytes, InputEncoding::Auto, 1000 + random() % 70000);
    tallies.Count(family, Summary(detected) == Summary(expected), detected, Summary(expected));
  }
  tallies.Print();
}

// However the bytes arrive, the reader decides and reads as it does given
// them all at once.
TEST(TextDecoder, PiecesOfAnySizeGiveTheWholeResult) {
  const auto documents = japaneseDocuments::Documents(false, 200, 4096);
  ASSERT_FALSE(documents.empty());
  std::mt19937 random(11);
  for (std::size_t d = 0; d < documents.size(); d += 8) {
    for (const Variant& variant : VariantsOf(documents[d].bytes)) {
      for (int kind = 0; kind < 4; ++kind) {
        const std::size_t at =
            variant.markLength + random() % (variant.bytes.size() - variant.markLength);
        const std::string bytes =
            Damaged(variant, at, kind, static_cast<char>(0x80 + random() % 0x80));
        const Outcome whole = Read(bytes, InputEncoding::Auto);
        for (const std::size_t piece : {1, 2, 3, 5, 4096}) {
          const Outcome pieces = Read(bytes, InputEncoding::Auto, piece);
          EXPECT_EQ(Summary(pieces), Summary(whole))
              << documents[d].name << ", " << variant.label << ", pieces of " << piece;
        }
      }
    }
  }
}

}  // namespace
