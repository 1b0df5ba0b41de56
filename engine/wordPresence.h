// Which rules of a chain can match in a piece of text, found in one pass for
// all of them, so that the rules whose words cannot occur pass the piece on
// without searching it. A word can occur only where its first two units stand
// side by side (or, for a word of one unit, where that unit stands), and it
// can only begin in the piece's last unit when that unit is its first.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wordSearch.h"

namespace mdlFlexConv::detail {

// A set of units told by the four nibbles of a unit: a unit may be in it where
// the classes of its nibbles share a bit. Each bit stands for units whose
// nibbles lie in four sets, so that eight bits can hold more units than the
// set has but never fewer.
struct NibbleClasses {
  std::array<std::array<std::uint8_t, 16>, 4> classes{};  // from the highest nibble

  explicit NibbleClasses(std::u16string_view units = {});
  bool MayHold(char16_t unit) const;
};

class WordPresence {
 public:
  static constexpr std::size_t kMostWords = 64;

  // The word of each rule in chain order; null for a rule that is never
  // passed over. Usable() is false when there are too many.
  struct Rule {
    const Needle* word = nullptr;
    std::u16string_view replacement;
  };
  explicit WordPresence(const std::vector<Rule>& rules);

  bool Usable() const { return usable_; }

  // Bit i is set when rule i may match in piece, or may have to hold back its
  // last unit, or is never passed over.
  std::uint64_t Scan(std::u16string_view piece) const;

  // The rules that may match after rule i rewrote a piece: its replacement and
  // the units it held back from the piece before may make their words.
  std::uint64_t AfterRewrite(std::size_t i) const { return afterRewrite_[i]; }

 private:
  std::uint8_t SlotOf(char16_t unit);
  std::uint64_t RulesTouching(std::u16string_view units) const;
  std::uint64_t ScanUnits(std::u16string_view units) const;
  std::uint64_t ScanAvx2(std::u16string_view piece) const;

  bool usable_ = true;
  std::uint64_t always_ = 0;
  std::vector<std::uint8_t> slots_;  // unit -> slot; 0 for units of no word's start
  // Per slot: the words whose first unit, second unit, or only unit it is.
  std::vector<std::uint64_t> first_;
  std::vector<std::uint64_t> second_;
  std::vector<std::uint64_t> only_;
  std::vector<std::uint64_t> afterRewrite_;
  // The units that are the first, second or only unit of a word (in any
  // form), for the AVX2 scan, which looks up only units side by side that may
  // begin a word, and units that may be one.
  bool avx2_;
  bool anyOnly_ = false;
  NibbleClasses firstUnits_;
  NibbleClasses secondUnits_;
  NibbleClasses onlyUnits_;
};

}  // namespace mdlFlexConv::detail
