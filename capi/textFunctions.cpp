// The C interface on texts and bytes: conversion, whole or in pieces,
// decoding with detection, and encoding.
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "apiSupport.h"
#include "lineBreaks.h"
#include "pokopen.h"
#include "pokopenVersion.h"
#include "textCodec.h"
#include "textConversion.h"
#include "textEncoding.h"
#include "textReader.h"

using namespace pokopenApi;

struct pokopen_converter {
  enum class Form { Any, Utf8, Utf16 };

  pokopen_converter(mdlFlexConv::Style style, const mdlFlexConv::Flags& flags, bool crlf,
                    bool lineFeedEndsLine)
      : conversion(style, flags, crlf, lineFeedEndsLine) {}

  // Runs a step of one text in one form; a new text may take the other. A
  // failed step drops the text.
  template <typename Step>
  void Run(Form given, bool ends, Step&& step) {
    if (form != Form::Any && form != given) {
      FailWith(POKOPEN_ERROR_ARGUMENT, "a converter takes UTF-8 or UTF-16 text, not both");
    }
    form = ends ? Form::Any : given;
    try {
      step();
    } catch (...) {
      conversion.Reset();
      form = Form::Any;
      throw;
    }
  }

  TextConversion conversion;
  Form form = Form::Any;
};

namespace {

const char* const kStatusNames[] = {
    "ok",          "argument",         "no_memory",       "invalid_text", "nul_byte",
    "euc_jp",      "iso_2022_jp",      "mixed_encodings", "not_japanese", "no_byte_order_mark",
    "unencodable", "not_regular_file", "system",
};

std::u16string_view UnitsOf(const std::uint16_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

void Hand(Result<char>& result, char** data, std::size_t* length) {
  result.Release(data, length);
}

void HandUtf16(Result<char16_t>& result, std::uint16_t** data, std::size_t* length) {
  char16_t* units = nullptr;
  result.Release(&units, length);
  *data = reinterpret_cast<std::uint16_t*>(units);
}

// Bytes in `encoding` (AUTO detects it), decoded with their line breaks as
// they are.
std::u16string DecodeBytes(std::string_view bytes, pokopen_encoding encoding,
                           pokopen_encoding* found) {
  textFiles::TextDecoder decoder(InputEncodingOf(encoding), textFiles::LineBreaks::AsTheyAre);
  std::u16string text;
  decoder.Push(bytes, text);
  decoder.Finish(text);
  if (found != nullptr) {
    *found = EncodingOf(decoder.Encoding().value_or(textCodec::Encoding::Utf8));
  }
  return text;
}

// The text of a UTF-8 argument, checked strictly.
std::u16string DecodeUtf8Text(std::string_view text) {
  textCodec::Decoded decoded = textCodec::DecodeUtf8(text);
  if (decoded.error) {
    FailInvalidUtf8(decoded.error->byteOffset);
  }
  return std::move(decoded.text);
}

// The encoding and line breaks to write, checked before the text is.
textFiles::WriteFormat FormatOf(pokopen_encoding encoding, unsigned options) {
  RequireOptions(options);
  return {OutputEncodingOf(encoding), (options & POKOPEN_CRLF) != 0};
}

// Encodes text (breaks as given) in the format. `offsetOf` turns a unit index
// into the caller's offset.
template <typename OffsetOf>
void EncodeText(std::u16string_view text, pokopen_encoding encoding,
                const textFiles::WriteFormat& format, bool lineFeedEndsLine, Result<char>& out,
                OffsetOf offsetOf) {
  if (const std::optional<Unencodable> found = UnencodableIn(format.encoding, text)) {
    FailUnencodable(encoding, format.encoding, *found, offsetOf(found->index));
  }
  std::u16string lines;
  textFiles::LineBreakNormalizer(lineFeedEndsLine).Append(text, lines);
  if (encoding == POKOPEN_ENCODING_UTF16) {
    out.Append("\xFF\xFE", 2);
  }
  char* room = out.Room(textCodec::MostBytes(format.encoding, lines.size()));
  out.Wrote(textFiles::EncodeTextInto(lines, format, room).written);
}

// Whether a UTF-8 text may be cut before the line start `at`: the engine
// judges the characters around the line break, with the break as CR LF as it
// sees every break.
bool SafeLineStart(const mdlFlexConv::Converter& engine, std::string_view text, std::size_t at) {
  // More characters before the break than any rule looks back over.
  constexpr int kContextCharacters = 8;
  const auto isContinuation = [&](std::size_t i) { return (text[i] & 0xC0) == 0x80; };
  std::size_t breakStart = at - 1;
  if (text[breakStart] == '\n' && breakStart > 0 && text[breakStart - 1] == '\r') {
    --breakStart;
  }
  std::size_t start = breakStart;
  for (int characters = 0; characters < kContextCharacters && start > 0; ++characters) {
    do {
      --start;
    } while (start > 0 && isContinuation(start));
  }
  std::size_t end = at + 1;
  while (end < text.size() && isContinuation(end)) {
    ++end;
  }
  const textCodec::Decoded before = textCodec::DecodeUtf8(text.substr(start, breakStart - start));
  const textCodec::Decoded after = textCodec::DecodeUtf8(text.substr(at, end - at));
  if (before.error || after.error) {
    return false;
  }
  std::u16string window;
  textFiles::LineBreakNormalizer().Append(before.text + u"\r\n" + after.text, window);
  const std::size_t cut = window.size() - after.text.size();
  return engine.NextSafeCut(window, cut) == cut;
}

}  // namespace

// The header's numbers are written by hand; they must be the project's.
static_assert(POKOPEN_VERSION_MAJOR == pokopenVersion::kMajor &&
                  POKOPEN_VERSION_MINOR == pokopenVersion::kMinor &&
                  POKOPEN_VERSION_PATCH == pokopenVersion::kRevision,
              "pokopen.h's version macros differ from the project's version");

extern "C" {

const char* pokopen_version(void) {
  return POKOPEN_VERSION_STRING;
}

long pokopen_version_number(void) {
  return POKOPEN_VERSION_NUMBER;
}

const char* pokopen_status_name(pokopen_status status) {
  const auto index = static_cast<std::size_t>(status);
  return index < std::size(kStatusNames) ? kStatusNames[index] : "unknown";
}

void pokopen_free(void* memory) {
  std::free(memory);
}

pokopen_status pokopen_convert(const char* text, size_t length, int style, unsigned flags,
                               char** result, size_t* result_length, pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    RequirePointer(length > 0 ? text : "", "text");
    TextConversion conversion(StyleOf(style), ConversionFlagsOf(flags), (flags & POKOPEN_CRLF) != 0,
                              (flags & POKOPEN_LF_IN_LINE) == 0);
    Result<char> out;
    conversion.Push(std::string_view(text, length), out);
    conversion.Finish(out);
    Hand(out, result, result_length);
  });
}

