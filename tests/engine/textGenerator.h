// Deterministic generation of texts and arguments for the engine's
// comparison tests: word forms in every kana type and width, cut words,
// punctuation in all widths, line breaks and surrogates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace textGenerator {

std::u16string ToKatakana(std::u16string_view text);
// Half-width katakana where one exists; voiced kana become two units.
std::u16string ToHalfWidth(std::u16string_view text);

class Generator {
 public:
  explicit Generator(std::uint32_t seed);

  std::size_t Below(std::size_t n);
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <typename Container>
  const auto& Pick(const Container& items) {
    return items[Below(items.size())];
  }

  // A text of up to maxFragments pieces.
  std::u16string Text(std::size_t maxFragments);
  // Up to maxLength units drawn from alphabet.
  std::u16string FromAlphabet(std::u16string_view alphabet, std::size_t maxLength);
  // Sorted cut points in [0, length], possibly repeated (empty pieces).
  std::vector<std::size_t> CutPoints(std::size_t length);

 private:
  std::u16string CutWord();

  std::mt19937 rng_;
  std::vector<std::u16string> words_;
};

}  // namespace textGenerator
