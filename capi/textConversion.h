// The conversion of a text that the C interface is given, whole or in pieces
// cut anywhere: its line breaks become CR LF (LF, CR LF and a lone CR each
// end a line), the engine converts it, and the result's breaks are written as
// LF or CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "apiSupport.h"
#include "lineBreaks.h"
#include "mdlFlexConv.h"

namespace pokopenApi {

class TextConversion {
 public:
  TextConversion(mdlFlexConv::Style style, const mdlFlexConv::Flags& flags, bool crlf,
                 bool lineFeedEndsLine = true);

  // UTF-8 in and out. Bytes may be cut inside a character; invalid UTF-8
  // fails with its offset from the start of the text, and the text is dropped.
  void Push(std::string_view bytes, Result<char>& out);
  void Finish(Result<char>& out);

  // UTF-16 units in and out; a lone surrogate passes through.
  void Push(std::u16string_view units, Result<char16_t>& out);
  void Finish(Result<char16_t>& out);

  // Forgets the text so far.
  void Reset();

 private:
  void DecodeUtf8(std::string_view bytes, bool final);
  void Convert(std::u16string_view units, bool final);
  void WriteUtf8(Result<char>& out);
  void WriteUtf16(Result<char16_t>& out);

  mdlFlexConv::Converter engine_;
  textFiles::LineBreakNormalizer lineBreaks_;
  bool crlf_;
  bool lineFeedEndsLine_;
  bool crSeen_ = false;       // in the text so far
  std::string cutCharacter_;  // the bytes of a character a piece cut off
  std::uint64_t offset_ = 0;  // bytes of the text decoded so far
  std::u16string decoded_;
  std::u16string lines_;
  std::u16string converted_;
  std::u16string heldBack_;  // a CR or high surrogate that waits for what follows
};

}  // namespace pokopenApi
