#include "apiSupport.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <variant>

namespace pokopenApi {

namespace {

constexpr unsigned kConversionFlags =
    POKOPEN_POKORU | POKOPEN_FIRST | POKOPEN_SECOND | POKOPEN_FORCE;

std::string EncodingName(textCodec::Encoding encoding) {
  return std::string(textCodec::EnglishName(encoding));
}

using textCodec::CodePointText;

// Fills the fields of error for a problem, and returns its message.
struct ProblemFields {
  pokopen_error& error;

  std::string operator()(const textFiles::SystemFailure& failure) const {
    error.code = POKOPEN_ERROR_SYSTEM;
    error.system_errno = failure.errnum;
    // The English text whatever the locale, as the message promises.
    const char* description = strerrordesc_np(failure.errnum);
    return description != nullptr ? description : "system error " + std::to_string(failure.errnum);
  }
  std::string operator()(const textFiles::NotRegularFile&) const {
    error.code = POKOPEN_ERROR_NOT_REGULAR_FILE;
    return "not a regular file";
  }
  std::string operator()(const textFiles::InvalidText& invalid) const {
    error.code = POKOPEN_ERROR_INVALID_TEXT;
    error.encoding = EncodingOf(invalid.encoding);
    error.guessed = invalid.guessed ? 1 : 0;
    error.byte_offset = invalid.byteOffset;
    error.offset = std::numeric_limits<std::uint64_t>::max();
    std::string words = "invalid " + EncodingName(invalid.encoding) + " at byte offset " +
                        std::to_string(invalid.byteOffset);
    if (invalid.guessed) {
      words += invalid.encoding == textCodec::Encoding::Cp932
                   ? " (if it is UTF-8, name that encoding)"
                   : " (if it is code page 932, name that encoding)";
    }
    return words;
  }
  std::string operator()(const textFiles::NulByte& nul) const {
    error.code = POKOPEN_ERROR_NUL_BYTE;
    error.byte_offset = nul.byteOffset;
    return "a NUL byte at byte offset " + std::to_string(nul.byteOffset) +
           ": not a text file, or UTF-16 without a byte-order mark";
  }
  std::string operator()(const textFiles::EucJpText&) const {
    error.code = POKOPEN_ERROR_EUC_JP;
    return "EUC-JP text is not read (iconv -f EUC-JP -t UTF-8 converts it)";
  }
  std::string operator()(const textFiles::Iso2022JpText& jis) const {
    error.code = POKOPEN_ERROR_ISO_2022_JP;
    error.byte_offset = jis.byteOffset;
    return "ISO-2022-JP text is not read (iconv -f ISO-2022-JP -t UTF-8 converts it)";
  }
  std::string operator()(const textFiles::MixedEncodings& mixed) const {
    error.code = POKOPEN_ERROR_MIXED_ENCODINGS;
    error.byte_offset = mixed.byteOffset;
    return "the text mixes UTF-8 and code page 932: " + EncodingName(mixed.second) +
           " from byte offset " + std::to_string(mixed.byteOffset);
  }
  std::string operator()(const textFiles::NotJapaneseText& text) const {
    error.code = POKOPEN_ERROR_NOT_JAPANESE;
    error.byte_offset = text.byteOffset;
    return "neither UTF-8 nor Japanese code page 932 text";
  }
  std::string operator()(const textFiles::NoByteOrderMark&) const {
    error.code = POKOPEN_ERROR_NO_BYTE_ORDER_MARK;
    return "no UTF-16 byte-order mark to tell the byte order";
  }
  std::string operator()(const textFiles::UnencodableText& unencodable) const {
    error.code = POKOPEN_ERROR_UNENCODABLE;
    error.encoding = EncodingOf(unencodable.encoding);
    error.offset = std::numeric_limits<std::uint64_t>::max();
    error.line = unencodable.where.line;
    error.column = unencodable.where.column;
    error.code_point = static_cast<std::uint32_t>(unencodable.where.codePoint);
    error.count = unencodable.count;
    std::string words = "line " + std::to_string(error.line) + ", column " +
                        std::to_string(error.column) + ": " +
                        CodePointText(unencodable.where.codePoint) + " cannot be written in " +
                        EncodingName(unencodable.encoding);
    if (unencodable.count > 1) {
      words += " (" + std::to_string(unencodable.count) + " characters in all)";
    }
    return words;
  }
};

}  // namespace

// A message too long for the field is cut before a character, never inside.
void SetMessage(pokopen_error& error, std::string_view message) {
  std::size_t length = std::min(message.size(), sizeof error.message - 1);
  while (length < message.size() && length > 0 &&
         (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) {
    --length;
  }
  std::memcpy(error.message, message.data(), length);
  error.message[length] = '\0';
}

void FailWith(pokopen_status code, std::string_view message) {
  ApiFailure failure{};
  failure.error.code = code;
  SetMessage(failure.error, message);
  throw failure;
}

void FailInvalidUtf8(std::uint64_t offset) {
  ApiFailure failure{
      ErrorOf(textFiles::InvalidText{textCodec::Encoding::Utf8, offset, false}, false)};
  failure.error.offset = offset;
  throw failure;
}

void RequirePointer(const void* pointer, std::string_view name) {
  if (pointer == nullptr) {
    FailWith(POKOPEN_ERROR_ARGUMENT, std::string(name) + " is NULL");
  }
}

mdlFlexConv::Style StyleOf(int style) {
  if (style < 0 || style >= mdlFlexConv::kStyleCount) {
    FailWith(POKOPEN_ERROR_ARGUMENT, "unknown style " + std::to_string(style) + " (0 to 5)");
  }
  return mdlFlexConv::StyleAt(style);
}

mdlFlexConv::Flags ConversionFlagsOf(unsigned flags) {
  if ((flags & ~(kConversionFlags | POKOPEN_CRLF | POKOPEN_LF_IN_LINE)) != 0) {
    FailWith(POKOPEN_ERROR_ARGUMENT, "unknown flag bits " + std::to_string(flags));
  }
  return {(flags & POKOPEN_POKORU) != 0, (flags & POKOPEN_FIRST) != 0,
          (flags & POKOPEN_SECOND) != 0, (flags & POKOPEN_FORCE) != 0};
}

void RequireOptions(unsigned options) {
  if ((options & ~(POKOPEN_CRLF | POKOPEN_LF_IN_LINE)) != 0) {
    FailWith(POKOPEN_ERROR_ARGUMENT, "unknown option bits " + std::to_string(options));
  }
}

textFiles::InputEncoding InputEncodingOf(pokopen_encoding encoding) {
  switch (encoding) {
    case POKOPEN_ENCODING_AUTO:
      return textFiles::InputEncoding::Auto;
    case POKOPEN_ENCODING_UTF8:
      return textFiles::InputEncoding::Utf8;
    case POKOPEN_ENCODING_UTF16:
      return textFiles::InputEncoding::Utf16;
    case POKOPEN_ENCODING_UTF16LE:
      return textFiles::InputEncoding::Utf16Le;
    case POKOPEN_ENCODING_UTF16BE:
      return textFiles::InputEncoding::Utf16Be;
    case POKOPEN_ENCODING_CP932:
      return textFiles::InputEncoding::Cp932;
  }
  FailWith(POKOPEN_ERROR_ARGUMENT, "unknown encoding " + std::to_string(encoding));
}

textCodec::Encoding OutputEncodingOf(pokopen_encoding encoding) {
  switch (encoding) {
    case POKOPEN_ENCODING_UTF8:
      return textCodec::Encoding::Utf8;
    case POKOPEN_ENCODING_UTF16:
    case POKOPEN_ENCODING_UTF16LE:
      return textCodec::Encoding::Utf16Le;
    case POKOPEN_ENCODING_UTF16BE:
      return textCodec::Encoding::Utf16Be;
    case POKOPEN_ENCODING_CP932:
      return textCodec::Encoding::Cp932;
    case POKOPEN_ENCODING_AUTO:
      FailWith(POKOPEN_ERROR_ARGUMENT, "text is written in a named encoding, not AUTO");
  }
  FailWith(POKOPEN_ERROR_ARGUMENT, "unknown encoding " + std::to_string(encoding));
}

pokopen_encoding EncodingOf(textCodec::Encoding encoding) {
  switch (encoding) {
    case textCodec::Encoding::Utf8:
      return POKOPEN_ENCODING_UTF8;
    case textCodec::Encoding::Utf16Le:
      return POKOPEN_ENCODING_UTF16LE;
    case textCodec::Encoding::Utf16Be:
      return POKOPEN_ENCODING_UTF16BE;
    case textCodec::Encoding::Cp932:
      return POKOPEN_ENCODING_CP932;
  }
  return POKOPEN_ENCODING_AUTO;
}

pokopen_error ErrorOf(const textFiles::Problem& problem, bool inOutput) {
  pokopen_error filled{};
  const std::string message = std::visit(ProblemFields{filled}, problem);
  filled.in_output = inOutput ? 1 : 0;
  SetMessage(filled, message);
  return filled;
}

pokopen_status Report(pokopen_error* error, const pokopen_error& filled) {
  if (error != nullptr) {
    *error = filled;
  }
  return filled.code;
}

pokopen_status ReportCode(pokopen_error* error, pokopen_status code,
                          std::string_view message) noexcept {
  pokopen_error filled{};
  filled.code = code;
  SetMessage(filled, message);
  return Report(error, filled);
}

std::optional<Unencodable> UnencodableIn(textCodec::Encoding encoding, std::u16string_view text) {
  const std::optional<std::size_t> index = textCodec::FindUnencodable(encoding, text);
  if (!index) {
    return std::nullopt;
  }
  const std::size_t count = textCodec::FindEveryUnencodable(encoding, text.substr(*index), 0).count;
  return Unencodable{textCodec::Locate(text, *index), *index, count};
}

void FailUnencodable(pokopen_encoding named, textCodec::Encoding written, const Unencodable& found,
                     std::uint64_t offset) {
  ApiFailure failure{
      ErrorOf(textFiles::UnencodableText{written, found.first, found.count, {}}, false)};
  failure.error.encoding = named;
  failure.error.offset = offset;
  throw failure;
}

}  // namespace pokopenApi
