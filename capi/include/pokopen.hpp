// libpokopen for C++17 and later: the functions of pokopen.h with
// std::string_view in, std::string (or std::u16string) out, the library's
// memory and converters owned by objects, and failures thrown as
// pokopen::Error. Header only; link with libpokopen as for pokopen.h.
//
//   std::string speech = pokopen::Convert("わたしは学生です。", POKOPEN_STYLE_CHEERFUL,
//                                         POKOPEN_DEFAULT_FLAGS | POKOPEN_FORCE);
//
// Thread safety is the library's: every function may be called from any
// thread; a Converter is used by one thread at a time.
#ifndef POKOPEN_HPP
#define POKOPEN_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pokopen.h"

namespace pokopen {

// A call that failed: what() is the library's English message, Code() the
// status and Details() the whole pokopen_error (offsets, line, column...).
class Error : public std::runtime_error {
 public:
  explicit Error(const pokopen_error& error) : std::runtime_error(error.message), error_(error) {}

  pokopen_status Code() const noexcept { return error_.code; }
  const pokopen_error& Details() const noexcept { return error_; }

 private:
  pokopen_error error_;
};

// A decoded text and the encoding it was read in.
struct Decoded {
  std::string text;
  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO;
};
struct DecodedUtf16 {
  std::u16string text;
  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO;
};

namespace detail {

struct Free {
  void operator()(void* memory) const noexcept { pokopen_free(memory); }
};

// Owns what a call hands back, and throws if the call failed.
template <typename Unit>
class Out {
 public:
  Out() = default;
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;
  ~Out() { pokopen_free(data); }

  // Throws the error of a failed call; otherwise the result as a string.
  template <typename Text>
  Text Take(pokopen_status status) const {
    if (status != POKOPEN_OK) {
      throw Error(error);
    }
    Text text(length, typename Text::value_type{});
    std::memcpy(text.data(), data, length * sizeof(Unit));
    return text;
  }

  Unit* data = nullptr;
  std::size_t length = 0;
  pokopen_error error{};
};

inline void Check(pokopen_status status, const pokopen_error& error) {
  if (status != POKOPEN_OK) {
    throw Error(error);
  }
}

inline const std::uint16_t* UnitsOf(std::u16string_view text) {
  return reinterpret_cast<const std::uint16_t*>(text.data());
}

}  // namespace detail

// The library's version, such as "1.0.2000".
inline std::string_view Version() {
  return pokopen_version();
}

// Converts a whole text in a style (POKOPEN_STYLE_*) with flags (POKOPEN_POKORU,
// _FIRST, _SECOND, _FORCE, and POKOPEN_CRLF for CR LF line ends).
inline std::string Convert(std::string_view text, int style = POKOPEN_STYLE_STANDARD,
                           unsigned flags = POKOPEN_DEFAULT_FLAGS) {
  detail::Out<char> out;
  return out.Take<std::string>(
      pokopen_convert(text.data(), text.size(), style, flags, &out.data, &out.length, &out.error));
}

inline std::u16string Convert(std::u16string_view text, int style = POKOPEN_STYLE_STANDARD,
                              unsigned flags = POKOPEN_DEFAULT_FLAGS) {
  detail::Out<std::uint16_t> out;
  return out.Take<std::u16string>(pokopen_convert_utf16(detail::UnitsOf(text), text.size(), style,
                                                        flags, &out.data, &out.length, &out.error));
}

// A text that arrives in pieces cut anywhere: the results of every Push and
// of Finish, joined, equal Convert of the whole text. After Finish (or a
// failure) the converter takes a new text. Movable, not copyable.
class Converter {
 public:
  explicit Converter(int style = POKOPEN_STYLE_STANDARD, unsigned flags = POKOPEN_DEFAULT_FLAGS) {
    pokopen_converter* made = nullptr;
    pokopen_error error{};
    detail::Check(pokopen_converter_new(style, flags, &made, &error), error);
    converter_.reset(made);
  }

  std::string Push(std::string_view bytes) {
    detail::Out<char> out;
    return out.Take<std::string>(pokopen_converter_push(
        converter_.get(), bytes.data(), bytes.size(), &out.data, &out.length, &out.error));
  }
  std::string Finish() {
    detail::Out<char> out;
    return out.Take<std::string>(
        pokopen_converter_finish(converter_.get(), &out.data, &out.length, &out.error));
  }

  std::u16string Push(std::u16string_view units) {
    detail::Out<std::uint16_t> out;
    return out.Take<std::u16string>(
        pokopen_converter_push_utf16(converter_.get(), detail::UnitsOf(units), units.size(),
                                     &out.data, &out.length, &out.error));
  }
  std::u16string FinishUtf16() {
    detail::Out<std::uint16_t> out;
    return out.Take<std::u16string>(
        pokopen_converter_finish_utf16(converter_.get(), &out.data, &out.length, &out.error));
  }

  pokopen_converter* Get() const noexcept { return converter_.get(); }

