// Line breaks as the conversion rules see them: every break that ends a line
// is CR LF. LF, CR LF and a lone CR each end a line, but for a lone LF in code
// page 932 text, which Windows programs keep inside its line.
#pragma once

#include <string>
#include <string_view>

namespace textFiles {

class LineBreakNormalizer {
 public:
  explicit LineBreakNormalizer(bool lineFeedEndsLine = true)
      : lineFeedEndsLine_(lineFeedEndsLine) {}

  // Appends text with its line breaks as CR LF. Text may come in pieces cut
  // anywhere, between a CR and its LF too.
  void Append(std::u16string_view text, std::u16string& out);
  // Forgets the text so far.
  void Reset() { skipLineFeed_ = false; }

 private:
  bool lineFeedEndsLine_;
  bool skipLineFeed_ = false;  // a CR ended the last piece
};

}  // namespace textFiles
