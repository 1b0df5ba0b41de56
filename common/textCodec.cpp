#include "textCodec.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "cp932Table.inc"

namespace textCodec {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF;
constexpr std::size_t kLeadRows = 60;

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

char32_t CombineSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}

bool StartsSurrogatePair(std::u16string_view text, std::size_t index) {
  return IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]);
}

// The row of a lead byte in the pair table, or -1 for a byte that leads no pair.
constexpr int LeadRow(unsigned byte) {
  if (byte >= 0x81 && byte <= 0x9F) {
    return static_cast<int>(byte - 0x81);
  }
  if (byte >= 0xE0 && byte <= 0xFC) {
    return static_cast<int>(byte - 0xE0 + 0x1F);
  }
  return -1;
}

constexpr unsigned RowLead(std::size_t row) {
  return static_cast<unsigned>(row < 0x1F ? 0x81 + row : 0xE0 + row - 0x1F);
}

struct LookAlike {
  char16_t character;
  std::uint16_t code;
};

// Characters that other Japanese mappings use in place of code page 932's own
// ones; written as those, so that text from such sources can still be saved.
constexpr LookAlike kLookAlikes[] = {
    {0x301C, 0x8160}, {0x2016, 0x8161}, {0x2212, 0x817C}, {0x00A2, 0x8191},
    {0x00A3, 0x8192}, {0x00AC, 0x81CA}, {0x2014, 0x815C}, {0x00A0, 0x0020},
};

using EncodeTable = std::array<std::uint16_t, 0x10000>;

// Every character gets its lowest code unless it has a preferred one; a
// look-alike must not shadow a character of the table.
constexpr EncodeTable BuildEncodeTable() {
  EncodeTable table{};
  table.fill(kNoCode);
  for (unsigned byte = 0; byte <= 0xFF; ++byte) {
    const char16_t character = cp932Table::kSingleByte[byte];
    if (character != cp932Table::kNoCharacter && table[character] == kNoCode) {
      table[character] = static_cast<std::uint16_t>(byte);
    }
  }
  for (std::size_t row = 0; row < kLeadRows; ++row) {
    for (unsigned trail = 0; trail < cp932Table::kTrailCount; ++trail) {
      const char16_t character = cp932Table::kDoubleByte[row * cp932Table::kTrailCount + trail];
      if (character != 0 && table[character] == kNoCode) {
        table[character] =
            static_cast<std::uint16_t>((RowLead(row) << 8) | (cp932Table::kFirstTrail + trail));
      }
    }
  }
  for (const auto& preferred : cp932Table::kPreferredCodes) {
    table[preferred.character] = preferred.code;
  }
  for (const auto& lookAlike : kLookAlikes) {
    if (table[lookAlike.character] != kNoCode) {
      throw std::logic_error("a look-alike is a character of code page 932");
    }
    table[lookAlike.character] = lookAlike.code;
  }
  return table;
}

constexpr EncodeTable kEncodeTable = BuildEncodeTable();

std::uint16_t Cp932CodeOf(char16_t unit) {
  return kEncodeTable[unit];
}

// Where an encoder stopped: the unit index of the first character it cannot
// write, and the bytes written before it.
struct Progress {
  std::size_t bytesWritten = 0;
  std::optional<std::size_t> unencodableAt;
};

// The most bytes the code page 932 form of text can take.
std::size_t Cp932Room(std::u16string_view text) {
  return text.size() * 2;
}

// out has room for Cp932Room(text) bytes.
Progress WriteCp932(std::u16string_view text, char* out) {
  char* const start = out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint16_t code = Cp932CodeOf(text[i]);
    if (code == kNoCode) {
      return {static_cast<std::size_t>(out - start), i};
    }
    if (code > 0xFF) {
      *out++ = static_cast<char>(code >> 8);
    }
    *out++ = static_cast<char>(code & 0xFF);
  }
  return {static_cast<std::size_t>(out - start), std::nullopt};
}

// The length of the UTF-8 form of text: a pair of surrogates takes four bytes,
// two for each; a lone one fails to encode, so what it counts does not matter.
std::size_t Utf8Length(std::u16string_view text) {
  std::size_t length = 0;
  for (const char16_t unit : text) {
    length += unit < 0x80                                                     ? 1
              : unit < 0x800 || IsHighSurrogate(unit) || IsLowSurrogate(unit) ? 2
                                                                              : 3;
  }
  return length;
}

// out has room for Utf8Length(text) bytes.
Progress WriteUtf8(std::u16string_view text, char* out) {
  char* const start = out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *out++ = static_cast<char>(0xC0 | (unit >> 6));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      if (!StartsSurrogatePair(text, i)) {
        return {static_cast<std::size_t>(out - start), i};
      }
      const char32_t codePoint = CombineSurrogates(unit, text[++i]);
      *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
      *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (unit >> 12));
      *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return {static_cast<std::size_t>(out - start), std::nullopt};
}

// Appends the encoding of text to out, or leaves out as it was and returns the
// index of the first character the writer cannot encode.
template <typename Writer>
std::optional<std::size_t> AppendEncoded(std::u16string_view text, std::string& out,
                                         std::size_t room, Writer write) {
  const std::size_t start = out.size();
  out.resize(start + room);
  const Progress progress = write(text, out.data() + start);
  out.resize(progress.unencodableAt ? start : start + progress.bytesWritten);
  return progress.unencodableAt;
}

