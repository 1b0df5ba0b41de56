// Real Japanese documents for tests: the message catalogues that Debian's
// packages install for Japanese, each one's translations joined a message a
// line, so that the tests meet text that people wrote rather than text made
// up for them. Catalogues in EUC-JP are kept apart; other languages' serve
// as texts that are not Japanese.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace japaneseDocuments {

struct Document {
  std::string name;
  std::string bytes;  // UTF-8 with LF line ends, unless read from an EUC-JP catalogue
};

inline constexpr const char* kCatalogueFolder = "/usr/share/locale/ja/LC_MESSAGES";

// The translations of a GNU message catalogue (.mo), a message a line; empty
// for anything else.
inline std::string Translations(const std::string& catalogue) {
  const auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= catalogue.size()) {
      std::memcpy(&value, catalogue.data() + at, 4);
    }
    return value;
  };
  if (word(0) != 0x950412DEu) {
    return {};
  }
  const std::uint32_t count = word(8);
  const std::uint32_t table = word(16);
  std::string text;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t length = word(table + 8 * i);
    const std::uint32_t offset = word(table + 8 * i + 4);
    if (offset + std::uint64_t{length} > catalogue.size()) {
      return {};
    }
    std::string message = catalogue.substr(offset, length);
    if (message.find("Content-Type:") != std::string::npos) {
      continue;  // the catalogue's header
    }
    std::replace(message.begin(), message.end(), '\0', '\n');
    text += message;
    text += '\n';
  }
  return text;
}

inline bool DeclaresEucJp(const std::string& catalogue) {
  return catalogue.find("charset=EUC-JP") != std::string::npos;
}

// The catalogues of a language's folder whose text keep() takes and has at
// least `shortest` bytes, each cut to at most `longest` bytes at a line's end,
// in name order.
template <typename Keep>
std::vector<Document> Catalogues(const std::string& folder, Keep keep, std::size_t shortest,
                                 std::size_t longest) {
  std::vector<Document> documents;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string catalogue{std::istreambuf_iterator<char>(file), {}};
    if (!keep(catalogue)) {
      continue;
    }
    std::string text = Translations(catalogue);
    if (text.size() > longest) {
      text.resize(text.rfind('\n', longest) + 1);
    }
    if (text.size() >= shortest) {
      documents.push_back({entry.path().filename().string(), std::move(text)});
    }
  }
  std::sort(documents.begin(), documents.end(),
            [](const Document& a, const Document& b) { return a.name < b.name; });
  return documents;
}

// The Japanese catalogues, in UTF-8 or else in EUC-JP.
inline std::vector<Document> Documents(bool eucJp, std::size_t shortest = 200,
                                       std::size_t longest = SIZE_MAX) {
  return Catalogues(
      kCatalogueFolder,
      [&](const std::string& catalogue) { return DeclaresEucJp(catalogue) == eucJp; }, shortest,
      longest);
}

// The UTF-8 catalogues of another language ("ru", "zh_TW" ...).
inline std::vector<Document> ForeignDocuments(const std::string& language, std::size_t shortest,
                                              std::size_t longest) {
  return Catalogues(
      "/usr/share/locale/" + language + "/LC_MESSAGES",
      [](const std::string& catalogue) {
        return catalogue.find("charset=UTF-8") != std::string::npos ||
               catalogue.find("charset=utf-8") != std::string::npos;
      },
      shortest, longest);
}

// UTF-8 text with its katakana, ー and ・ in their half-width forms, as older
// Japanese texts in code page 932 often have them.
inline std::string WithHalfWidthKatakana(const std::string& utf8) {
  // ァ (U+30A1) to ヶ (U+30F6).
  static const char* const kHalfWidth[] = {
      "ｧ",  "ｱ",  "ｨ",  "ｲ",  "ｩ",  "ｳ",  "ｪ",  "ｴ", "ｫ",  "ｵ",  "ｶ",  "ｶﾞ", "ｷ",  "ｷﾞ", "ｸ",
      "ｸﾞ", "ｹ",  "ｹﾞ", "ｺ",  "ｺﾞ", "ｻ",  "ｻﾞ", "ｼ", "ｼﾞ", "ｽ",  "ｽﾞ", "ｾ",  "ｾﾞ", "ｿ",  "ｿﾞ",
      "ﾀ",  "ﾀﾞ", "ﾁ",  "ﾁﾞ", "ｯ",  "ﾂ",  "ﾂﾞ", "ﾃ", "ﾃﾞ", "ﾄ",  "ﾄﾞ", "ﾅ",  "ﾆ",  "ﾇ",  "ﾈ",
      "ﾉ",  "ﾊ",  "ﾊﾞ", "ﾊﾟ", "ﾋ",  "ﾋﾞ", "ﾋﾟ", "ﾌ", "ﾌﾞ", "ﾌﾟ", "ﾍ",  "ﾍﾞ", "ﾍﾟ", "ﾎ",  "ﾎﾞ",
      "ﾎﾟ", "ﾏ",  "ﾐ",  "ﾑ",  "ﾒ",  "ﾓ",  "ｬ",  "ﾔ", "ｭ",  "ﾕ",  "ｮ",  "ﾖ",  "ﾗ",  "ﾘ",  "ﾙ",
      "ﾚ",  "ﾛ",  "ﾜ",  "ﾜ",  "ｲ",  "ｴ",  "ｦ",  "ﾝ", "ｳﾞ", "ｶ",  "ｹ"};
  std::string text;
  for (std::size_t i = 0; i < utf8.size();) {
    // Katakana are E3 82 A1 to E3 83 BC in UTF-8.
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[i + k]); };
    const bool kana =
        i + 2 < utf8.size() && byte(0) == 0xE3 && (byte(1) == 0x82 || byte(1) == 0x83);
    const unsigned codePoint = kana ? 0x3000u + ((byte(1) & 0x3Fu) << 6) + (byte(2) & 0x3Fu) : 0;
    if (codePoint >= 0x30A1 && codePoint <= 0x30F6) {
      text += kHalfWidth[codePoint - 0x30A1];
    } else if (codePoint == 0x30FC || codePoint == 0x30FB) {
      text += codePoint == 0x30FC ? "ｰ" : "･";
    } else {
      text.append(utf8, i, kana ? 3 : 1);
    }
    i += kana ? 3 : 1;
  }
  return text;
}

}  // namespace japaneseDocuments
