// Text to the bytes of a file: the encoding and the line breaks written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "textCodec.h"

namespace textFiles {

// How text becomes bytes: the encoding, and whether a CR LF is written as it
// is or as LF. A lone LF is written as LF either way. (Files are written in
// UTF-8 or code page 932; UTF-16 serves the library's callers.)
struct WriteFormat {
  textCodec::Encoding encoding = textCodec::Encoding::Utf8;
  bool crlf = false;
};

// Appends text to out in the format. On a character the encoding cannot hold,
// out is left as it was and the character's index is returned. Text given in
// pieces must not be cut inside a CR LF or a surrogate pair.
std::optional<std::size_t> EncodeText(std::u16string_view text, const WriteFormat& format,
                                      std::string& out);
// The same into room for textCodec::MostBytes(format.encoding, text.size())
// bytes at out: the bytes written, and where a character stopped it.
textCodec::EncodeProgress EncodeTextInto(std::u16string_view text, const WriteFormat& format,
                                         char* out);

// Of a text that goes on in a next piece, the part that can be encoded now:
// a CR at the end may begin a CR LF, and a high surrogate a pair, so either
// moves from the end of text to the start of held, to wait for what follows.
void HoldBackCutEnd(std::u16string& text, std::u16string& held);

}  // namespace textFiles
