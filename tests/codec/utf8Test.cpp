#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "textCodec.h"

namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string text;                // expected when offset is empty
  std::optional<std::size_t> offset;  // expected error offset
};

TEST(Utf8Decode, StrictForms) {
  const DecodeCase cases[] = {
      {"ascii", "abc", u"abc", {}},
      {"smallest two-byte", "\xC2\x80", u"\u0080", {}},
      {"largest two-byte", "\xDF\xBF", u"\u07FF", {}},
      {"smallest three-byte", "\xE0\xA0\x80", u"\u0800", {}},
      {"below the surrogates", "\xED\x9F\xBF", u"\uD7FF", {}},
      {"above the surrogates", "\xEE\x80\x80", u"\uE000", {}},
      {"largest three-byte", "\xEF\xBF\xBF", u"\uFFFF", {}},
      {"smallest four-byte", "\xF0\x90\x80\x80", u"\U00010000", {}},
      {"largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", {}},
      {"byte-order mark kept",
       "\xEF\xBB\xBF"
       "a",
       u"\uFEFFa",
       {}},
      {"japanese", "ぽこりゅん", u"ぽこりゅん", {}},
      {"overlong two-byte C0", "a\xC0\x80", u"", 1},
      {"overlong two-byte C1", "\xC1\xBF", u"", 0},
      {"overlong three-byte", "\xE0\x9F\xBF", u"", 0},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", u"", 0},
      {"high surrogate", "\xED\xA0\x80", u"", 0},
      {"low surrogate", "ab\xED\xBF\xBF", u"", 2},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"", 0},
      {"lead byte F5", "\xF5\x80\x80\x80", u"", 0},
      {"byte FF", "\xFF", u"", 0},
      {"stray continuation", "\x80", u"", 0},
      {"stray continuation after a character", "\xC3\xA9\xA9", u"", 2},
      {"truncated at the end", "ab\xE3\x81", u"", 2},
      {"truncated four-byte", "\xF0\x9F\x98", u"", 0},
      {"truncated by a new lead", "\xE3\x81\xE3\x81\x82", u"", 0},
      {"bad last continuation", "\xE3\x81\x82\xF0\x9F\x98\x41", u"", 3},
      {"bad second byte", "\xC3\x41", u"", 0},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto decoded = textCodec::DecodeUtf8(c.bytes);
    if (c.offset) {
      ASSERT_TRUE(decoded.error);
      EXPECT_EQ(decoded.error->byteOffset, *c.offset);
      EXPECT_TRUE(decoded.text.empty());
    } else {
      ASSERT_FALSE(decoded.error) << "offset " << decoded.error->byteOffset;
      EXPECT_EQ(decoded.text, c.text);
    }
  }
}

// Every code point outside the surrogates, one by one against the textbook
// form, and back.
TEST(Utf8, EveryCodePointRoundTrips) {
  for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      continue;
    }
    std::u16string text;
    std::string expected;
    if (codePoint < 0x10000) {
      text.push_back(static_cast<char16_t>(codePoint));
    } else {
      text.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
    }
    const auto tail = [&](int shift) {
      return static_cast<char>(0x80 | ((codePoint >> shift) & 0x3F));
    };
    if (codePoint < 0x80) {
      expected = {static_cast<char>(codePoint)};
    } else if (codePoint < 0x800) {
      expected = {static_cast<char>(0xC0 | (codePoint >> 6)), tail(0)};
    } else if (codePoint < 0x10000) {
      expected = {static_cast<char>(0xE0 | (codePoint >> 12)), tail(6), tail(0)};
    } else {
      expected = {static_cast<char>(0xF0 | (codePoint >> 18)), tail(12), tail(6), tail(0)};
    }
    const auto encoded = textCodec::EncodeUtf8(text);
    ASSERT_FALSE(encoded.error) << std::hex << static_cast<unsigned>(codePoint);
    ASSERT_EQ(encoded.bytes, expected) << std::hex << static_cast<unsigned>(codePoint);
    const auto decoded = textCodec::DecodeUtf8(expected);
    ASSERT_FALSE(decoded.error) << std::hex << static_cast<unsigned>(codePoint);
    ASSERT_EQ(decoded.text, text) << std::hex << static_cast<unsigned>(codePoint);
  }
}

TEST(Utf8, JapaneseTextRoundTrips) {
  const std::u16string text = u"ぽこりゅんっ、ダ～リンっ！\r\n😀ですぅ。\r半角ｶﾅ\n";
  const auto encoded = textCodec::EncodeUtf8(text);
  ASSERT_FALSE(encoded.error);
  const auto decoded = textCodec::DecodeUtf8(encoded.bytes);
  ASSERT_FALSE(decoded.error);
  EXPECT_EQ(decoded.text, text);
}

TEST(Utf8, EmptyInput) {
  const auto decoded = textCodec::DecodeUtf8("");
  EXPECT_FALSE(decoded.error);
  EXPECT_TRUE(decoded.text.empty());
  const auto encoded = textCodec::EncodeUtf8(u"");
  EXPECT_FALSE(encoded.error);
  EXPECT_TRUE(encoded.bytes.empty());
}

}  // namespace

namespace {

// The codec a few units or bytes at a time takes its plain paths; whole, it
// takes the fast ones for runs of three-byte characters.
textCodec::Decoded DecodeByteByByte(std::string_view bytes) {
  textCodec::Decoded decoded;
  std::string held;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    held += bytes[i];
    const auto progress =
        textCodec::DecodeSome(textCodec::Encoding::Utf8, held, i + 1 == bytes.size(), decoded.text);
    if (progress.invalidAt) {
      return {u"", textCodec::InvalidBytes{i + 1 - held.size() + *progress.invalidAt}};
    }
    held.erase(0, progress.consumed);
  }
  return decoded;
}

