#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "iconvReference.h"
#include "textCodec.h"

namespace {

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (const unsigned value : values) {
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

// The bytes of a one- or two-byte code.
std::string CodeBytes(unsigned code) {
  return code > 0xFF ? Bytes({code >> 8, code & 0xFF}) : Bytes({code});
}

std::vector<std::string> EverySingleByteAndPair() {
  std::vector<std::string> inputs;
  for (unsigned byte = 0; byte <= 0xFF; ++byte) {
    inputs.push_back(Bytes({byte}));
  }
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) {
      continue;
    }
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      inputs.push_back(Bytes({lead, trail}));
    }
  }
  return inputs;
}

// Every character some code decodes to, as iconv sees it.
std::set<char16_t> DecodableCharacters() {
  std::set<char16_t> characters;
  for (const std::string& input : EverySingleByteAndPair()) {
    const auto reference = iconvReference::DecodeCp932(input);
    if (!reference.errorOffset && reference.text.size() == 1) {
      characters.insert(reference.text[0]);
    }
  }
  return characters;
}

TEST(Cp932Decode, EveryByteAndPairAsIconv) {
  // A leading character puts the error offsets away from zero.
  for (const std::string& code : EverySingleByteAndPair()) {
    const std::string input = "A" + code;
    const auto reference = iconvReference::DecodeCp932(input);
    const auto ours = textCodec::DecodeCp932(input);
    SCOPED_TRACE(testing::PrintToString(code));
    if (reference.errorOffset) {
      ASSERT_TRUE(ours.error);
      EXPECT_EQ(ours.error->byteOffset, *reference.errorOffset);
      EXPECT_TRUE(ours.text.empty());
    } else {
      ASSERT_FALSE(ours.error) << "offset " << ours.error->byteOffset;
      EXPECT_EQ(ours.text, reference.text);
    }
  }
}

TEST(Cp932Encode, EveryBmpCharacterAsIconvApartFromLookAlikes) {
  const std::set<char16_t> decodable = DecodableCharacters();
  const std::map<char16_t, std::string> lookAlikes = {
      {0x301C, Bytes({0x81, 0x60})}, {0x2016, Bytes({0x81, 0x61})}, {0x2212, Bytes({0x81, 0x7C})},
      {0x00A2, Bytes({0x81, 0x91})}, {0x00A3, Bytes({0x81, 0x92})}, {0x00AC, Bytes({0x81, 0xCA})},
      {0x2014, Bytes({0x81, 0x5C})}, {0x00A0, Bytes({0x20})},
  };
  std::set<char16_t> iconvExtras;
  for (char32_t codePoint = 0; codePoint <= 0xFFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      continue;
    }
    const std::u16string text(1, static_cast<char16_t>(codePoint));
    const auto reference = iconvReference::EncodeCp932(text);
    const auto ours = textCodec::EncodeCp932(text);
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(codePoint));
    if (decodable.contains(text[0])) {
      ASSERT_TRUE(reference);
      ASSERT_FALSE(ours.error);
      EXPECT_EQ(ours.bytes, *reference);
    } else if (const auto lookAlike = lookAlikes.find(text[0]); lookAlike != lookAlikes.end()) {
      ASSERT_FALSE(ours.error);
      EXPECT_EQ(ours.bytes, lookAlike->second);
    } else {
      if (reference) {
        iconvExtras.insert(text[0]);
      }
      ASSERT_TRUE(ours.error);
      EXPECT_EQ(ours.error->codePoint, codePoint);
      EXPECT_TRUE(ours.bytes.empty());
    }
  }
  // iconv's own one-way mappings are refused, not silently replaced.
  EXPECT_TRUE(iconvExtras.contains(0x00A5));
  EXPECT_TRUE(iconvExtras.contains(0x203E));
}

