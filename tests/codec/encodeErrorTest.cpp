#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "textCodec.h"

namespace {

struct PositionCase {
  const char* name;
  std::u16string text;
  char32_t codePoint;
  std::size_t line;
  std::size_t column;
};

void ExpectAt(const std::optional<textCodec::Unencodable>& error, const PositionCase& c) {
  ASSERT_TRUE(error);
  EXPECT_EQ(error->codePoint, c.codePoint);
  EXPECT_EQ(error->line, c.line);
  EXPECT_EQ(error->column, c.column);
}

// Encode, Find and Append agree on the first unencodable character; Append
// leaves what it was given untouched.
TEST(Cp932Encode, UnencodablePositions) {
  const PositionCase cases[] = {
      {"first character", u"\u00A5", 0xA5, 1, 1},
      {"after ascii", u"ab\u203E", 0x203E, 1, 3},
      {"after CR LF", u"あ\r\nいう\u00A5", 0xA5, 2, 3},
      {"after a lone CR", u"a\rb\u00A5", 0xA5, 2, 2},
      {"after a lone LF", u"a\nb\u00A5", 0xA5, 2, 2},
      {"LF CR is two breaks", u"\n\r\u00A5", 0xA5, 3, 1},
      {"CR then CR LF", u"\r\r\n\u00A5", 0xA5, 3, 1},
      {"only the first is reported", u"x\u00A5\u203E", 0xA5, 1, 2},
      {"surrogate pair", u"a\r\n\U0001F600", 0x1F600, 2, 1},
      {"lone high surrogate", u"ab\xD83D", 0xD83D, 1, 3},
      {"high surrogate before a non-surrogate", u"\xD83Dx", 0xD83D, 1, 1},
      {"lone low surrogate", u"a\xDE00", 0xDE00, 1, 2},
      {"byte-order mark", u"\uFEFFa", 0xFEFF, 1, 1},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto encoded = textCodec::EncodeCp932(c.text);
    ExpectAt(encoded.error, c);
    EXPECT_TRUE(encoded.bytes.empty());
    ExpectAt(textCodec::FindUnencodableCp932(c.text), c);
    std::string out = "kept";
    EXPECT_THROW(textCodec::AppendCp932(c.text, out), std::invalid_argument);
    EXPECT_EQ(out, "kept");
  }
}

TEST(Utf8Encode, UnencodablePositions) {
  const PositionCase cases[] = {
      {"lone high surrogate at the end", u"ab\xD800", 0xD800, 1, 3},
      {"after a surrogate pair", u"\U0001F600a\xD800", 0xD800, 1, 3},
      {"after two lines", u"a\r\nb\r\xDC00", 0xDC00, 3, 1},
      {"two high surrogates", u"\xD800\xD800\xDC00", 0xD800, 1, 1},
      {"low before high", u"\xDC00\xD800", 0xDC00, 1, 1},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto encoded = textCodec::EncodeUtf8(c.text);
    ExpectAt(encoded.error, c);
    EXPECT_TRUE(encoded.bytes.empty());
    std::string out = "kept";
    EXPECT_THROW(textCodec::AppendUtf8(c.text, out), std::invalid_argument);
    EXPECT_EQ(out, "kept");
  }
}

// Every unencodable character is counted, the first few placed as the
// first one alone is; the look-alikes code page 932 writes do not count.
TEST(Encode, FindEveryUnencodableCountsAndPlacesThem) {
  using textCodec::Encoding;
  struct Found {
    char32_t codePoint;
    std::size_t line;
    std::size_t column;
  };
  const struct {
    const char* name;
    Encoding encoding;
    std::u16string text;
    std::size_t mostListed;
    std::size_t count;
    std::vector<Found> first;
  } cases[] = {
      {"look-alikes only", Encoding::Cp932, u"ぽこ\u00A0\u2014\u2015\u301C\u2212～\r\n", 5, 0, {}},
      {"a document from the web",
       Encoding::Cp932,
       u"著作権©2024\u00A0ぽこ\r\n絵文字😀と™\n\r®",
       5,
       4,
       {{0xA9, 1, 4}, {0x1F600, 2, 4}, {0x2122, 2, 6}, {0xAE, 4, 1}}},
      {"more than listed", Encoding::Cp932, u"©a©\r\n©😀", 2, 4, {{0xA9, 1, 1}, {0xA9, 1, 3}}},
      {"none listed", Encoding::Cp932, u"©©", 0, 2, {}},
      {"lone surrogates",
       Encoding::Cp932,
       u"\xDC00\xD800x",
       5,
       2,
       {{0xDC00, 1, 1}, {0xD800, 1, 2}}},
      {"UTF-8 holds all but lone surrogates",
       Encoding::Utf8,
       u"©a\xD800"
       u"b😀\r\n\xDC00",
       5,
       2,
       {{0xD800, 1, 3}, {0xDC00, 2, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const textCodec::UnencodableCharacters found =
        textCodec::FindEveryUnencodable(c.encoding, c.text, c.mostListed);
    EXPECT_EQ(found.count, c.count);
    ASSERT_EQ(found.first.size(), c.first.size());
    for (std::size_t i = 0; i < c.first.size(); ++i) {
      EXPECT_EQ(found.first[i].codePoint, c.first[i].codePoint) << i;
      EXPECT_EQ(found.first[i].line, c.first[i].line) << i;
      EXPECT_EQ(found.first[i].column, c.first[i].column) << i;
    }
  }
}

TEST(Encode, AppendingPiecesGivesTheWhole) {
  const std::u16string text = u"ぽこ\r\nりゅん～😀abc";
  const std::u16string_view view = text;
  for (std::size_t split = 0; split <= text.size(); ++split) {
    if (split == 9) {
      continue;  // inside the surrogate pair
    }
    std::string utf8;
    textCodec::AppendUtf8(view.substr(0, split), utf8);
    textCodec::AppendUtf8(view.substr(split), utf8);
    EXPECT_EQ(utf8, textCodec::EncodeUtf8(text).bytes) << split;
  }
  const std::u16string cp932Text = u"ぽこ\r\nりゅん～abc";
  std::string cp932 = "head";
  textCodec::AppendCp932(cp932Text, cp932);
  EXPECT_EQ(cp932, "head" + textCodec::EncodeCp932(cp932Text).bytes);
}

}  // namespace
