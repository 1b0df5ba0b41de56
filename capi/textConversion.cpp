#include "textConversion.h"

#include <algorithm>

#include "textCodec.h"
#include "textEncoding.h"

namespace pokopenApi {

namespace {

// Pieces small enough for every buffer on the way to stay in the cache.
constexpr std::size_t kPieceUnits = std::size_t{1} << 15;
// The longest UTF-8 character.
constexpr std::size_t kMostCharacterBytes = 4;

}  // namespace

TextConversion::TextConversion(mdlFlexConv::Style style, const mdlFlexConv::Flags& flags, bool crlf,
                               bool lineFeedEndsLine)
    : engine_(style, flags),
      lineBreaks_(lineFeedEndsLine),
      crlf_(crlf),
      lineFeedEndsLine_(lineFeedEndsLine) {}

void TextConversion::Push(std::string_view bytes, Result<char>& out) {
  for (std::size_t start = 0; start < bytes.size(); start += kPieceUnits) {
    const std::string_view piece = bytes.substr(start, kPieceUnits);
    crSeen_ = crSeen_ || piece.find('\r') != std::string_view::npos;
    DecodeUtf8(piece, false);
    Convert(decoded_, false);
    WriteUtf8(out);
  }
}

void TextConversion::Finish(Result<char>& out) {
  DecodeUtf8({}, true);
  Convert(decoded_, true);
  WriteUtf8(out);
  Reset();
}

void TextConversion::Push(std::u16string_view units, Result<char16_t>& out) {
  for (std::size_t start = 0; start < units.size(); start += kPieceUnits) {
    const std::u16string_view piece = units.substr(start, kPieceUnits);
    crSeen_ = crSeen_ || piece.find(u'\r') != std::u16string_view::npos;
    Convert(piece, false);
    WriteUtf16(out);
  }
}

void TextConversion::Finish(Result<char16_t>& out) {
  Convert({}, true);
  WriteUtf16(out);
  Reset();
}

void TextConversion::Reset() {
  std::u16string discarded;
  engine_.Finish(discarded);
  lineBreaks_.Reset();
  crSeen_ = false;
  cutCharacter_.clear();
  offset_ = 0;
  heldBack_.clear();
}

// Decodes the whole characters of bytes, after the one the last piece cut
// off, into decoded_; keeps a character these bytes cut off.
void TextConversion::DecodeUtf8(std::string_view bytes, bool final) {
  decoded_.clear();
  const auto decode = [&](std::string_view part, bool last) {
    const textCodec::DecodeProgress progress =
        textCodec::DecodeSome(textCodec::Encoding::Utf8, part, last, decoded_);
    if (progress.invalidAt) {
      const std::uint64_t at = offset_ + *progress.invalidAt;
      Reset();
      FailInvalidUtf8(at);
    }
    offset_ += progress.consumed;
    return progress.consumed;
  };
  if (!cutCharacter_.empty()) {
    // The cut character is completed from the first few bytes.
    const std::size_t before = cutCharacter_.size();
    const std::size_t bridge = std::min(bytes.size(), kMostCharacterBytes);
    cutCharacter_.append(bytes.substr(0, bridge));
    const std::size_t consumed = decode(cutCharacter_, final && bridge == bytes.size());
    if (consumed < before) {
      cutCharacter_.erase(0, consumed);
      return;
    }
    cutCharacter_.clear();
    bytes.remove_prefix(consumed - before);
  }
  const std::size_t consumed = decode(bytes, final);
  cutCharacter_.assign(bytes.substr(consumed));
}

void TextConversion::Convert(std::u16string_view units, bool final) {
  converted_.assign(heldBack_);
  heldBack_.clear();
  // An LF would be given a CR only for the writer to drop it again.
  if (!crlf_ && lineFeedEndsLine_ && !crSeen_) {
    engine_.Push(units, converted_, mdlFlexConv::LineFeeds::StandForCrLf);
  } else {
    lines_.clear();
    lineBreaks_.Append(units, lines_);
    engine_.Push(lines_, converted_);
  }
  if (final) {
    engine_.Finish(converted_);
  } else {
    textFiles::HoldBackCutEnd(converted_, heldBack_);
  }
}

void TextConversion::WriteUtf8(Result<char>& out) {
  char* room = out.Room(textCodec::MostBytes(textCodec::Encoding::Utf8, converted_.size()));
  const textCodec::EncodeProgress progress =
      textFiles::EncodeTextInto(converted_, {textCodec::Encoding::Utf8, crlf_}, room);
  if (progress.unencodableAt) {
    // Valid UTF-8 in gives no lone surrogate out.
    FailWith(POKOPEN_ERROR_SYSTEM, "a lone surrogate in the converted text");
  }
  out.Wrote(progress.written);
}

void TextConversion::WriteUtf16(Result<char16_t>& out) {
  char16_t* room = out.Room(converted_.size());
  std::size_t written = 0;
  for (std::size_t i = 0; i < converted_.size(); ++i) {
    if (crlf_ || !textCodec::IsCrOfCrLf(converted_, i)) {
      room[written++] = converted_[i];
    }
  }
  out.Wrote(written);
}

}  // namespace pokopenApi