// Codes where Windows differs from other Shift-JIS mappings, or where a
// character has more than one code; pinned here in case the reference moves.
TEST(Cp932, WindowsMapping) {
  struct Case {
    unsigned code;
    char16_t character;
    bool encodesBack;  // false where the character is written as another code
  };
  const Case cases[] = {
      {0x5C, 0x005C, true},    {0x7E, 0x007E, true},    {0x815F, 0xFF3C, true},
      {0x8160, 0xFF5E, true},  {0x815C, 0x2015, true},  {0xA1, 0xFF61, true},
      {0xDF, 0xFF9F, true},    {0x8740, 0x2460, true},  {0x8754, 0x2160, true},
      {0xFA4A, 0x2160, false}, {0x81E6, 0x2235, true},  {0x879A, 0x2235, false},
      {0xFA40, 0x2170, true},  {0xEEEF, 0x2170, false}, {0x81CA, 0xFFE2, true},
      {0xEEF9, 0xFFE2, false}, {0xFA54, 0xFFE2, false}, {0xED40, 0x7E8A, false},
      {0xFA5C, 0x7E8A, true},  {0xFBFC, 0x9AD9, true},  {0xF040, 0xE000, true},
      {0xF9FC, 0xE757, true},  {0x82A0, 0x3042, true},  {0x889F, 0x4E9C, true},
      {0xFA5B, 0x2235, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code);
    const auto decoded = textCodec::DecodeCp932(CodeBytes(c.code));
    ASSERT_FALSE(decoded.error);
    EXPECT_EQ(decoded.text, std::u16string(1, c.character));
    const auto encoded = textCodec::EncodeCp932(std::u16string(1, c.character));
    ASSERT_FALSE(encoded.error);
    EXPECT_EQ(encoded.bytes == CodeBytes(c.code), c.encodesBack);
  }
}

TEST(Cp932Decode, ErrorOffsets) {
  struct Case {
    std::string bytes;
    std::size_t offset;
  };
  const Case cases[] = {
      {Bytes({0x80}), 0},
      {Bytes({0xA0}), 0},
      {Bytes({0xFD}), 0},
      {Bytes({0xFF}), 0},
      {"ab" + Bytes({0x82}), 2},             // truncated pair at the end
      {Bytes({0x82, 0xA0, 0x82, 0x20}), 2},  // trail byte out of range
      {Bytes({0x82, 0xA0, 0x85, 0x40}), 2},  // undefined pair
      {Bytes({0xB1, 0x81, 0x7F, 0x41}), 1},  // 0x7F is never a trail byte
      {Bytes({0x41, 0x81, 0x40, 0xFE, 0x41}), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const auto decoded = textCodec::DecodeCp932(c.bytes);
    ASSERT_TRUE(decoded.error);
    EXPECT_EQ(decoded.error->byteOffset, c.offset);
    EXPECT_TRUE(decoded.text.empty());
  }
}

TEST(Cp932, JapaneseTextRoundTrips) {
  const std::u16string text =
      u"ぽこりゅんは「ですぅ～」と言ったりゅん。\r\nｶﾀｶﾅ、①Ⅹⅹ㈱髙﨑￢∵、C:\\path~\r\n\uE000\uE757";
  const auto encoded = textCodec::EncodeCp932(text);
  ASSERT_FALSE(encoded.error);
  EXPECT_EQ(iconvReference::EncodeCp932(text), encoded.bytes);
  const auto decoded = textCodec::DecodeCp932(encoded.bytes);
  ASSERT_FALSE(decoded.error);
  EXPECT_EQ(decoded.text, text);
}

TEST(Cp932, EmptyInput) {
  const auto decoded = textCodec::DecodeCp932("");
  EXPECT_FALSE(decoded.error);
  EXPECT_TRUE(decoded.text.empty());
  const auto encoded = textCodec::EncodeCp932(u"");
  EXPECT_FALSE(encoded.error);
  EXPECT_TRUE(encoded.bytes.empty());
  EXPECT_FALSE(textCodec::FindUnencodableCp932(u""));
}

}  // namespace
