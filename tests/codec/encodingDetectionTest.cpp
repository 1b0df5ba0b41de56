// Detection as the reader applies it: required outcomes on short texts, and
// real documents in every encoding, cut and damaged at many places, each read
// exactly as its own encoding reads it or refused naming that encoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <variant>

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

// An outcome in words, to compare two: the text read, or the problem and where.
std::string Summary(const Outcome& outcome) {
  if (!outcome.problem) {
    return "read " + textCodec::EncodeUtf8(outcome.text).bytes;
  }
  if (const auto* invalid = std::get_if<textFiles::InvalidText>(&*outcome.problem)) {
    return "invalid " + std::to_string(static_cast<int>(invalid->encoding)) + " at " +
           std::to_string(invalid->byteOffset);
  }
  if (const auto* nul = std::get_if<textFiles::NulByte>(&*outcome.problem)) {
    return "NUL at " + std::to_string(nul->byteOffset);
  }
  return "problem " + std::to_string(outcome.problem->index());
}

bool SameEncoding(Encoding a, Encoding b) {
  const auto family = [](Encoding e) { return e == Encoding::Utf16Be ? Encoding::Utf16Le : e; };
  return family(a) == family(b);
}

// The reader's detection is right when it reads the bytes exactly as their own
// encoding does, or refuses them naming that encoding and the same offset.
bool DetectedAsTheirOwn(const Outcome& detected, const Outcome& own, Encoding encoding) {
  if (!own.problem) {
    return !detected.problem && detected.text == own.text;
  }
  const auto* expected = std::get_if<textFiles::InvalidText>(&*own.problem);
  const auto* got =
      detected.problem ? std::get_if<textFiles::InvalidText>(&*detected.problem) : nullptr;
  return expected != nullptr && got != nullptr && SameEncoding(got->encoding, encoding) &&
         got->byteOffset == expected->byteOffset;
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
      {"empty", "", Encoding::Utf8},
      {"UTF-16LE mark", "\xFF\xFE\x42\x30", Encoding::Utf16Le},
      {"UTF-16BE mark", "\xFE\xFF\x30\x42", Encoding::Utf16Be},
      {"code page 932 after a UTF-8 mark", "\xEF\xBB\xBF\x82\xA0", std::nullopt},
      {"UTF-8 cut inside あ", "\xE3\x81", std::nullopt},
      {"a NUL byte", "a\0b"s, std::nullopt},
      {"EUC-JP あいうえお", "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", std::nullopt},
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
  const Case cases[] = {
      {"UTF-8 cut", sentence + "\xE3\x81", textFiles::InvalidText{Encoding::Utf8, 12, true}},
      {"UTF-8 damaged", sentence + "\xFF" + sentence,
       textFiles::InvalidText{Encoding::Utf8, 12, true}},
      {"code page 932 cut inside あ", "\x82\xA0\x82",
       textFiles::InvalidText{Encoding::Cp932, 2, true}},
      {"valid in neither", "abc\xFF", textFiles::InvalidText{Encoding::Utf8, 3, true}},
      {"a NUL", "ab\0c"s, textFiles::NulByte{2}},
      {"EUC-JP", "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", textFiles::EucJpText{}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Read(c.bytes, InputEncoding::Auto);
    ASSERT_TRUE(outcome.problem) << c.name;
    EXPECT_EQ(outcome.problem->index(), c.problem.index()) << c.name;
    if (const auto* invalid = std::get_if<textFiles::InvalidText>(&c.problem)) {
      const auto& got = std::get<textFiles::InvalidText>(*outcome.problem);
      EXPECT_EQ(got.encoding, invalid->encoding) << c.name;
      EXPECT_EQ(got.byteOffset, invalid->byteOffset) << c.name;
    }
  }
}

// A real document in one encoding, and how its own encoding is named.
struct Variant {
  const char* label;
  std::string bytes;
  Encoding encoding;
  InputEncoding asked;
  std::size_t markLength;
};

std::vector<Variant> VariantsOf(const std::string& utf8) {
  std::string crlf;
  for (const char c : utf8) {
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  }
  const std::u16string text = textCodec::DecodeUtf8(crlf).text;
  std::vector<Variant> variants{
      {"UTF-8", utf8, Encoding::Utf8, InputEncoding::Utf8, 0},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + crlf, Encoding::Utf8, InputEncoding::Utf8, 3},
  };
  if (const textCodec::Encoded cp932 = textCodec::EncodeCp932(text); !cp932.error) {
    variants.push_back({"code page 932", cp932.bytes, Encoding::Cp932, InputEncoding::Cp932, 0});
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

std::size_t FromEnvironment(const char* name, std::size_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoul(value, nullptr, 10) : fallback;
}

// POKOPEN_DETECTION_DAMAGES (random damages a document) and
// POKOPEN_DETECTION_BYTES (the longest document) make the run larger.
TEST(EncodingDetection, RealDocumentsAreReadInTheirOwnEncodingOrRefused) {
  const std::size_t randomDamages = FromEnvironment("POKOPEN_DETECTION_DAMAGES", 40);
  const auto documents = japaneseDocuments::Documents(
      false, 200, FromEnvironment("POKOPEN_DETECTION_BYTES", std::size_t{16} << 10));
  ASSERT_GE(documents.size(), 10u)
      << "too few Japanese catalogues in " << japaneseDocuments::kCatalogueFolder;
  std::mt19937 random(7);
  std::size_t read = 0;
  std::size_t refused = 0;
  std::size_t wrong = 0;
  for (const auto& document : documents) {
    for (const Variant& variant : VariantsOf(document.bytes)) {
      const std::size_t room = variant.bytes.size() - variant.markLength;
      // Every kind of damage at each of the first places, then at random ones.
      for (std::size_t n = 0; n < 4 * 16 + randomDamages; ++n) {
        const std::size_t at =
            variant.markLength + (n < 64 ? std::min(n / 4, room - 1) : random() % room);
        const std::string bytes =
            Damaged(variant, at, static_cast<int>(n % 4), static_cast<char>(1 + random() % 255));
        const Outcome own = Read(bytes, variant.asked);
        const Outcome detected = Read(bytes, InputEncoding::Auto);
        if (DetectedAsTheirOwn(detected, own, variant.encoding)) {
          ++(detected.problem ? refused : read);
        } else if (++wrong <= 10) {
          ADD_FAILURE() << document.name << ", " << variant.label << ", damage " << n % 4 << " at "
                        << at;
        }
      }
    }
  }
  for (const auto& document : japaneseDocuments::Documents(true)) {
    const Outcome detected = Read(document.bytes, InputEncoding::Auto);
    EXPECT_TRUE(detected.problem && std::holds_alternative<textFiles::EucJpText>(*detected.problem))
        << document.name;
  }
  EXPECT_EQ(wrong, 0u);
  std::printf("%zu documents: %zu read as their own encoding, %zu refused naming it, %zu wrong\n",
              documents.size(), read, refused, wrong);
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
