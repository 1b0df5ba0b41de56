// Helpers for the tests of libpokopen's C interface: each call's status, error
// and result in one value, with the library's memory freed; UTF-16 made with
// iconv, independently of the library.
#pragma once

#include <iconv.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pokopen.h"

namespace capiCalls {

template <typename Text>
struct Outcome {
  pokopen_status status = POKOPEN_OK;
  pokopen_error error{};
  Text text;
  bool cleared = false;  // on failure: the result pointer NULL and the length 0
};
using Bytes = Outcome<std::string>;
using Units = Outcome<std::u16string>;

// Runs call(&data, &length, &error) on results preset to garbage, and takes
// what it hands back.
template <typename Text, typename Unit, typename Call>
Outcome<Text> Take(Call&& call) {
  Unit garbage{};
  Unit* data = &garbage;
  std::size_t length = 99;
  Outcome<Text> outcome;
  outcome.status = call(&data, &length, &outcome.error);
  if (outcome.status == POKOPEN_OK) {
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(data[length], Unit{}) << "a text result ends with a zero";
    outcome.text.resize(length);
    std::memcpy(outcome.text.data(), data, length * sizeof(Unit));
    pokopen_free(data);
  } else {
    outcome.cleared = data == nullptr && length == 0;
  }
  return outcome;
}

inline const std::uint16_t* UnitsOf(std::u16string_view text) {
  return reinterpret_cast<const std::uint16_t*>(text.data());
}

inline Bytes Convert(std::string_view text, int style, unsigned flags) {
  return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
    return pokopen_convert(text.data(), text.size(), style, flags, data, length, error);
  });
}

inline Units ConvertUtf16(std::u16string_view text, int style, unsigned flags) {
  return Take<std::u16string, std::uint16_t>(
      [&](std::uint16_t** data, std::size_t* length, pokopen_error* error) {
        return pokopen_convert_utf16(UnitsOf(text), text.size(), style, flags, data, length, error);
      });
}

inline Bytes Encode(std::string_view text, pokopen_encoding encoding, unsigned options = 0) {
  return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
    return pokopen_encode(text.data(), text.size(), encoding, options, data, length, error);
  });
}

inline Bytes EncodeUtf16(std::u16string_view text, pokopen_encoding encoding,
                         unsigned options = 0) {
  return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
    return pokopen_encode_utf16(UnitsOf(text), text.size(), encoding, options, data, length, error);
  });
}

inline Bytes Decode(std::string_view bytes, pokopen_encoding encoding,
                    pokopen_encoding* found = nullptr) {
  return Take<std::string, char>([&](char** data, std::size_t* length, pokopen_error* error) {
    return pokopen_decode(bytes.data(), bytes.size(), encoding, data, length, found, error);
  });
}

// Text in another Unicode form, by glibc's iconv.
inline std::string Recode(std::string_view bytes, const char* from, const char* to) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error("iconv_open");
  }
  std::string out(bytes.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* to_ = out.data();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(cd, &in, &inLeft, &to_, &outLeft);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) {
    throw std::runtime_error("iconv");
  }
  out.resize(out.size() - outLeft);
  return out;
}

inline std::u16string Utf16(std::string_view utf8) {
  const std::string bytes = Recode(utf8, "UTF-8", "UTF-16LE");
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

}  // namespace capiCalls
