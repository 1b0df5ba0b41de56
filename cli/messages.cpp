#include "messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pokopenConvert {

namespace {

bool NeedsNoQuotes(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("_-./+,:@%=^", c) != nullptr || c >= 0x80;
}

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

std::string Escaped(unsigned char c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    default: {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      return octal;
    }
  }
}

// Which bytes of text are no part of a valid UTF-8 character.
std::vector<bool> InvalidUtf8(std::string_view text) {
  std::vector<bool> invalid(text.size(), false);
  std::u16string decoded;
  for (std::size_t at = 0; at < text.size();) {
    decoded.clear();
    const textCodec::DecodeProgress progress =
        textCodec::DecodeSome(textCodec::Encoding::Utf8, text.substr(at), true, decoded);
    if (!progress.invalidAt) {
      break;
    }
    at += *progress.invalidAt;
    invalid[at++] = true;
  }
  return invalid;
}

// Text in single quotes, with each single quote, control character and
// byte of invalid UTF-8 outside them, as a shell reads it: 'a'\''b',
// 'a'$'\n''b', so that nothing quoted can forge a line of output or upset
// the terminal.
std::string InQuotes(std::string_view text) {
  const std::vector<bool> invalid = InvalidUtf8(text);
  std::string shown;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsControl(c) || c == '\'' || invalid[i]) {
      if (open) {
        shown += '\'';
        open = false;
      }
      shown += c == '\'' ? "\\'" : "$'" + Escaped(c) + "'";
      continue;
    }
    if (!open) {
      shown += '\'';
      open = true;
    }
    shown += text[i];
  }
  if (open) {
    shown += '\'';
  }
  return shown.empty() ? "''" : shown;
}

using textCodec::EnglishName;

struct ProblemInWords {
  std::string operator()(const textFiles::SystemFailure& failure) const {
    return std::strerror(failure.errnum);
  }
  std::string operator()(const textFiles::NotRegularFile&) const { return "not a regular file"; }
  std::string operator()(const textFiles::InvalidText& invalid) const {
    std::string words = "invalid " + std::string(EnglishName(invalid.encoding)) +
                        " at byte offset " + std::to_string(invalid.byteOffset);
    if (invalid.validUtf8) {
      words += invalid.encoding == textCodec::Encoding::Cp932
                   ? ", but valid UTF-8: -e sets both encodings; --output-encoding=cp932 alone "
                     "writes code page 932"
                   : ": UTF-8 behind a UTF-16 byte-order mark (remove the mark's 2 bytes)";
    } else if (invalid.guessed) {
      words += invalid.encoding == textCodec::Encoding::Cp932
                   ? " (if it is UTF-8, say --input-encoding=utf-8)"
                   : " (if it is code page 932, say --input-encoding=cp932)";
    }
    return words;
  }
  std::string operator()(const textFiles::NulByte& nul) const {
    return "a NUL byte at byte offset " + std::to_string(nul.byteOffset) +
           (nul.maybeUtf16 ? ": not a text file, or UTF-16 without a byte-order mark"
                           : ": not a text file, or a damaged one");
  }
  std::string operator()(const textFiles::EucJpText&) const {
    return "EUC-JP text is not read (iconv -f EUC-JP -t UTF-8 converts it)";
  }
  std::string operator()(const textFiles::Iso2022JpText& jis) const {
    return "ISO-2022-JP text is not read (escape sequence at byte offset " +
           std::to_string(jis.byteOffset) + "; iconv -f ISO-2022-JP -t UTF-8 converts it)";
  }
  std::string operator()(const textFiles::MixedEncodings& mixed) const {
    return "the text mixes UTF-8 and code page 932: " + std::string(EnglishName(mixed.second)) +
           " from byte offset " + std::to_string(mixed.byteOffset);
  }
  std::string operator()(const textFiles::NotJapaneseText& text) const {
    return "neither UTF-8 nor Japanese code page 932 (not UTF-8 from byte offset " +
           std::to_string(text.byteOffset) +
           "); if it is another encoding, iconv -f ENCODING -t UTF-8 converts it";
  }
  std::string operator()(const textFiles::NoByteOrderMark&) const {
    return "no UTF-16 byte-order mark to tell the byte order";
  }
  // All in one line: how many, where the first few are, and the way out.
  std::string operator()(const textFiles::UnencodableText& unencodable) const {
    const auto place = [](const textCodec::Unencodable& where) {
      return textCodec::CodePointText(where.codePoint) + " at line " + std::to_string(where.line) +
             ", column " + std::to_string(where.column);
    };
    const std::string encoding(EnglishName(unencodable.encoding));
    if (unencodable.count <= 1) {
      return place(unencodable.where) + " cannot be written in " + encoding +
             "; --output-encoding=utf-8 writes it";
    }
    std::string words = std::to_string(unencodable.count) + " characters cannot be written in " +
                        encoding + ": " + place(unencodable.where);
    for (const textCodec::Unencodable& where : unencodable.next) {
      words += ", " + place(where);
    }
    const std::size_t listed = 1 + unencodable.next.size();
    if (unencodable.count > listed) {
      words += " and " + std::to_string(unencodable.count - listed) + " more";
    }
    return words + "; --output-encoding=utf-8 writes them";
  }
};

}  // namespace

std::string Quoted(std::string_view value) {
  return InQuotes(value);
}

std::string ShownName(std::string_view name) {
  const std::vector<bool> invalid = InvalidUtf8(name);
  bool plain = !name.empty();
  for (std::size_t i = 0; i < name.size() && plain; ++i) {
    plain = NeedsNoQuotes(static_cast<unsigned char>(name[i])) && !invalid[i];
  }
  return plain ? std::string(name) : InQuotes(name);
}

void PrintError(std::string_view message) {
  std::string line(kProgramName);
  line.append(": ").append(message).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string Describe(const textFiles::Problem& problem) {
  return std::visit(ProblemInWords{}, problem);
}

}  // namespace pokopenConvert
