#include "textEncoding.h"

namespace textFiles {

textCodec::EncodeProgress EncodeTextInto(std::u16string_view text, const WriteFormat& format,
                                         char* out) {
  return textCodec::EncodeInto(
      format.encoding, text, out,
      format.crlf ? textCodec::LineBreakBytes::AsTheyAre : textCodec::LineBreakBytes::CrLfAsLf);
}

std::optional<std::size_t> EncodeText(std::u16string_view text, const WriteFormat& format,
                                      std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + textCodec::MostBytes(format.encoding, text.size()));
  const textCodec::EncodeProgress progress = EncodeTextInto(text, format, out.data() + start);
  out.resize(progress.unencodableAt ? start : start + progress.written);
  return progress.unencodableAt;
}

void HoldBackCutEnd(std::u16string& text, std::u16string& held) {
  if (!text.empty() && (text.back() == u'\r' || textCodec::IsHighSurrogate(text.back()))) {
    held.insert(held.begin(), text.back());
    text.pop_back();
  }
}

}  // namespace textFiles
