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
  // The same into room for twice the text's units at out; returns how many
  // it wrote. The text may be the upper half of that room: it is read ahead
  // of what is written.
  std::size_t Normalize(std::u16string_view text, char16_t* out);
  // Forgets the text so far.
  void Reset() { skipLineFeed_ = false; }

 private:
  bool lineFeedEndsLine_;
  bool skipLineFeed_ = false;  // a CR ended the last piece
};

}  // namespace textFiles
