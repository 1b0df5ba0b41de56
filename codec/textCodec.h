// The program's one text codec: strict UTF-8 and Windows code page 932 to and
// from UTF-16. Plain C++, shared by the window's files and pokopen-convert.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace textCodec {

enum class Encoding { Utf8, Utf16Le, Utf16Be, Cp932 };

// The encoding's name in English messages: "UTF-8", "UTF-16", "code page 932".
std::string_view EnglishName(Encoding encoding);

// A code point as messages name it: "U+00A9", "U+1F600".
std::string CodePointText(char32_t codePoint);

// The first unit of a surrogate pair.
constexpr bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Where a decoder stopped: the 0-based offset of the first byte that does not
// begin a valid character.
struct InvalidBytes {
  std::size_t byteOffset = 0;
};

// A character the target encoding cannot hold: its code point (a lone
// surrogate is reported as itself) and where it stands, 1-based, counting
// lines as the program does (CR LF, a lone CR and a lone LF each end a line)
// and columns in characters.
struct Unencodable {
  char32_t codePoint = 0;
  std::size_t line = 0;
  std::size_t column = 0;
};

struct Decoded {
  std::u16string text;
  std::optional<InvalidBytes> error;  // when set, text is empty
};

struct Encoded {
  std::string bytes;
  std::optional<Unencodable> error;  // when set, bytes is empty
};

// How far a decoder got: the bytes it decoded, and the offset of the first
// byte that begins no valid character, if it met one.
struct DecodeProgress {
  std::size_t consumed = 0;
  std::optional<std::size_t> invalidAt;
};

// Decodes the characters at the start of bytes and appends them to out. It
// stops at the first invalid byte and, unless `final`, before a character that
// the bytes end inside of, so that the rest can follow in the next call.
// UTF-16 is strict too: a lone surrogate or an odd last byte is invalid.
DecodeProgress DecodeSome(Encoding encoding, std::string_view bytes, bool final,
                          std::u16string& out);
// The same into room for bytes.size() units at out; `written` gets how many.
DecodeProgress DecodeInto(Encoding encoding, std::string_view bytes, bool final, char16_t* out,
                          std::size_t& written);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. A
// byte-order mark is kept as the character U+FEFF.
Decoded DecodeUtf8(std::string_view bytes);
Encoded EncodeUtf8(std::u16string_view text);

// Code page 932 as Windows maps it: ASCII, half-width katakana, JIS X 0208
// with U+FF5E at 0x81 0x60, the NEC and IBM extensions and the user-defined
// area (U+E000 to U+E757). Bytes outside the table are an error.
Decoded DecodeCp932(std::string_view bytes);
// Characters with two codes get the one Windows writes. The look-alikes other
// Japanese mappings use for code page 932's own characters are written as
// those characters: U+301C, U+2016, U+2212, U+00A2, U+00A3, U+00AC, U+2014,
// and U+00A0 as a blank. Anything else outside the table is an error.
Encoded EncodeCp932(std::u16string_view text);

// The first character of text that EncodeCp932 cannot write, if any.
std::optional<Unencodable> FindUnencodableCp932(std::u16string_view text);

// The index of the first unit of text that the encoding cannot write (in
// UTF-8 and UTF-16 only a lone surrogate), if any.
std::optional<std::size_t> FindUnencodable(Encoding encoding, std::u16string_view text);

// Every character of text that the encoding cannot write: how many there are,
// and where the first of them stand, at most `mostListed` of them. A surrogate
// pair counts as one character, and so does a lone surrogate. One pass over
// the text, so a front end can ask before it writes anything.
struct UnencodableCharacters {
  std::size_t count = 0;
  std::vector<Unencodable> first;
};
UnencodableCharacters FindEveryUnencodable(Encoding encoding, std::u16string_view text,
                                           std::size_t mostListed);

// Appends the encoding of text, which must hold no unencodable character
// (check with FindUnencodableCp932 first); for writing in pieces. A text that
// breaks this rule throws std::invalid_argument and leaves out as it was.
void AppendCp932(std::u16string_view text, std::string& out);
void AppendUtf8(std::u16string_view text, std::string& out);

// Appends the encoding of text in UTF-8 or code page 932 and returns nothing,
// or leaves out as it was and returns the index of the first unit that cannot
// be written.
std::optional<std::size_t> TryAppend(Encoding encoding, std::u16string_view text, std::string& out);

// The most bytes a text of `units` units takes in the encoding.
std::size_t MostBytes(Encoding encoding, std::size_t units);

// How line breaks are written: as they are, or each CR LF as LF, a lone CR
// kept as the data it is.
enum class LineBreakBytes { AsTheyAre, CrLfAsLf };
// Whether the unit at i is the CR of a CR LF, which CrLfAsLf drops.
bool IsCrOfCrLf(std::u16string_view text, std::size_t i);

// Writes the encoding of text to out, which has room for
// MostBytes(encoding, text.size()) bytes: the bytes written, and the index of
// the first unit that cannot be written, where writing stopped. UTF-16 is
// written without a byte-order mark, and cannot hold a lone surrogate.
struct EncodeProgress {
  std::size_t written = 0;
  std::optional<std::size_t> unencodableAt;
};
EncodeProgress EncodeInto(Encoding encoding, std::u16string_view text, char* out,
                          LineBreakBytes breaks = LineBreakBytes::AsTheyAre);

// The position of the next CR or LF at or after from, or the text's size,
// copying the units before it to out, eight at a time. Out may be
// the room before `from` in the text's own, written forwards: nothing is
// written at or after text.data() + from + 8 before it has been read.
std::size_t CopyToLineBreak(std::u16string_view text, std::size_t from, char16_t* out);

// Where the unit at `index` of text stands, as Unencodable reports it.
Unencodable Locate(std::u16string_view text, std::size_t index);

}  // namespace textCodec
