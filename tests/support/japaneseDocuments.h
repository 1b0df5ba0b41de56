// Real Japanese documents for tests: the message catalogues that Debian's
// packages install for Japanese, each one's translations joined a message a
// line, so that the tests meet text that people wrote rather than text made
// up for them. Catalogues in EUC-JP are kept apart.
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

// The catalogues with at least `shortest` bytes of text, each cut to at most
// `longest` bytes at a line's end, in name order.
inline std::vector<Document> Documents(bool eucJp, std::size_t shortest = 200,
                                       std::size_t longest = SIZE_MAX) {
  std::vector<Document> documents;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kCatalogueFolder, error)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string catalogue{std::istreambuf_iterator<char>(file), {}};
    if (DeclaresEucJp(catalogue) != eucJp) {
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

}  // namespace japaneseDocuments
