// pokopen.hpp, built as C++17: results as strings, failures as pokopen::Error
// carrying the library's error, converters owned and movable.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "pokopen.hpp"

namespace {

static_assert(__cplusplus < 202002L, "this test is to be built as C++17");

TEST(Wrapper, ConvertsWholeTextsAndPieces) {
  EXPECT_EQ(pokopen::Version(), POKOPEN_VERSION_STRING);
  EXPECT_EQ(pokopen::Convert("あなたです。"), "ダ～リンだりゅん。");
  EXPECT_EQ(pokopen::Convert(u"あなたです。", POKOPEN_STYLE_PYO), u"あなただぴょ。");

  pokopen::Converter converter(POKOPEN_STYLE_NYO, POKOPEN_FORCE | POKOPEN_CRLF);
  std::string out = converter.Push("宿題をしま");
  out += converter.Push("す。\n\xE3\x81");  // cut inside で
  out += converter.Push("\xA7した。");
  out += converter.Finish();
  EXPECT_EQ(out, "宿題をするにょ。\r\nだったにょ。");

  pokopen::Converter moved = std::move(converter);
  std::u16string units = moved.Push(u"でした");
  units += moved.FinishUtf16();
  EXPECT_EQ(units, u"だったにょ");
  EXPECT_THROW(converter.Push("a"), pokopen::Error);  // NOLINT: moved from on purpose
}

TEST(Wrapper, FailuresThrowTheLibrarysError) {
  try {
    pokopen::Encode("ab\n©", POKOPEN_ENCODING_CP932);
    FAIL() << "no exception";
  } catch (const pokopen::Error& error) {
    EXPECT_EQ(error.Code(), POKOPEN_ERROR_UNENCODABLE);
    EXPECT_EQ(error.Details().line, 2u);
    EXPECT_EQ(error.Details().code_point, 0xA9u);
    EXPECT_STREQ(error.what(), error.Details().message);
  }
  EXPECT_THROW(pokopen::Convert("a", 6), pokopen::Error);
  EXPECT_THROW(pokopen::Decode("\xFF\xFE\x42"), pokopen::Error);
  EXPECT_THROW(pokopen::ReadText("/nonexistent/pokopen"), pokopen::Error);
  EXPECT_THROW(pokopen::Converter(0, 0x10), pokopen::Error);
}

TEST(Wrapper, EncodesDecodesWritesAndReads) {
  const std::string sentence = "これは日本語の文章です。\r\n";
  const std::string bytes = pokopen::Encode(sentence, POKOPEN_ENCODING_CP932, POKOPEN_CRLF);
  const pokopen::Decoded decoded = pokopen::Decode(bytes);
  EXPECT_EQ(decoded.text, sentence);
  EXPECT_EQ(decoded.encoding, POKOPEN_ENCODING_CP932);
  EXPECT_EQ(pokopen::DecodeUtf16(bytes, POKOPEN_ENCODING_CP932).text,
            u"これは日本語の文章です。\r\n");
  EXPECT_EQ(pokopen::Encode(u"あ", POKOPEN_ENCODING_UTF16BE), "\x30\x42");

  const std::string path = testing::TempDir() + "pokopen-wrapper.txt";
  pokopen::WriteText(path, "あ\nい", POKOPEN_ENCODING_UTF8, POKOPEN_CRLF);
  std::ifstream file(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "あ\r\nい");
  const pokopen::Decoded read = pokopen::ReadText(path);
  EXPECT_EQ(read.text, "あ\r\nい");
  EXPECT_EQ(read.encoding, POKOPEN_ENCODING_UTF8);
  pokopen::WriteText(path, u"う\r\nえ", POKOPEN_ENCODING_CP932);
  const pokopen::DecodedUtf16 readUtf16 = pokopen::ReadTextUtf16(path);
  EXPECT_EQ(readUtf16.text, u"う\nえ");
  EXPECT_EQ(readUtf16.encoding, POKOPEN_ENCODING_CP932);
  std::remove(path.c_str());

  EXPECT_EQ(pokopen::NextSafeCut("はい\nいいえ\n", 1), std::string("はい\n").size());
  // Not after です before a line that starts with 「: that break is rewritten.
  const std::string guarded = "これです\n「あ」";
  EXPECT_EQ(pokopen::NextSafeCut(guarded, 1), guarded.size());
}

}  // namespace