// The bytes decoded whole and byte by byte give the same text or the same
// fault, and the text encoded whole the same bytes as a character at a time.
void ExpectTheFastPathsMatchThePlainOnes(const std::string& bytes) {
  const textCodec::Decoded whole = textCodec::DecodeUtf8(bytes);
  const textCodec::Decoded plain = DecodeByteByByte(bytes);
  ASSERT_EQ(whole.error.has_value(), plain.error.has_value());
  if (whole.error) {
    EXPECT_EQ(whole.error->byteOffset, plain.error->byteOffset);
    return;
  }
  EXPECT_TRUE(whole.text == plain.text);
  std::string unitByUnit;
  for (std::size_t u = 0; u < whole.text.size(); ++u) {
    const bool pair = whole.text[u] >= 0xD800 && whole.text[u] <= 0xDBFF;
    textCodec::AppendUtf8(std::u16string_view(whole.text).substr(u, pair ? 2 : 1), unitByUnit);
    u += pair ? 1 : 0;
  }
  EXPECT_EQ(textCodec::EncodeUtf8(whole.text).bytes, unitByUnit);
}

const char kFaults[] = {'\x80', '\xC0', '\xC1', '\xE0', '\xED', '\xEF', '\xFF', 'a'};

TEST(Utf8, FastRunsMatchThePlainPathsWhereverAFaultFalls) {
  // Three-byte runs, and ASCII mixed with Japanese every few characters as
  // real documents have it, over more than the sixty-four bytes read at once.
  const std::string runs[] = {
      "わたしは貴殿のお手紙を拝見しました\xEE\x80\x80\xEF\xBF\xBF\xE0\xA0\x80"
      "\xED\x9F\xBFです。a\xC3\xA9😀",
      "本 Debian リファレンス (第2.100版) は apt-get で install します。\r\n"
      "    man ページは UTF-8 です。 (C) 2023 a\xC3\xA9 \xEF\xBD\xB1 end",
  };
  for (const std::string& run : runs) {
    for (std::size_t at = 0; at < run.size(); ++at) {
      for (const char fault : kFaults) {
        std::string bytes = run;
        bytes[at] = fault;
        SCOPED_TRACE(at);
        ExpectTheFastPathsMatchThePlainOnes(bytes);
      }
    }
  }
}

// Random mixes of what real documents alternate: ASCII, line breaks, Latin
// letters and no-break spaces, Japanese, and the characters at the edges of
// each length, with a fault at a random place in every other one.
TEST(Utf8, RandomMixesMatchThePlainPaths) {
  const std::u16string characters[] = {u"a",      u" ",      u"\r\n",   u"\n",     u"\u00A0",
                                       u"\u00E9", u"\u0080", u"\u07FF", u"本",     u"ア",
                                       u"\u0800", u"\uD7FF", u"\uE000", u"\uFFFF", u"😀"};
  std::mt19937 random(17);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    std::string bytes;
    for (std::size_t length = random() % 300; text.size() < length;) {
      const std::u16string& character = characters[random() % std::size(characters)];
      text += character;
      textCodec::AppendUtf8(character, bytes);
    }
    SCOPED_TRACE(round);
    ASSERT_EQ(textCodec::EncodeUtf8(text).bytes, bytes);
    if (round % 2 == 1 && !bytes.empty()) {
      bytes[random() % bytes.size()] = kFaults[random() % std::size(kFaults)];
    } else {
      EXPECT_TRUE(textCodec::DecodeUtf8(bytes).text == text);
    }
    ExpectTheFastPathsMatchThePlainOnes(bytes);
  }
}

// Writing each CR LF as LF drops just the CRs that a unit-level rule drops,
// wherever the break falls among the eight units written at once.
TEST(Encode, CrLfAsLfDropsOnlyTheCrOfEachCrLf) {
  const std::u16string line =
      u"本 Debian リファレンス (第2.100版) は apt-get で install します。 (C) 2023 end";
  const std::u16string breaks[] = {u"\r\n", u"\r", u"\n", u"\r\r\n", u"\n\r", u"\r\n\r\n"};
  for (const textCodec::Encoding encoding :
       {textCodec::Encoding::Utf8, textCodec::Encoding::Cp932, textCodec::Encoding::Utf16Le}) {
    for (const std::u16string& lineBreak : breaks) {
      for (std::size_t at = 0; at <= line.size(); ++at) {
        std::u16string text = line + line;
        text.insert(at, lineBreak);
        std::u16string withoutCrs;
        for (std::size_t i = 0; i < text.size(); ++i) {
          if (text[i] != u'\r' || i + 1 == text.size() || text[i + 1] != u'\n') {
            withoutCrs += text[i];
          }
        }
        const std::size_t room = textCodec::MostBytes(encoding, text.size());
        std::string dropped(room, '\0');
        std::string expected(room, '\0');
        dropped.resize(textCodec::EncodeInto(encoding, text, dropped.data(),
                                             textCodec::LineBreakBytes::CrLfAsLf)
                           .written);
        expected.resize(textCodec::EncodeInto(encoding, withoutCrs, expected.data()).written);
        EXPECT_EQ(dropped, expected) << textCodec::EnglishName(encoding) << " at " << at;
      }
    }
  }
}

}  // namespace
