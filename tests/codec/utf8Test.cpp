#include <gtest/gtest.h>

#include <optional>
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
