#include "lineBreaks.h"

#include "textCodec.h"

namespace textFiles {

void LineBreakNormalizer::Append(std::u16string_view text, std::u16string& out) {
  std::size_t i = 0;
  if (skipLineFeed_ && !text.empty()) {
    skipLineFeed_ = false;
    i = text.front() == u'\n' ? 1 : 0;
  }
  while (i < text.size()) {
    const std::size_t lineBreak = textCodec::FindLineBreak(text, i);
    out.append(text.substr(i, lineBreak - i));
    if (lineBreak == text.size()) {
      break;
    }
    i = lineBreak + 1;
    if (text[lineBreak] == u'\n' && !lineFeedEndsLine_) {
      out.push_back(u'\n');
      continue;
    }
    out.append(u"\r\n");
    if (text[lineBreak] == u'\r') {
      if (i == text.size()) {
        skipLineFeed_ = true;
      } else if (text[i] == u'\n') {
        ++i;
      }
    }
  }
}

}  // namespace textFiles