pokopen_status pokopen_convert_utf16(const uint16_t* text, size_t length, int style, unsigned flags,
                                     uint16_t** result, size_t* result_length,
                                     pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    RequirePointer(length > 0 ? static_cast<const void*>(text) : "", "text");
    TextConversion conversion(StyleOf(style), ConversionFlagsOf(flags), (flags & POKOPEN_CRLF) != 0,
                              (flags & POKOPEN_LF_IN_LINE) == 0);
    Result<char16_t> out;
    conversion.Push(UnitsOf(text, length), out);
    conversion.Finish(out);
    HandUtf16(out, result, result_length);
  });
}

pokopen_status pokopen_converter_new(int style, unsigned flags, pokopen_converter** converter,
                                     pokopen_error* error) {
  if (converter != nullptr) {
    *converter = nullptr;
  }
  return Guarded(error, [&] {
    RequirePointer(converter, "converter");
    *converter = std::make_unique<pokopen_converter>(StyleOf(style), ConversionFlagsOf(flags),
                                                     (flags & POKOPEN_CRLF) != 0,
                                                     (flags & POKOPEN_LF_IN_LINE) == 0)
                     .release();
  });
}

pokopen_status pokopen_converter_push(pokopen_converter* converter, const char* bytes,
                                      size_t length, char** result, size_t* result_length,
                                      pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(converter, "converter");
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    RequirePointer(length > 0 ? bytes : "", "bytes");
    Result<char> out;
    converter->Run(pokopen_converter::Form::Utf8, false,
                   [&] { converter->conversion.Push(std::string_view(bytes, length), out); });
    Hand(out, result, result_length);
  });
}

pokopen_status pokopen_converter_finish(pokopen_converter* converter, char** result,
                                        size_t* result_length, pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(converter, "converter");
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    Result<char> out;
    converter->Run(pokopen_converter::Form::Utf8, true, [&] { converter->conversion.Finish(out); });
    Hand(out, result, result_length);
  });
}

pokopen_status pokopen_converter_push_utf16(pokopen_converter* converter, const uint16_t* units,
                                            size_t length, uint16_t** result, size_t* result_length,
                                            pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(converter, "converter");
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    RequirePointer(length > 0 ? static_cast<const void*>(units) : "", "units");
    Result<char16_t> out;
    converter->Run(pokopen_converter::Form::Utf16, false,
                   [&] { converter->conversion.Push(UnitsOf(units, length), out); });
    HandUtf16(out, result, result_length);
  });
}

