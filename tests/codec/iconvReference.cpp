#include "iconvReference.h"

#include <iconv.h>

#include <stdexcept>

namespace iconvReference {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The converted bytes and how many input bytes were left when iconv stopped.
  std::pair<std::string, std::size_t> Convert(std::string_view input) {
    std::string in(input);
    std::string out(16 + input.size() * 4, '\0');
    char* inPointer = in.data();
    std::size_t inLeft = in.size();
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    iconv(handle_, &inPointer, &inLeft, &outPointer, &outLeft);
    // A stateful encoding such as ISO-2022-JP returns to ASCII at the end.
    iconv(handle_, nullptr, nullptr, &outPointer, &outLeft);
    out.resize(out.size() - outLeft);
    return {out, inLeft};
  }

 private:
  iconv_t handle_;
};

}  // namespace

Decoded DecodeCp932(std::string_view bytes) {
  const auto [units, left] = Converter("UTF-16LE", "CP932").Convert(bytes);
  Decoded decoded;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    decoded.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                                 static_cast<unsigned char>(units[i + 1]) << 8));
  }
  if (left != 0) {
    decoded.errorOffset = bytes.size() - left;
  }
  return decoded;
}

std::optional<std::string> Convert(const char* to, const char* from, std::string_view bytes) {
  auto [converted, left] = Converter(to, from).Convert(bytes);
  if (left != 0) {
    return std::nullopt;
  }
  return converted;
}

std::optional<std::string> EncodeCp932(std::u16string_view text) {
  std::string units;
  for (const char16_t unit : text) {
    units.push_back(static_cast<char>(unit & 0xFF));
    units.push_back(static_cast<char>(unit >> 8));
  }
  auto [bytes, left] = Converter("CP932", "UTF-16LE").Convert(units);
  if (left != 0) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace iconvReference
