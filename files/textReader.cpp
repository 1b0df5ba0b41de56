#include "textReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "encodingDetection.h"

namespace textFiles {

namespace {

// While the encoding is undecided, detection runs again only once the bytes
// held have grown by half, so that input arriving in small reads costs no
// more than input arriving all at once.
constexpr std::size_t kFirstDetection = std::size_t{4} << 10;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// More than the longest character a piece can cut off.
constexpr std::size_t kBridgeBytes = 8;

// `detecting` says the encoding was still being detected.
[[noreturn]] void ThrowUndetected(const textCodec::Undetected& undetected, bool detecting) {
  using Reason = textCodec::Undetected::Reason;
  switch (undetected.reason) {
    case Reason::NulByte:
      throw FileError(
          NulByte{undetected.byteOffset, undetected.likely != textCodec::Encoding::Utf8});
    case Reason::EucJp:
      throw FileError(EucJpText{});
    case Reason::Iso2022Jp:
      throw FileError(Iso2022JpText{undetected.byteOffset});
    case Reason::Mixed:
      throw FileError(MixedEncodings{undetected.likely, undetected.byteOffset});
    case Reason::NotJapanese:
      throw FileError(NotJapaneseText{undetected.byteOffset});
    case Reason::Invalid:
      break;
  }
  throw FileError(InvalidText{undetected.likely, undetected.byteOffset,
                              detecting && !undetected.validUtf8, undetected.validUtf8});
}

}  // namespace

TextDecoder::TextDecoder(InputEncoding encoding, LineBreaks lineBreaks)
    : asked_(encoding), lineBreaks_(lineBreaks), nextDetection_(kFirstDetection) {
  if (encoding == InputEncoding::Cp932) {
    encoding_ = textCodec::Encoding::Cp932;
    utf8Validity_.emplace();
  }
}

void TextDecoder::Push(std::string_view bytes, std::u16string& out) {
  if (encoding_ && held_.empty()) {
    DecodeAndHold(bytes, false, out);
    return;
  }
  if (encoding_) {
    // The character the last piece cut off is completed from the first few
    // bytes of this one; the rest is decoded where it is, not copied first.
    const std::size_t before = held_.size();
    const std::size_t bridge = std::min(bytes.size(), kBridgeBytes);
    held_.append(bytes.substr(0, bridge));
    const std::size_t consumed = Decode(held_, false, out);
    if (consumed >= before) {
      held_.clear();
      DecodeAndHold(bytes.substr(consumed - before), false, out);
    } else {
      held_.erase(0, consumed);
      held_.append(bytes.substr(bridge));
    }
    return;
  }
  held_.append(bytes);
  if (!encoding_) {
    if (asked_ == InputEncoding::Auto && held_.size() < nextDetection_) {
      return;
    }
    Decide(false);
    if (!encoding_) {
      nextDetection_ = held_.size() + held_.size() / 2;
      return;
    }
  }
  DecodeHeld(false, out);
}

void TextDecoder::Finish(std::u16string& out) {
  if (!encoding_) {
    Decide(true);
  }
  DecodeHeld(true, out);
}

void TextDecoder::Decide(bool complete) {
  std::size_t mark = 0;
  switch (asked_) {
    case InputEncoding::Auto: {
      const textCodec::Detection detection = textCodec::DetectEncoding(held_, complete);
      if (const auto* undetected = std::get_if<textCodec::Undetected>(&detection)) {
        ThrowUndetected(*undetected, true);
      }
      const auto* detected = std::get_if<textCodec::Detected>(&detection);
      if (detected == nullptr) {
        return;
      }
      encoding_ = detected->encoding;
      mark = detected->markLength;
      guessed_ = !detected->certain;
      break;
    }
    case InputEncoding::Utf8:
      if (!complete && held_.size() < kUtf8Mark.size() && kUtf8Mark.starts_with(held_)) {
        return;
      }
      encoding_ = textCodec::Encoding::Utf8;
      mark = held_.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
      break;
    case InputEncoding::Utf16:
      if (!complete && held_.size() < 2) {
        return;
      }
      if (held_.starts_with("\xFF\xFE")) {
        encoding_ = textCodec::Encoding::Utf16Le;
      } else if (held_.starts_with("\xFE\xFF")) {
        encoding_ = textCodec::Encoding::Utf16Be;
      } else {
        throw FileError(NoByteOrderMark{});
      }
      mark = 2;
      break;
    case InputEncoding::Utf16Le:
    case InputEncoding::Utf16Be: {
      const bool big = asked_ == InputEncoding::Utf16Be;
      if (!complete && held_.size() < 2) {
        return;
      }
      encoding_ = big ? textCodec::Encoding::Utf16Be : textCodec::Encoding::Utf16Le;
      mark = held_.starts_with(big ? "\xFE\xFF" : "\xFF\xFE") ? 2 : 0;
      break;
    }
    case InputEncoding::Cp932:
      encoding_ = textCodec::Encoding::Cp932;
      break;
  }
  held_.erase(0, mark);
  offset_ += mark;
}

// The held bytes are decoded where they are and the rest kept, so that their
// room serves again for the next piece.
void TextDecoder::DecodeHeld(bool final, std::u16string& out) {
  const std::size_t consumed = Decode(held_, final, out);
  held_.erase(0, consumed);
}

void TextDecoder::DecodeAndHold(std::string_view bytes, bool final, std::u16string& out) {
  const std::size_t consumed = Decode(bytes, final, out);
  held_.assign(bytes.substr(consumed));
}

// The bytes are decoded into the upper half of the room, and their line
// breaks made CR LF from there into the lower half, so that the text is
// appended to out at once.
std::size_t TextDecoder::Decode(std::string_view bytes, bool final, std::u16string& out) {
  const std::size_t half = std::max(bytes.size(), TextReader::kReadBytes);
  if (decodedRoom_ < 2 * half) {
    decodedRoom_ = 2 * half;
    decoded_ = std::make_unique_for_overwrite<char16_t[]>(decodedRoom_);
  }
  char16_t* const decoded = decoded_.get() + half;
  std::size_t written = 0;
  const textCodec::DecodeProgress progress =
      textCodec::DecodeInto(*encoding_, bytes, final, decoded, written);
  Watch(bytes, progress.consumed, progress.invalidAt);
  if (progress.invalidAt) {
    ThrowInvalid(bytes, *progress.invalidAt, final);
  }
  if (utf8Validity_ && utf8Validity_->Valid(false)) {
    utf8Validity_->Add(bytes.substr(0, progress.consumed));
  }
  AppendLines(std::u16string_view(decoded, written), out);
  offset_ += progress.consumed;
  return progress.consumed;
}

void TextDecoder::Watch(std::string_view bytes, std::size_t consumed,
                        std::optional<std::size_t> invalidAt) {
  if (!watch_) {
    watch_.emplace(*encoding_, asked_ == InputEncoding::Auto);
  }
  // A fault that shows as an invalid byte, such as a word of UTF-8 in code
  // page 932, is named for what it is; its sequence ends a few bytes on.
  const std::size_t looked = invalidAt ? *invalidAt + kBridgeBytes : consumed;
  const std::optional<textCodec::Undetected> fault = watch_->Look(bytes.substr(0, looked), offset_);
  if (fault && (!invalidAt || fault->byteOffset <= offset_ + *invalidAt)) {
    ThrowUndetected(*fault, false);
  }
}

// Code page 932 named for bytes that are valid UTF-8 is said so, as the
// encoding named is then most likely meant for the output.
void TextDecoder::ThrowInvalid(std::string_view bytes, std::size_t invalidAt, bool final) {
  bool validUtf8 = false;
  if (utf8Validity_ && utf8Validity_->Valid(false)) {
    textCodec::Utf8Validity rest = *utf8Validity_;
    rest.Add(bytes);
    validUtf8 = rest.Valid(final);
  }
  throw FileError(InvalidText{*encoding_, offset_ + invalidAt, guessed_, validUtf8});
}

void TextDecoder::AppendLines(std::u16string_view text, std::u16string& out) {
  if (lineBreaks_ == LineBreaks::AsTheyAre) {
    out.append(text);
    return;
  }
  if (!normalizer_) {
    normalizer_.emplace(encoding_ != textCodec::Encoding::Cp932);
  }
  out.append(decoded_.get(), normalizer_->Normalize(text, decoded_.get()));
}

TextReader::TextReader(const std::string& path, const ReadOptions& options)
    : decoder_(options.encoding, options.lineBreaks) {
  // O_NONBLOCK: opening a named pipe must not hang a reader that refuses it.
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (options.regularFilesOnly ? O_NONBLOCK : 0);
  owned_ = fileSystem::Descriptor(fileSystem::OpenPath(path, flags));
  if (!owned_.Valid()) {
    ThrowSystemFailure(errno);
  }
  fd_ = owned_.Get();
  CheckKind(options);
}

TextReader::TextReader(int fd, const ReadOptions& options)
    : fd_(fd), decoder_(options.encoding, options.lineBreaks) {
  CheckKind(options);
}

void TextReader::CheckKind(const ReadOptions& options) {
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    ThrowSystemFailure(errno);
  }
  if (S_ISDIR(info.st_mode)) {
    ThrowSystemFailure(EISDIR);
  }
  if (S_ISREG(info.st_mode)) {
    size_ = static_cast<std::uint64_t>(info.st_size);
  } else if (options.regularFilesOnly) {
    throw FileError(NotRegularFile{});
  }
}

