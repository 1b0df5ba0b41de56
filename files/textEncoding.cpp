#include "textEncoding.h"

#include <cstring>

namespace textFiles {

namespace {

// Drops the CR of every CR LF in bytes, in place; returns the bytes kept.
std::size_t DropCrBeforeLf(char* bytes, std::size_t size) {
  if (size == 0) {
    return 0;  // bytes may be null: no room was needed
  }
  const char* read = bytes;
  const char* const end = bytes + size;
  char* write = bytes;
  for (;;) {
    const auto* cr =
        static_cast<const char*>(std::memchr(read, '\r', static_cast<std::size_t>(end - read)));
    const char* const stop = cr != nullptr ? cr : end;
    std::memmove(write, read, static_cast<std::size_t>(stop - read));
    write += stop - read;
    if (cr == nullptr) {
      return static_cast<std::size_t>(write - bytes);
    }
    read = cr + 1;
    if (read == end || *read != '\n') {
      *write++ = '\r';
    }
  }
}

}  // namespace

textCodec::EncodeProgress EncodeTextInto(std::u16string_view text, const WriteFormat& format,
                                         char* out) {
  if (format.crlf) {
    return textCodec::EncodeInto(format.encoding, text, out);
  }
  // Every CR LF is written as LF; a lone CR is kept as the data it is.
  if (format.encoding == textCodec::Encoding::Utf8 ||
      format.encoding == textCodec::Encoding::Cp932) {
    // Neither encoding has the bytes of CR or LF inside another character,
    // so the text is encoded in one go, as the encoder is fastest at, and the
    // CR of each CR LF then dropped from the bytes.
    textCodec::EncodeProgress progress = textCodec::EncodeInto(format.encoding, text, out);
    progress.written = DropCrBeforeLf(out, progress.written);
    return progress;
  }
  std::size_t written = 0;
  std::size_t done = 0;
  while (done < text.size()) {
    std::size_t cr = textCodec::FindLineBreak(text, done);
    while (cr < text.size() &&
           (text[cr] != u'\r' || cr + 1 == text.size() || text[cr + 1] != u'\n')) {
      cr = textCodec::FindLineBreak(text, cr + 1);
    }
    const textCodec::EncodeProgress run =
        textCodec::EncodeInto(format.encoding, text.substr(done, cr - done), out + written);
    written += run.written;
    if (run.unencodableAt) {
      return {written, done + *run.unencodableAt};
    }
    if (cr == text.size()) {
      break;
    }
    written += textCodec::EncodeInto(format.encoding, u"\n", out + written).written;
    done = cr + 2;
  }
  return {written, std::nullopt};
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
