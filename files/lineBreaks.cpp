#include "lineBreaks.h"

#include "textCodec.h"

namespace textFiles {

void LineBreakNormalizer::Append(std::u16string_view text, std::u16string& out) {
  const std::size_t start = out.size();
  out.resize(start + 2 * text.size());
  out.resize(start + Normalize(text, out.data() + start));
}

// Each unit read gives at most two written, so what is written stays behind
// what is still to be read when the text is the upper half of the room.
std::size_t LineBreakNormalizer::Normalize(std::u16string_view text, char16_t* out) {
  std::size_t i = 0;
  if (skipLineFeed_ && !text.empty()) {
    skipLineFeed_ = false;
    i = text.front() == u'\n' ? 1 : 0;
  }
  std::size_t written = 0;
  while (i < text.size()) {
    const std::size_t lineBreak = textCodec::CopyToLineBreak(text, i, out + written);
    written += lineBreak - i;
    if (lineBreak == text.size()) {
      break;
    }
    i = lineBreak + 1;
    const char16_t unit = text[lineBreak];
    if (unit == u'\n' && !lineFeedEndsLine_) {
      out[written++] = u'\n';
      continue;
    }
    out[written++] = u'\r';
    out[written++] = u'\n';
    if (unit == u'\r') {
      if (i == text.size()) {
        skipLineFeed_ = true;
      } else if (text[i] == u'\n') {
        ++i;
      }
    }
  }
  return written;
}

}  // namespace textFiles