bool TextReader::Read(std::u16string& out, std::size_t mostBytes) {
  if (ended_) {
    return false;
  }
  buffer_.resize(std::max<std::size_t>(mostBytes, 1));
  for (;;) {
    const ssize_t count = read(fd_, buffer_.data(), buffer_.size());
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowSystemFailure(errno);
    }
    if (count == 0) {
      ended_ = true;
      decoder_.Finish(out);
      return false;
    }
    bytesRead_ += static_cast<std::uint64_t>(count);
    crByteRead_ = crByteRead_ || std::memchr(buffer_.data(), '\r', static_cast<std::size_t>(count));
    decoder_.Push(std::string_view(buffer_.data(), static_cast<std::size_t>(count)), out);
    return true;
  }
}

std::u16string ReadTextFile(const std::string& path, const ReadOptions& options,
                            const Progress& progress) {
  TextReader reader(path, options);
  std::u16string text;
  // No byte gives more than two units, a CR LF for an LF at most; room that
  // is never written is never given memory, so the text takes only its own.
  text.reserve(static_cast<std::size_t>(reader.Size()) * 2 + 2);
  while (reader.Read(text)) {
    if (progress) {
      progress(reader.BytesRead(), reader.Size());
    }
  }
  return text;
}

}  // namespace textFiles