Unencodable Locate(std::u16string_view text, std::size_t index) {
  Unencodable where;
  where.codePoint = StartsSurrogatePair(text, index)
                        ? CombineSurrogates(text[index], text[index + 1])
                        : text[index];
  where.line = 1;
  where.column = 1;
  for (std::size_t i = 0; i < index; ++i) {
    const char16_t unit = text[i];
    if (unit == u'\r' || unit == u'\n') {
      if (unit == u'\r' && i + 1 < index && text[i + 1] == u'\n') {
        ++i;
      }
      ++where.line;
      where.column = 1;
      continue;
    }
    if (StartsSurrogatePair(text, i)) {
      ++i;
    }
    ++where.column;
  }
  return where;
}

template <typename Writer>
Encoded Encode(std::u16string_view text, std::size_t room, Writer write) {
  Encoded encoded;
  if (const auto at = AppendEncoded(text, encoded.bytes, room, write)) {
    encoded.bytes = std::string();
    encoded.error = Locate(text, *at);
  }
  return encoded;
}

template <typename Writer>
void AppendOrThrow(std::u16string_view text, std::string& out, std::size_t room, Writer write,
                   const char* encodingName) {
  if (const auto at = AppendEncoded(text, out, room, write)) {
    const Unencodable where = Locate(text, *at);
    char codePoint[16];
    std::snprintf(codePoint, sizeof codePoint, "U+%04X", static_cast<unsigned>(where.codePoint));
    throw std::invalid_argument(std::string(codePoint) + " at line " + std::to_string(where.line) +
                                ", column " + std::to_string(where.column) +
                                " cannot be written in " + encodingName);
  }
}

// Decoders size their output exactly, since a large file's text would
// otherwise take up to twice the memory it needs. The counts hold for valid
// input and never fall short of what a decoder writes before an error.
std::size_t Cp932UnitCount(std::string_view bytes) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < bytes.size(); ++units) {
    i += LeadRow(static_cast<unsigned char>(bytes[i])) < 0 ? 1 : 2;
  }
  return units;
}

// One unit for each byte that begins a sequence, two for the four-byte ones.
std::size_t Utf8UnitCount(std::string_view bytes) {
  std::size_t units = 0;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    units +=
        static_cast<std::size_t>((byte & 0xC0) != 0x80) + static_cast<std::size_t>(byte >= 0xF0);
  }
  return units;
}

Decoded Invalid(std::size_t byteOffset) {
  return {std::u16string(), InvalidBytes{byteOffset}};
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

Decoded DecodeCp932(std::string_view bytes) {
  Decoded decoded;
  decoded.text.resize(Cp932UnitCount(bytes));
  char16_t* out = decoded.text.data();
  const std::size_t size = bytes.size();
  for (std::size_t i = 0; i < size;) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const char16_t single = cp932Table::kSingleByte[byte];
    if (single != cp932Table::kNoCharacter) {
      *out++ = single;
      ++i;
      continue;
    }
    const int row = LeadRow(byte);
    if (row < 0 || i + 1 >= size) {
      return Invalid(i);
    }
    const unsigned trail = static_cast<unsigned char>(bytes[i + 1]) - cp932Table::kFirstTrail;
    if (trail >= cp932Table::kTrailCount) {
      return Invalid(i);
    }
    const char16_t character =
        cp932Table::kDoubleByte[static_cast<std::size_t>(row) * cp932Table::kTrailCount + trail];
    if (character == 0) {
      return Invalid(i);
    }
    *out++ = character;
    i += 2;
  }
  decoded.text.resize(static_cast<std::size_t>(out - decoded.text.data()));
  return decoded;
}

Decoded DecodeUtf8(std::string_view bytes) {
  Decoded decoded;
  decoded.text.resize(Utf8UnitCount(bytes));
  char16_t* out = decoded.text.data();
  const std::size_t size = bytes.size();
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  for (std::size_t i = 0; i < size;) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      *out++ = lead;
      ++i;
      continue;
    }
    // The length of the sequence and the range of its second byte, which
    // excludes overlong forms, surrogates and code points above U+10FFFF.
    std::size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      secondLow = lead == 0xE0 ? 0xA0 : 0x80;
      secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      secondLow = lead == 0xF0 ? 0x90 : 0x80;
      secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
      return Invalid(i);
    }
    if (size - i < length || at(i + 1) < secondLow || at(i + 1) > secondHigh) {
      return Invalid(i);
    }
    char32_t codePoint = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if (!IsContinuation(at(i + k))) {
        return Invalid(i);
      }
      codePoint = (codePoint << 6) | (at(i + k) & 0x3F);
    }
    if (codePoint < 0x10000) {
      *out++ = static_cast<char16_t>(codePoint);
    } else {
      *out++ = static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    }
    i += length;
  }
  decoded.text.resize(static_cast<std::size_t>(out - decoded.text.data()));
  return decoded;
}

Encoded EncodeCp932(std::u16string_view text) {
  return Encode(text, Cp932Room(text), WriteCp932);
}

Encoded EncodeUtf8(std::u16string_view text) {
  return Encode(text, Utf8Length(text), WriteUtf8);
}

std::optional<Unencodable> FindUnencodableCp932(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Cp932CodeOf(text[i]) == kNoCode) {
      return Locate(text, i);
    }
  }
  return std::nullopt;
}

void AppendCp932(std::u16string_view text, std::string& out) {
  AppendOrThrow(text, out, Cp932Room(text), WriteCp932, "code page 932");
}

void AppendUtf8(std::u16string_view text, std::string& out) {
  AppendOrThrow(text, out, Utf8Length(text), WriteUtf8, "UTF-8");
}

}  // namespace textCodec
