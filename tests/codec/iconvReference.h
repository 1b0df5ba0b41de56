// Code page 932 as glibc's iconv converts it, to check the codec against, and
// other encodings, to make texts in them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace iconvReference {

struct Decoded {
  std::u16string text;
  std::optional<std::size_t> errorOffset;  // where iconv stopped, if it did
};

Decoded DecodeCp932(std::string_view bytes);

// The bytes iconv writes for text, or nothing when it refuses any of it.
std::optional<std::string> EncodeCp932(std::u16string_view text);

// Bytes converted from one encoding to another as iconv names them, or
// nothing when it refuses any of them.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view bytes);

}  // namespace iconvReference