pokopen_status pokopen_converter_finish_utf16(pokopen_converter* converter, uint16_t** result,
                                              size_t* result_length, pokopen_error* error) {
  ClearResult(result, result_length);
  return Guarded(error, [&] {
    RequirePointer(converter, "converter");
    RequirePointer(result, "result");
    RequirePointer(result_length, "result_length");
    Result<char16_t> out;
    converter->Run(pokopen_converter::Form::Utf16, true,
                   [&] { converter->conversion.Finish(out); });
    HandUtf16(out, result, result_length);
  });
}

void pokopen_converter_free(pokopen_converter* converter) {
  std::unique_ptr<pokopen_converter> owned(converter);
}

pokopen_status pokopen_next_safe_cut(const char* text, size_t length, size_t from, int style,
                                     unsigned flags, size_t* cut, pokopen_error* error) {
  if (cut != nullptr) {
    *cut = length;
  }
  return Guarded(error, [&] {
    RequirePointer(cut, "cut");
    RequirePointer(length > 0 ? text : "", "text");
    const mdlFlexConv::Converter engine(StyleOf(style), ConversionFlagsOf(flags));
    const std::string_view bytes(text, length);
    for (std::size_t at = std::max<std::size_t>(from, 1); at < length; ++at) {
      const bool lineStart = bytes[at - 1] == '\n' || (bytes[at - 1] == '\r' && bytes[at] != '\n');
      if (lineStart && SafeLineStart(engine, bytes, at)) {
        *cut = at;
        return;
      }
    }
  });
}

pokopen_status pokopen_decode(const char* bytes, size_t length, pokopen_encoding encoding,
                              char** text, size_t* text_length, pokopen_encoding* found,
                              pokopen_error* error) {
  ClearResult(text, text_length);
  ClearFound(found);
  return Guarded(error, [&] {
    RequirePointer(text, "text");
    RequirePointer(text_length, "text_length");
    RequirePointer(length > 0 ? bytes : "", "bytes");
    const std::u16string decoded = DecodeBytes(std::string_view(bytes, length), encoding, found);
    Result<char> out;
    char* room = out.Room(textCodec::MostBytes(textCodec::Encoding::Utf8, decoded.size()));
    out.Wrote(textCodec::EncodeInto(textCodec::Encoding::Utf8, decoded, room).written);
    Hand(out, text, text_length);
  });
}

pokopen_status pokopen_decode_utf16(const char* bytes, size_t length, pokopen_encoding encoding,
                                    uint16_t** text, size_t* text_length, pokopen_encoding* found,
                                    pokopen_error* error) {
  ClearResult(text, text_length);
  ClearFound(found);
  return Guarded(error, [&] {
    RequirePointer(text, "text");
    RequirePointer(text_length, "text_length");
    RequirePointer(length > 0 ? bytes : "", "bytes");
    const std::u16string decoded = DecodeBytes(std::string_view(bytes, length), encoding, found);
    Result<char16_t> out;
    out.Append(decoded.data(), decoded.size());
    HandUtf16(out, text, text_length);
  });
}

pokopen_status pokopen_encode(const char* text, size_t length, pokopen_encoding encoding,
                              unsigned options, char** bytes, size_t* bytes_length,
                              pokopen_error* error) {
  ClearResult(bytes, bytes_length);
  return Guarded(error, [&] {
    RequirePointer(bytes, "bytes");
    RequirePointer(bytes_length, "bytes_length");
    RequirePointer(length > 0 ? text : "", "text");
    const textFiles::WriteFormat format = FormatOf(encoding, options);
    const std::u16string units = DecodeUtf8Text(std::string_view(text, length));
    Result<char> out;
    EncodeText(
        units, encoding, format, (options & POKOPEN_LF_IN_LINE) == 0, out, [&](std::size_t index) {
          return textCodec::EncodeUtf8(std::u16string_view(units).substr(0, index)).bytes.size();
        });
    Hand(out, bytes, bytes_length);
  });
}

pokopen_status pokopen_encode_utf16(const uint16_t* text, size_t length, pokopen_encoding encoding,
                                    unsigned options, char** bytes, size_t* bytes_length,
                                    pokopen_error* error) {
  ClearResult(bytes, bytes_length);
  return Guarded(error, [&] {
    RequirePointer(bytes, "bytes");
    RequirePointer(bytes_length, "bytes_length");
    RequirePointer(length > 0 ? static_cast<const void*>(text) : "", "text");
    Result<char> out;
    EncodeText(UnitsOf(text, length), encoding, FormatOf(encoding, options),
               (options & POKOPEN_LF_IN_LINE) == 0, out, [](std::size_t index) { return index; });
    Hand(out, bytes, bytes_length);
  });
}

}  // extern "C"
