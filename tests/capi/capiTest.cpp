// libpokopen's C interface, linked as a program links it: each function's
// results, each error with where it stands, and bad arguments answered with
// an error code.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "capiCalls.h"
#include "fileTestSupport.h"
#include "pokopen.h"

namespace {

using namespace capiCalls;
using namespace std::string_literals;

constexpr unsigned kAllFlags = POKOPEN_POKORU | POKOPEN_FIRST | POKOPEN_SECOND | POKOPEN_FORCE;
constexpr std::uint64_t kNoOffset = std::numeric_limits<std::uint64_t>::max();

TEST(CapiVersion, HeaderAndLibraryAgree) {
  EXPECT_STREQ(pokopen_version(), POKOPEN_VERSION_STRING);
  EXPECT_EQ(pokopen_version_number(), POKOPEN_VERSION_NUMBER);
  EXPECT_EQ(POKOPEN_VERSION_NUMBER, POKOPEN_VERSION_MAJOR * 1000000L +
                                        POKOPEN_VERSION_MINOR * 10000L + POKOPEN_VERSION_PATCH);
}

TEST(CapiStatusName, EveryStatusHasItsName) {
  const std::vector<std::string> names = {
      "ok",          "argument",         "no_memory",       "invalid_text", "nul_byte",
      "euc_jp",      "iso_2022_jp",      "mixed_encodings", "not_japanese", "no_byte_order_mark",
      "unencodable", "not_regular_file", "system"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(pokopen_status_name(static_cast<pokopen_status>(i)), names[i]);
  }
  for (const int unknown : {-1, 13, 1000}) {
    EXPECT_STREQ(pokopen_status_name(static_cast<pokopen_status>(unknown)), "unknown");
  }
}

struct ConvertCase {
  std::string text;
  int style;
  unsigned flags;
  std::string expected;
};

TEST(CapiConvert, StylesFlagsAndLineBreaks) {
  const std::string question = "わたしはぽこるです。あなたの名前は何ですか、教えてね。";
  const std::vector<ConvertCase> cases = {
      {question, 0, POKOPEN_DEFAULT_FLAGS,
       "ぽこりゅんはぽこるだりゅん。ダ～リンの名前は何だりゅん、教えてね。"},
      {question, 0, POKOPEN_POKORU | POKOPEN_SECOND,
       "わたしはぽこりゅんだりゅん。ダ～リンの名前は何だりゅん、教えてね。"},
      {question, 1, POKOPEN_POKORU | POKOPEN_FIRST,
       "ぽこりゅんっはぽこりゅんっだりゅん。あなたの名前は何だりゅん、教えてね。"},
      {question, 2, kAllFlags,
       "ぽこりゅん...はぽこりゅん...だりゅん。ダ～リン...の名前は何だりゅん、教えてね。"},
      {question, 3, kAllFlags, "わたしはぽこるだにゅ。あなたの名前は何だにゅ、教えてね。"},
      {"宿題をします。でした。", 0, POKOPEN_DEFAULT_FLAGS, "宿題をします。でした。"},
      {"宿題をします。でした。", 0, POKOPEN_FORCE, "宿題をするりゅん。だったりゅん。"},
      {"宿題をします。でした。", 4, POKOPEN_FORCE, "宿題をするにょ。だったにょ。"},
      {"宿題をします。でした。", 5, POKOPEN_FORCE, "宿題をするぴょ。だったぴょ。"},
      // Every line break becomes LF, or CR LF with POKOPEN_CRLF.
      {"あなた\r\nあなた\rあなた\nです。\r", 0, 0, "あなた\nあなた\nあなた\nだりゅん。\n"},
      {"あなた\r\nあなた\rあなた\nです。\r", 0, POKOPEN_SECOND | POKOPEN_CRLF,
       "ダ～リン\r\nダ～リン\r\nダ～リン\r\nだりゅん。\r\n"},
      {"a\0b\0"s, 0, 0, "a\0b\0"s},
      {"", 1, kAllFlags | POKOPEN_CRLF, ""},
  };
  for (const ConvertCase& c : cases) {
    SCOPED_TRACE(c.text + " style " + std::to_string(c.style));
    const Bytes converted = Convert(c.text, c.style, c.flags);
    ASSERT_EQ(converted.status, POKOPEN_OK) << converted.error.message;
    EXPECT_EQ(converted.error.code, POKOPEN_OK);
    EXPECT_EQ(converted.text, c.expected);
    const Units units = ConvertUtf16(Utf16(c.text), c.style, c.flags);
    ASSERT_EQ(units.status, POKOPEN_OK) << units.error.message;
    EXPECT_EQ(units.text, Utf16(c.expected));
  }
}

TEST(CapiConvert, Utf16CarriesALoneSurrogateThrough) {
  const std::u16string text = u"あなた\xD800です。\xDC00";
  const Units units = ConvertUtf16(text, 0, POKOPEN_DEFAULT_FLAGS);
  ASSERT_EQ(units.status, POKOPEN_OK);
  EXPECT_EQ(units.text, u"ダ～リン\xD800だりゅん。\xDC00");
}

// Invalid UTF-8 at `offset`, given to every function that takes UTF-8 text.
struct InvalidUtf8Case {
  std::string text;
  std::uint64_t offset;
};

void ExpectInvalidUtf8(const pokopen_error& error, std::uint64_t offset) {
  EXPECT_EQ(error.code, POKOPEN_ERROR_INVALID_TEXT);
  EXPECT_EQ(error.encoding, POKOPEN_ENCODING_UTF8);
  EXPECT_EQ(error.guessed, 0);
  EXPECT_EQ(error.offset, offset);
  EXPECT_EQ(error.byte_offset, offset);
  EXPECT_NE(std::string(error.message).find("byte offset " + std::to_string(offset)),
            std::string::npos)
      << error.message;
}

TEST(CapiErrors, InvalidUtf8WithItsOffset) {
  const std::vector<InvalidUtf8Case> cases = {
      {"\xFF", 0},
      {"あい\x80う", 6},          // a lone continuation byte
      {"あ\xC0\xAF", 3},          // overlong
      {"ab\xED\xA0\x80", 2},      // a surrogate
      {"あ\xF4\x90\x80\x80", 3},  // above U+10FFFF
      {"です\xE3\x81", 6},        // cut off at the end
      {"です\xE3\x81"
       "a",
       6},  // cut off inside
  };
  for (const InvalidUtf8Case& c : cases) {
    SCOPED_TRACE(c.offset);
    const Bytes converted = Convert(c.text, 0, POKOPEN_DEFAULT_FLAGS);
    EXPECT_EQ(converted.status, POKOPEN_ERROR_INVALID_TEXT);
    EXPECT_TRUE(converted.cleared);
    ExpectInvalidUtf8(converted.error, c.offset);
    const Bytes encoded = Encode(c.text, POKOPEN_ENCODING_CP932);
    EXPECT_EQ(encoded.status, POKOPEN_ERROR_INVALID_TEXT);
    EXPECT_TRUE(encoded.cleared);
    ExpectInvalidUtf8(encoded.error, c.offset);
  }
}

struct UnencodableCase {
  std::u16string text;
  pokopen_encoding encoding;
  char32_t codePoint;
  std::uint64_t line, column, count;
  std::uint64_t offsetUtf8, offsetUtf16;  // of the first, in either form of the text
};

TEST(CapiErrors, UnencodableWithLineColumnAndCount) {
  const std::vector<UnencodableCase> cases = {
      {u"©", POKOPEN_ENCODING_CP932, 0xA9, 1, 1, 1, 0, 0},
      {u"あ\r\nい\rう\nx😀y©😀", POKOPEN_ENCODING_CP932, 0x1F600, 4, 2, 3, 14, 8},
      {u"ab\r\n\r\ncd\u00E9", POKOPEN_ENCODING_CP932, 0xE9, 3, 3, 1, 8, 8},
  };
  for (const UnencodableCase& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string utf8 = Recode(
        {reinterpret_cast<const char*>(c.text.data()), c.text.size() * 2}, "UTF-16LE", "UTF-8");
    for (const Bytes& encoded :
         {Encode(utf8, c.encoding, POKOPEN_CRLF), EncodeUtf16(c.text, c.encoding)}) {
      EXPECT_EQ(encoded.status, POKOPEN_ERROR_UNENCODABLE);
      EXPECT_TRUE(encoded.cleared);
      EXPECT_EQ(encoded.error.encoding, c.encoding);
      EXPECT_EQ(encoded.error.code_point, c.codePoint);
      EXPECT_EQ(encoded.error.line, c.line);
      EXPECT_EQ(encoded.error.column, c.column);
      EXPECT_EQ(encoded.error.count, c.count);
    }
    EXPECT_EQ(Encode(utf8, c.encoding).error.offset, c.offsetUtf8);
    EXPECT_EQ(EncodeUtf16(c.text, c.encoding).error.offset, c.offsetUtf16);
  }
  // A lone surrogate is unencodable in every encoding, and named as named.
  for (const pokopen_encoding encoding :
       {POKOPEN_ENCODING_UTF8, POKOPEN_ENCODING_UTF16, POKOPEN_ENCODING_UTF16BE}) {
    const Bytes encoded = EncodeUtf16(u"ab\ncd\xDC00", encoding);
    EXPECT_EQ(encoded.status, POKOPEN_ERROR_UNENCODABLE);
    EXPECT_EQ(encoded.error.encoding, encoding);
    EXPECT_EQ(encoded.error.code_point, 0xDC00u);
    EXPECT_EQ(encoded.error.offset, 5u);
    EXPECT_EQ(encoded.error.line, 2u);
    EXPECT_EQ(encoded.error.column, 3u);
  }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Running out of memory is a status too, never an abort: in a child whose
// address space leaves 16 MiB beyond what it uses, for a result of 64 MiB.
TEST(CapiErrors, OutOfMemoryIsAStatus) {
  if (kSanitized) {
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit in the limit";
  }
  const std::string text(std::size_t{64} << 20, 'a');
  const int result = fileTestSupport::RunInChild([&] {
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max =
        pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + (std::size_t{16} << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
      return 100;
    }
    const Bytes converted = Convert(text, 0, POKOPEN_DEFAULT_FLAGS);
    return converted.cleared && converted.error.message == std::string("not enough memory")
               ? static_cast<int>(converted.status)
               : 101;
  });
  EXPECT_EQ(result, POKOPEN_ERROR_NO_MEMORY);
}

struct EncodeCase {
  std::string text;
  pokopen_encoding encoding;
  unsigned options;
  std::string bytes;
};

TEST(CapiEncode, EveryEncodingAndLineBreak) {
  const std::vector<EncodeCase> cases = {
      {"a\r\nb\rc\nd", POKOPEN_ENCODING_UTF8, 0, "a\nb\nc\nd"},
      {"a\r\nb\rc\nd\n", POKOPEN_ENCODING_UTF8, POKOPEN_CRLF, "a\r\nb\r\nc\r\nd\r\n"},
      {"\xEF\xBB\xBF"
       "a",
       POKOPEN_ENCODING_UTF8, 0,
       "\xEF\xBB\xBF"
       "a"},
      {"あ\n", POKOPEN_ENCODING_UTF16, 0, "\xFF\xFE\x42\x30\n\0"s},
      {"あ\n", POKOPEN_ENCODING_UTF16LE, POKOPEN_CRLF, "\x42\x30\r\0\n\0"s},
      {"あ😀", POKOPEN_ENCODING_UTF16BE, 0, "\x30\x42\xD8\x3D\xDE\x00"s},
      {"あ～\n", POKOPEN_ENCODING_CP932, POKOPEN_CRLF, "\x82\xA0\x81\x60\r\n"},
      // Look-alikes of other mappings, and a no-break space as a blank.
      {"〜‖−¢£¬—\u00A0", POKOPEN_ENCODING_CP932, 0,
       "\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA\x81\x5C "},
      {"", POKOPEN_ENCODING_UTF16, 0, "\xFF\xFE"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Bytes encoded = Encode(c.text, c.encoding, c.options);
    ASSERT_EQ(encoded.status, POKOPEN_OK) << encoded.error.message;
    EXPECT_EQ(encoded.text, c.bytes);
    EXPECT_EQ(EncodeUtf16(Utf16(c.text), c.encoding, c.options).text, c.bytes);
  }
}

struct DecodeCase {
  std::string bytes;
  pokopen_encoding encoding;
  std::string text;
  pokopen_encoding found;
};

// Code page 932 that reads as Japanese: これは日本語の文章です。
const std::string kCp932Sentence =
    "\x82\xB1\x82\xEA\x82\xCD\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x95\xB6\x8F\xCD\x82\xC5\x82\xB7"
    "\x81\x42";

TEST(CapiDecode, DetectedAndNamedEncodings) {
  const std::vector<DecodeCase> cases = {
      {"あ\r\nい\r", POKOPEN_ENCODING_AUTO, "あ\r\nい\r", POKOPEN_ENCODING_UTF8},
      {"\xEF\xBB\xBF"
       "a",
       POKOPEN_ENCODING_AUTO, "a", POKOPEN_ENCODING_UTF8},
      {"\xFF\xFE\x42\x30\n\0"s, POKOPEN_ENCODING_AUTO, "あ\n", POKOPEN_ENCODING_UTF16LE},
      {"\xFE\xFF\x30\x42"s, POKOPEN_ENCODING_UTF16, "あ", POKOPEN_ENCODING_UTF16BE},
      {"\x42\x30"s, POKOPEN_ENCODING_UTF16LE, "あ", POKOPEN_ENCODING_UTF16LE},
      {kCp932Sentence + "\r\n", POKOPEN_ENCODING_AUTO, "これは日本語の文章です。\r\n",
       POKOPEN_ENCODING_CP932},
      {"\x81\x60", POKOPEN_ENCODING_CP932, "～", POKOPEN_ENCODING_CP932},
      {"", POKOPEN_ENCODING_AUTO, "", POKOPEN_ENCODING_UTF8},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.text);
    pokopen_encoding found = POKOPEN_ENCODING_AUTO;
    const Bytes decoded = Decode(c.bytes, c.encoding, &found);
    ASSERT_EQ(decoded.status, POKOPEN_OK) << decoded.error.message;
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_EQ(found, c.found);
    const Units units = Take<std::u16string, std::uint16_t>(
        [&](std::uint16_t** data, std::size_t* length, pokopen_error* error) {
          return pokopen_decode_utf16(c.bytes.data(), c.bytes.size(), c.encoding, data, length,
                                      nullptr, error);
        });
    EXPECT_EQ(units.text, Utf16(c.text));
  }
}

struct RefusalCase {
  std::string name;
  std::string bytes;
  pokopen_encoding encoding;
  pokopen_status status;
  std::uint64_t byteOffset;
  pokopen_encoding likely;
  int guessed;
};

TEST(CapiDecode, RefusalsSayWhyAndWhere) {
  const std::string japanese = "これは日本語の文章です。";
  const std::vector<RefusalCase> cases = {
      {"UTF-8 damaged", japanese + "\xFF" + japanese, POKOPEN_ENCODING_AUTO,
       POKOPEN_ERROR_INVALID_TEXT, japanese.size(), POKOPEN_ENCODING_UTF8, 1},
      {"code page 932 damaged", kCp932Sentence + kCp932Sentence + "\x82\xFF", POKOPEN_ENCODING_AUTO,
       POKOPEN_ERROR_INVALID_TEXT, 2 * kCp932Sentence.size(), POKOPEN_ENCODING_CP932, 1},
      {"named UTF-8", kCp932Sentence, POKOPEN_ENCODING_UTF8, POKOPEN_ERROR_INVALID_TEXT, 0,
       POKOPEN_ENCODING_UTF8, 0},
      {"odd UTF-16", "\xFF\xFE\x42", POKOPEN_ENCODING_AUTO, POKOPEN_ERROR_INVALID_TEXT, 2,
       POKOPEN_ENCODING_UTF16LE, 0},
      {"NUL byte", "text\0more"s, POKOPEN_ENCODING_AUTO, POKOPEN_ERROR_NUL_BYTE, 4,
       POKOPEN_ENCODING_AUTO, 0},
      {"EUC-JP", "\xA4\xB3\xA4\xEC\xA4\xCF\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xCA\xB8\xBE\xCF",
       POKOPEN_ENCODING_AUTO, POKOPEN_ERROR_EUC_JP, 0, POKOPEN_ENCODING_AUTO, 0},
      {"no byte-order mark", "\x42\x30"s, POKOPEN_ENCODING_UTF16, POKOPEN_ERROR_NO_BYTE_ORDER_MARK,
       0, POKOPEN_ENCODING_AUTO, 0},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    pokopen_encoding found = POKOPEN_ENCODING_UTF8;
    const Bytes decoded = Decode(c.bytes, c.encoding, &found);
    EXPECT_EQ(decoded.status, c.status) << decoded.error.message;
    EXPECT_EQ(decoded.error.code, c.status);
    EXPECT_TRUE(decoded.cleared);
    EXPECT_EQ(found, POKOPEN_ENCODING_AUTO);
    EXPECT_EQ(decoded.error.byte_offset, c.byteOffset);
    EXPECT_EQ(decoded.error.encoding, c.likely);
    EXPECT_EQ(decoded.error.guessed, c.guessed);
    EXPECT_GT(std::string(decoded.error.message).size(), 10u);
    if (c.status == POKOPEN_ERROR_INVALID_TEXT) {
      EXPECT_EQ(decoded.error.offset, kNoOffset);
    }
  }
}

// Every bad argument is an error code, and the error may be left out.
TEST(CapiArguments, AreErrorsNeverCrashes) {
  char* text = nullptr;
  std::uint16_t* units = nullptr;
  std::size_t length = 0;
  pokopen_converter* converter = nullptr;
  ASSERT_EQ(pokopen_converter_new(0, 0, &converter, nullptr), POKOPEN_OK);
  pokopen_converter* made = nullptr;
  const std::uint16_t a[] = {u'a'};
  const auto bad = static_cast<pokopen_encoding>(6);
  const std::vector<std::pair<std::string, std::function<pokopen_status(pokopen_error*)>>> calls = {
      {"convert NULL text",
       [&](auto e) { return pokopen_convert(nullptr, 1, 0, 0, &text, &length, e); }},
      {"convert NULL result",
       [&](auto e) { return pokopen_convert("a", 1, 0, 0, nullptr, &length, e); }},
      {"convert NULL length",
       [&](auto e) { return pokopen_convert("a", 1, 0, 0, &text, nullptr, e); }},
      {"convert style -1",
       [&](auto e) { return pokopen_convert("a", 1, -1, 0, &text, &length, e); }},
      {"convert style 6", [&](auto e) { return pokopen_convert("a", 1, 6, 0, &text, &length, e); }},
      {"convert flag 0x10",
       [&](auto e) { return pokopen_convert("a", 1, 0, 0x10, &text, &length, e); }},
      {"convert flag 0x80000000",
       [&](auto e) { return pokopen_convert("a", 1, 0, 0x80000000u, &text, &length, e); }},
      {"convert_utf16 NULL text",
       [&](auto e) { return pokopen_convert_utf16(nullptr, 1, 0, 0, &units, &length, e); }},
      {"convert_utf16 style 6",
       [&](auto e) { return pokopen_convert_utf16(a, 1, 6, 0, &units, &length, e); }},
      {"converter_new NULL", [&](auto e) { return pokopen_converter_new(0, 0, nullptr, e); }},
      {"converter_new style", [&](auto e) { return pokopen_converter_new(7, 0, &made, e); }},
      {"converter_new flag", [&](auto e) { return pokopen_converter_new(0, 0x400, &made, e); }},
      {"push NULL converter",
       [&](auto e) { return pokopen_converter_push(nullptr, "a", 1, &text, &length, e); }},
      {"push NULL bytes",
       [&](auto e) { return pokopen_converter_push(converter, nullptr, 1, &text, &length, e); }},
      {"push NULL result",
       [&](auto e) { return pokopen_converter_push(converter, "a", 1, nullptr, &length, e); }},
      {"finish NULL converter",
       [&](auto e) { return pokopen_converter_finish(nullptr, &text, &length, e); }},
      {"finish NULL length",
       [&](auto e) { return pokopen_converter_finish(converter, &text, nullptr, e); }},
      {"push_utf16 NULL converter",
       [&](auto e) { return pokopen_converter_push_utf16(nullptr, a, 1, &units, &length, e); }},
      {"push_utf16 NULL units",
       [&](auto e) {
         return pokopen_converter_push_utf16(converter, nullptr, 2, &units, &length, e);
       }},
      {"finish_utf16 NULL result",
       [&](auto e) { return pokopen_converter_finish_utf16(converter, nullptr, &length, e); }},
      {"decode NULL bytes",
       [&](auto e) {
         return pokopen_decode(nullptr, 2, POKOPEN_ENCODING_AUTO, &text, &length, nullptr, e);
       }},
      {"decode encoding 6",
       [&](auto e) { return pokopen_decode("a", 1, bad, &text, &length, nullptr, e); }},
      {"decode encoding 7",
       [&](auto e) {
         return pokopen_decode("a", 1, static_cast<pokopen_encoding>(7), &text, &length, nullptr,
                               e);
       }},
      {"decode_utf16 NULL text",
       [&](auto e) {
         return pokopen_decode_utf16("a", 1, POKOPEN_ENCODING_AUTO, nullptr, &length, nullptr, e);
       }},
      {"encode NULL bytes",
       [&](auto e) {
         return pokopen_encode("a", 1, POKOPEN_ENCODING_UTF8, 0, nullptr, &length, e);
       }},
      {"encode AUTO",
       [&](auto e) { return pokopen_encode("a", 1, POKOPEN_ENCODING_AUTO, 0, &text, &length, e); }},
      {"encode encoding 6",
       [&](auto e) { return pokopen_encode("a", 1, bad, 0, &text, &length, e); }},
      {"encode option bits",
       [&](auto e) {
         return pokopen_encode("a", 1, POKOPEN_ENCODING_UTF8, POKOPEN_FORCE, &text, &length, e);
       }},
      {"encode bad option before invalid text",
       [&](auto e) {
         return pokopen_encode("\xFF", 1, POKOPEN_ENCODING_UTF8, 0x2, &text, &length, e);
       }},
      {"encode_utf16 NULL text",
       [&](auto e) {
         return pokopen_encode_utf16(nullptr, 1, POKOPEN_ENCODING_UTF8, 0, &text, &length, e);
       }},
      {"encode_utf16 AUTO",
       [&](auto e) {
         return pokopen_encode_utf16(a, 1, POKOPEN_ENCODING_AUTO, 0, &text, &length, e);
       }},
      {"read_text NULL path",
       [&](auto e) {
         return pokopen_read_text(nullptr, POKOPEN_ENCODING_AUTO, &text, &length, nullptr, e);
       }},
      {"read_text encoding 6",
       [&](auto e) { return pokopen_read_text("/dev/null", bad, &text, &length, nullptr, e); }},
      {"read_text NULL text",
       [&](auto e) {
         return pokopen_read_text("/dev/null", POKOPEN_ENCODING_AUTO, nullptr, &length, nullptr, e);
       }},
      {"write_text NULL path",
       [&](auto e) { return pokopen_write_text(nullptr, "\xFF", 1, POKOPEN_ENCODING_UTF8, 0, e); }},
      {"write_text NULL text",
       [&](auto e) {
         return pokopen_write_text("/nonexistent/x", nullptr, 1, POKOPEN_ENCODING_UTF8, 0, e);
       }},
      {"write_text AUTO",
       [&](auto e) {
         return pokopen_write_text("/nonexistent/x", "a", 1, POKOPEN_ENCODING_AUTO, 0, e);
       }},
      {"convert_file NULL input",
       [&](auto e) {
         return pokopen_convert_file(nullptr, "/nonexistent/x", 0, 0, POKOPEN_ENCODING_AUTO,
                                     POKOPEN_ENCODING_UTF8, 1, e);
       }},
      {"convert_file NULL output",
       [&](auto e) {
         return pokopen_convert_file("/dev/null", nullptr, 0, 0, POKOPEN_ENCODING_AUTO,
                                     POKOPEN_ENCODING_UTF8, 1, e);
       }},
  };
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    pokopen_error error{};
    EXPECT_EQ(call(&error), POKOPEN_ERROR_ARGUMENT);
    EXPECT_EQ(error.code, POKOPEN_ERROR_ARGUMENT);
    EXPECT_GT(std::string(error.message).size(), 5u);
    EXPECT_EQ(call(nullptr), POKOPEN_ERROR_ARGUMENT);
  }
  pokopen_converter_free(converter);
  pokopen_converter_free(nullptr);
  pokopen_free(nullptr);
}

// The results a failed call leaves are cleared, whatever they held before.
TEST(CapiArguments, FailedCallsClearTheirResults) {
  int somewhere = 0;
  auto* converter = reinterpret_cast<pokopen_converter*>(&somewhere);
  EXPECT_EQ(pokopen_converter_new(9, 0, &converter, nullptr), POKOPEN_ERROR_ARGUMENT);
  EXPECT_EQ(converter, nullptr);
  EXPECT_TRUE(Convert("a", 9, 0).cleared);
  EXPECT_TRUE(Decode("a", static_cast<pokopen_encoding>(7)).cleared);
}

using CapiFiles = fileTestSupport::TemporaryFolder;

TEST_F(CapiFiles, WrittenAndReadBack) {
  struct Case {
    std::string text;
    pokopen_encoding encoding;
    unsigned options;
    std::string bytes;
    pokopen_encoding found;
  };
  const std::vector<Case> cases = {
      {"これは日本語の文章です。\n", POKOPEN_ENCODING_CP932, POKOPEN_CRLF, kCp932Sentence + "\r\n",
       POKOPEN_ENCODING_CP932},
      {"あ\r\nい", POKOPEN_ENCODING_UTF8, 0, "あ\nい", POKOPEN_ENCODING_UTF8},
      {"あ", POKOPEN_ENCODING_UTF16, 0, "\xFF\xFE\x42\x30", POKOPEN_ENCODING_UTF16LE},
  };
  const std::string path = Path("text.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    pokopen_error error{};
    ASSERT_EQ(pokopen_write_text(path.c_str(), c.text.data(), c.text.size(), c.encoding, c.options,
                                 &error),
              POKOPEN_OK)
        << error.message;
    EXPECT_EQ(fileTestSupport::ReadBytes(path), c.bytes);
    pokopen_encoding found = POKOPEN_ENCODING_AUTO;
    const Bytes read = Take<std::string, char>([&](char** data, std::size_t* length, auto e) {
      return pokopen_read_text(path.c_str(), POKOPEN_ENCODING_AUTO, data, length, &found, e);
    });
    ASSERT_EQ(read.status, POKOPEN_OK) << read.error.message;
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(Decode(c.bytes, POKOPEN_ENCODING_AUTO).text, read.text);
  }
  EXPECT_EQ(Entries(), std::set<std::string>{"text.txt"});
}

TEST_F(CapiFiles, FailuresOfTheSystemAndOfTheText) {
  const std::string kept = Path("kept.txt");
  fileTestSupport::WriteBytes(kept, "old");
  const std::string fifo = Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fileTestSupport::WriteBytes(Path("nul.txt"), "a\0b"s);

  struct Case {
    std::string name;
    std::function<pokopen_status(pokopen_error*)> call;
    pokopen_status status;
    int errnum;
    int inOutput;
  };
  const auto read = [](std::string path) {
    return [path](pokopen_error* error) {
      char* text = nullptr;
      std::size_t length = 0;
      const pokopen_status status =
          pokopen_read_text(path.c_str(), POKOPEN_ENCODING_AUTO, &text, &length, nullptr, error);
      pokopen_free(text);
      return status;
    };
  };
  const auto write = [](std::string path, std::string text) {
    return [path, text](pokopen_error* error) {
      return pokopen_write_text(path.c_str(), text.data(), text.size(), POKOPEN_ENCODING_CP932, 0,
                                error);
    };
  };
  const auto convert = [](std::string from, std::string to, pokopen_encoding encoding) {
    return [from, to, encoding](pokopen_error* error) {
      return pokopen_convert_file(from.c_str(), to.c_str(), POKOPEN_STYLE_STANDARD, 0,
                                  POKOPEN_ENCODING_AUTO, encoding, 2, error);
    };
  };
  fileTestSupport::WriteBytes(Path("copyright.txt"), "本です ©\n");
  const std::vector<Case> cases = {
      {"read missing", read(Path("missing")), POKOPEN_ERROR_SYSTEM, ENOENT, 0},
      {"read folder", read(dir_), POKOPEN_ERROR_SYSTEM, EISDIR, 0},
      {"read FIFO", read(fifo), POKOPEN_ERROR_NOT_REGULAR_FILE, 0, 0},
      {"read NUL", read(Path("nul.txt")), POKOPEN_ERROR_NUL_BYTE, 0, 0},
      {"write into missing folder", write(Path("missing/x"), "a"), POKOPEN_ERROR_SYSTEM, ENOENT, 1},
      {"write folder", write(dir_, "a"), POKOPEN_ERROR_SYSTEM, EISDIR, 1},
      {"write FIFO", write(fifo, "a"), POKOPEN_ERROR_NOT_REGULAR_FILE, 0, 1},
      {"write unencodable", write(kept, "new ©"), POKOPEN_ERROR_UNENCODABLE, 0, 0},
      {"convert missing", convert(Path("missing"), kept, POKOPEN_ENCODING_UTF8),
       POKOPEN_ERROR_SYSTEM, ENOENT, 0},
      {"convert FIFO", convert(fifo, kept, POKOPEN_ENCODING_UTF8), POKOPEN_ERROR_NOT_REGULAR_FILE,
       0, 0},
      {"convert NUL", convert(Path("nul.txt"), kept, POKOPEN_ENCODING_UTF8), POKOPEN_ERROR_NUL_BYTE,
       0, 0},
      {"convert into missing folder",
       convert(Path("copyright.txt"), Path("missing/x"), POKOPEN_ENCODING_UTF8),
       POKOPEN_ERROR_SYSTEM, ENOENT, 1},
      {"convert unencodable", convert(Path("copyright.txt"), kept, POKOPEN_ENCODING_CP932),
       POKOPEN_ERROR_UNENCODABLE, 0, 0},
      {"convert to UTF-16", convert(Path("copyright.txt"), kept, POKOPEN_ENCODING_UTF16LE),
       POKOPEN_ERROR_ARGUMENT, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pokopen_error error{};
    EXPECT_EQ(c.call(&error), c.status) << error.message;
    EXPECT_EQ(error.system_errno, c.errnum);
    EXPECT_EQ(error.in_output, c.inOutput);
    if (c.errnum != 0) {
      EXPECT_TRUE(std::string_view(error.message).ends_with(strerrordesc_np(c.errnum)))
          << error.message;
    }
  }
  EXPECT_EQ(fileTestSupport::ReadBytes(kept), "old");
  EXPECT_EQ(Entries(), (std::set<std::string>{"kept.txt", "fifo", "nul.txt", "copyright.txt"}));
}

}  // namespace