 private:
  struct Delete {
    void operator()(pokopen_converter* converter) const noexcept {
      pokopen_converter_free(converter);
    }
  };
  std::unique_ptr<pokopen_converter, Delete> converter_;
};

// Decodes the bytes of a text file; AUTO detects the encoding as the window
// and pokopen-convert do.
inline Decoded Decode(std::string_view bytes, pokopen_encoding encoding = POKOPEN_ENCODING_AUTO) {
  detail::Out<char> out;
  Decoded decoded;
  decoded.text = out.Take<std::string>(pokopen_decode(
      bytes.data(), bytes.size(), encoding, &out.data, &out.length, &decoded.encoding, &out.error));
  return decoded;
}

inline DecodedUtf16 DecodeUtf16(std::string_view bytes,
                                pokopen_encoding encoding = POKOPEN_ENCODING_AUTO) {
  detail::Out<std::uint16_t> out;
  DecodedUtf16 decoded;
  decoded.text = out.Take<std::u16string>(pokopen_decode_utf16(
      bytes.data(), bytes.size(), encoding, &out.data, &out.length, &decoded.encoding, &out.error));
  return decoded;
}

// Encodes a text; `options` may hold POKOPEN_CRLF.
inline std::string Encode(std::string_view text, pokopen_encoding encoding, unsigned options = 0) {
  detail::Out<char> out;
  return out.Take<std::string>(pokopen_encode(text.data(), text.size(), encoding, options,
                                              &out.data, &out.length, &out.error));
}

inline std::string Encode(std::u16string_view text, pokopen_encoding encoding,
                          unsigned options = 0) {
  detail::Out<char> out;
  return out.Take<std::string>(pokopen_encode_utf16(detail::UnitsOf(text), text.size(), encoding,
                                                    options, &out.data, &out.length, &out.error));
}

inline Decoded ReadText(const std::string& path,
                        pokopen_encoding encoding = POKOPEN_ENCODING_AUTO) {
  detail::Out<char> out;
  Decoded decoded;
  decoded.text = out.Take<std::string>(pokopen_read_text(
      path.c_str(), encoding, &out.data, &out.length, &decoded.encoding, &out.error));
  return decoded;
}

inline DecodedUtf16 ReadTextUtf16(const std::string& path,
                                  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO) {
  detail::Out<std::uint16_t> out;
  DecodedUtf16 decoded;
  decoded.text = out.Take<std::u16string>(pokopen_read_text_utf16(
      path.c_str(), encoding, &out.data, &out.length, &decoded.encoding, &out.error));
  return decoded;
}

inline void WriteText(const std::string& path, std::string_view text,
                      pokopen_encoding encoding = POKOPEN_ENCODING_UTF8, unsigned options = 0) {
  pokopen_error error{};
  detail::Check(
      pokopen_write_text(path.c_str(), text.data(), text.size(), encoding, options, &error), error);
}

inline void WriteText(const std::string& path, std::u16string_view text,
                      pokopen_encoding encoding = POKOPEN_ENCODING_UTF8, unsigned options = 0) {
  pokopen_error error{};
  detail::Check(pokopen_write_text_utf16(path.c_str(), detail::UnitsOf(text), text.size(), encoding,
                                         options, &error),
                error);
}

// Where a UTF-8 text may be cut at or after `from` so that its parts,
// converted apart, give the whole text's result; text.size() if nowhere.
inline std::size_t NextSafeCut(std::string_view text, std::size_t from,
                               int style = POKOPEN_STYLE_STANDARD,
                               unsigned flags = POKOPEN_DEFAULT_FLAGS) {
  std::size_t cut = 0;
  pokopen_error error{};
  detail::Check(pokopen_next_safe_cut(text.data(), text.size(), from, style, flags, &cut, &error),
                error);
  return cut;
}

inline void ConvertFile(const std::string& input, const std::string& output,
                        int style = POKOPEN_STYLE_STANDARD, unsigned flags = POKOPEN_DEFAULT_FLAGS,
                        pokopen_encoding inputEncoding = POKOPEN_ENCODING_AUTO,
                        pokopen_encoding outputEncoding = POKOPEN_ENCODING_UTF8,
                        unsigned jobs = 0) {
  pokopen_error error{};
  detail::Check(pokopen_convert_file(input.c_str(), output.c_str(), style, flags, inputEncoding,
                                     outputEncoding, jobs, &error),
                error);
}

inline void ConvertFd(int input, int output, int style = POKOPEN_STYLE_STANDARD,
                      unsigned flags = POKOPEN_DEFAULT_FLAGS,
                      pokopen_encoding inputEncoding = POKOPEN_ENCODING_AUTO,
                      pokopen_encoding outputEncoding = POKOPEN_ENCODING_UTF8, unsigned jobs = 0) {
  pokopen_error error{};
  detail::Check(
      pokopen_convert_fd(input, output, style, flags, inputEncoding, outputEncoding, jobs, &error),
      error);
}

}  // namespace pokopen

#endif  // POKOPEN_HPP
