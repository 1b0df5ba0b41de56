// Writes codec/cp932Table.inc, the code page 932 tables of the text codec, from
// glibc's iconv "CP932", which maps code page 932 as Windows does.
// Rerun from the top of the tree:
//   g++ -std=c++20 -O2 tools/cp932-table/generateCp932Table.cpp -o /tmp/generateCp932Table &&
//   /tmp/generateCp932Table > codec/cp932Table.inc && clang-format -i codec/cp932Table.inc
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kLastTrail = 0xFC;
constexpr unsigned kTrailCount = kLastTrail - kFirstTrail + 1;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "generateCp932Table: %s\n", why.c_str());
  std::exit(1);
}

bool IsLeadByte(unsigned byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      Fail(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The whole input converted, or nothing when iconv rejects any of it.
  std::optional<std::string> Convert(const std::string& input) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    std::string in = input;
    std::string out(16 + input.size() * 4, '\0');
    char* inPointer = in.data();
    std::size_t inLeft = in.size();
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    if (iconv(handle_, &inPointer, &inLeft, &outPointer, &outLeft) ==
            static_cast<std::size_t>(-1) ||
        inLeft != 0) {
      return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
  }

 private:
  iconv_t handle_;
};

// The one UTF-16 unit that bytes decode to, or nothing.
std::optional<char16_t> DecodeOne(Converter& decoder, const std::string& bytes) {
  const auto units = decoder.Convert(bytes);
  if (!units) {
    return std::nullopt;
  }
  if (units->size() != 2) {
    Fail("a code decodes to more than one UTF-16 unit");
  }
  const auto low = static_cast<unsigned char>((*units)[0]);
  const auto high = static_cast<unsigned char>((*units)[1]);
  const auto unit = static_cast<char16_t>(low | (high << 8));
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    Fail("a code decodes to a surrogate");
  }
  return unit;
}

std::optional<unsigned> EncodeOne(Converter& encoder, char16_t unit) {
  const std::string units{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  const auto bytes = encoder.Convert(units);
  if (!bytes || bytes->empty() || bytes->size() > 2) {
    return std::nullopt;
  }
  unsigned code = 0;
  for (const char byte : *bytes) {
    code = (code << 8) | static_cast<unsigned char>(byte);
  }
  return code;
}

void PrintUnits(const char* comment, const char* declaration, const std::vector<char16_t>& units) {
  std::printf("// %s\ninline constexpr %s = {\n", comment, declaration);
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::printf("0x%04X,%s", static_cast<unsigned>(units[i]), (i % 12 == 11) ? "\n" : " ");
  }
  std::printf("};\n\n");
}

}  // namespace

int main() {
  Converter decoder("UTF-16LE", "CP932");
  Converter encoder("CP932", "UTF-16LE");

  // The lowest code of every character, and the code iconv writes it as.
  std::map<char16_t, unsigned> lowestCode;
  std::vector<char16_t> singleByte(256, 0xFFFF);
  for (unsigned byte = 0; byte <= 0xFF; ++byte) {
    const auto unit = DecodeOne(decoder, std::string(1, static_cast<char>(byte)));
    if (unit && IsLeadByte(byte)) {
      Fail("a lead byte decodes on its own");
    }
    if (unit) {
      singleByte[byte] = *unit;
      lowestCode.emplace(*unit, byte);
    }
  }

  std::vector<char16_t> doubleByte;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(lead)) {
      continue;
    }
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const auto unit = DecodeOne(decoder, {static_cast<char>(lead), static_cast<char>(trail)});
      const bool inRange = trail >= kFirstTrail && trail <= kLastTrail;
      if (unit && !inRange) {
        Fail("a pair with a trail byte outside 0x40-0xFC decodes");
      }
      if (inRange) {
        doubleByte.push_back(unit.value_or(0));
      }
      if (unit) {
        if (*unit == 0) {
          Fail("a pair decodes to U+0000");
        }
        lowestCode.emplace(*unit, (lead << 8) | trail);
      }
    }
  }

  std::vector<std::pair<char16_t, unsigned>> preferred;
  for (const auto& [unit, lowest] : lowestCode) {
    const auto code = EncodeOne(encoder, unit);
    if (!code) {
      Fail("iconv cannot encode a character it decodes");
    }
    const std::string bytes =
        *code > 0xFF ? std::string{static_cast<char>(*code >> 8), static_cast<char>(*code & 0xFF)}
                     : std::string(1, static_cast<char>(*code));
    if (DecodeOne(decoder, bytes) != unit) {
      Fail("iconv encodes a character as a code of another character");
    }
    if (*code != lowest) {
      preferred.emplace_back(unit, *code);
    }
  }

  std::printf(
      "// Generated by tools/cp932-table/generateCp932Table.cpp from glibc iconv \"CP932\";\n"
      "// do not edit by hand.\n"
      "#include <cstdint>\n\n"
      "namespace textCodec::cp932Table {\n\n"
      "inline constexpr char16_t kNoCharacter = 0xFFFF;\n"
      "inline constexpr unsigned kFirstTrail = 0x%02X;\n"
      "inline constexpr unsigned kTrailCount = %u;\n\n",
      kFirstTrail, kTrailCount);
  PrintUnits("The character of each single byte; kNoCharacter for lead and undefined bytes.",
             "char16_t kSingleByte[256]", singleByte);
  PrintUnits(
      "The character of each pair, one row of kTrailCount trail bytes from kFirstTrail for each\n"
      "// lead byte 0x81-0x9F and 0xE0-0xFC in turn; 0 where the pair is undefined.",
      "char16_t kDoubleByte[60 * kTrailCount]", doubleByte);
  std::printf(
      "struct PreferredCode {\n  char16_t character;\n  std::uint16_t code;\n};\n\n"
      "// Characters with more than one code that are written as a code other than their\n"
      "// lowest one.\n"
      "inline constexpr PreferredCode kPreferredCodes[] = {\n");
  for (const auto& [unit, code] : preferred) {
    std::printf("{0x%04X, 0x%04X},\n", static_cast<unsigned>(unit), code);
  }
  std::printf("};\n\n}  // namespace textCodec::cp932Table\n");
  return 0;
}
