#include "textPosition.h"

namespace streamConversion::detail {

Extent ExtentOf(std::u16string_view text) {
  Extent extent;
  std::size_t lastBreak = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == u'\n' || (unit == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))) {
      ++extent.lineBreaks;
      lastBreak = i + 1;
    }
  }
  for (std::size_t i = lastBreak; i < text.size(); ++i) {
    extent.lastLineCharacters += textCodec::IsHighSurrogate(text[i]) && i + 1 < text.size() ? 0 : 1;
  }
  return extent;
}

textCodec::Unencodable TextPosition::Locate(std::u16string_view piece, std::size_t index) const {
  return Place(textCodec::Locate(piece, index));
}

textCodec::Unencodable TextPosition::Place(textCodec::Unencodable where) const {
  if (where.line == 1) {
    where.column += column_ - 1;
  }
  where.line += line_ - 1;
  return where;
}

void TextPosition::Advance(const Extent& extent) {
  line_ += extent.lineBreaks;
  column_ =
      extent.lineBreaks > 0 ? extent.lastLineCharacters + 1 : column_ + extent.lastLineCharacters;
}

}  // namespace streamConversion::detail
