// Which words of a chain's rules can occur in a piece of text, found in one
// pass for all of them, so that the rules whose words cannot occur pass the
// piece on without searching it; and the search of a rule of several words,
// which looks for them together the same way. A word can occur only where its
// first two units stand side by side (or, for a word of one unit, where that
// unit stands), and it can only begin in the piece's last unit when that unit
// is its first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
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

// The classes of the units that may be a word's first, second or only unit,
// for the vector scans, which look up only the places they let through.
struct UnitClasses {
  NibbleClasses first;
  NibbleClasses second;
  NibbleClasses only;
  bool anyOnly = false;
};

// The first, second and only units of some words in every form they match:
// each such unit has a slot, and each slot the words (a bit each) whose first,
// second or only unit it is.
struct WordUnits {
  // By unit, its slot, 0 for units of no word: a page of 256 for each high
  // byte that has such units, where a table of every unit would not fit in
  // the cache nor be cheap to make for each converter.
  std::array<std::uint8_t, 256> pages{};  // by high byte; page 0 is all 0
  std::vector<std::uint8_t> slots = std::vector<std::uint8_t>(256, 0);
  std::vector<std::uint64_t> first{0};
  std::vector<std::uint64_t> second{0};
  std::vector<std::uint64_t> only{0};
  bool full = false;  // more units than slots, which are then not to be used

  std::uint8_t Slot(char16_t unit) const { return slots[pages[unit >> 8] * 256u + (unit & 0xFFu)]; }
  void Add(const Needle& word, std::uint64_t bit);
  // The words whose first, second or only unit, in any form, is among units.
  std::uint64_t Touching(std::u16string_view units) const;
  UnitClasses Classes() const;

 private:
  std::uint8_t SlotOf(char16_t unit);

  std::u16string firstUnits_;
  std::u16string secondUnits_;
  std::u16string onlyUnits_;
};

// Words searched for together, a block of units at a time, where no two of
// them can overlap: at most one begins a whole occurrence at any place.
class WordSet {
 public:
  // So many that the forms of their first and second units, four each at the
  // most, fit byte-sized slots.
  static constexpr std::size_t kMostWords = 31;

  WordSet(const std::vector<std::u16string_view>& words, Comparison mode);

  struct Match {
    std::size_t at;  // kNotFound when there is none
    std::size_t length;
    std::size_t word;  // its index among the words
  };
  // The first whole occurrence at or after `from` of any word among `words`
  // (bit k for word k), which must hold every word that occurs there.
  Match FindIn(std::u16string_view hay, std::size_t from,
               std::uint64_t words = ~std::uint64_t{0}) const;

  // The most units at the end of text that begin a word and are fewer than it.
  std::size_t BeginningAtEnd(std::u16string_view text) const;
  std::size_t Longest() const { return longest_; }
  bool empty() const { return longest_ == 0; }
  std::span<const Needle> Words() const { return words_; }

  // Searches of one text from left to right for some of the words. A few
  // are each searched for alone, exactly, their next places kept: where few
  // words occur, as in real documents, that costs less than one search for
  // all of them, whose classes let more places through.
  class Search {
   public:
    Search(const WordSet& set, std::u16string_view hay, std::uint64_t words);
    // The first whole occurrence at or after `from`, which never goes back.
    Match Next(std::size_t from);

   private:
    static constexpr int kMostAlone = 3;

    const WordSet& set_;
    std::u16string_view hay_;
    std::uint64_t words_;
    bool alone_;
    Match last_{kUnsearched, 0, 0};               // what the last search found
    std::array<std::size_t, kMostWords> places_;  // kUnsearched where not yet known
  };

 private:
  // Of `words`, those that are bits of words the set has.
  std::uint64_t Among(std::uint64_t words) const {
    return words_.empty() ? 0 : words & ~std::uint64_t{0} >> (64 - words_.size());
  }
  Match MatchAt(std::u16string_view hay, std::size_t at, std::uint64_t words) const;
  Match FindEach(std::u16string_view hay, std::size_t from, std::uint64_t words) const;
  Match Nearest(std::u16string_view hay, std::size_t from, std::uint64_t words,
                std::size_t* places) const;
  Match ScanAvx2(std::u16string_view hay, std::size_t& from, std::uint64_t words) const;

  std::vector<Needle> words_;
  std::size_t longest_ = 0;
  std::optional<WordUnits> units_;  // of more than one word
  bool avx2_ = false;
  UnitClasses classes_;  // for the AVX2 scan
};

// Whether replacing each word in turn by its replacement, as ReplaceAll does,
// gives the same text as replacing them all in one pass: so when no two words
// can overlap, and no replacement, among any text, can be or make or break a
// word that a later turn looks for.
bool ReplacedTogetherAlike(const std::vector<std::u16string_view>& words,
                           const std::vector<std::u16string_view>& replacements, Comparison mode);

class WordPresence {
 public:
  static constexpr std::size_t kMostWords = 64;

  // The words of each rule in chain order; none for a rule that is never
  // passed over. Usable() is false when there are too many words.
  struct Rule {
    std::span<const Needle> words;
    std::span<const std::u16string> replacements;  // by word
  };
  explicit WordPresence(const std::vector<Rule>& rules);

  bool Usable() const { return usable_; }

  // A bit for each word of the rules, in order: set when the word may occur
  // in piece, or may begin in its last unit, or is empty.
  std::uint64_t Scan(std::u16string_view piece) const;

  // The words that may occur after rule i rewrote a piece where its words
  // `rewritten` (bit k for its word k) were replaced, or were held back from
  // the piece before: their replacements and units may make them.
  std::uint64_t AfterRewrite(std::size_t i, std::uint64_t rewritten) const;

  // Rule i's words among `words`, bit k for its word k.
  std::uint64_t WordsOf(std::size_t i, std::uint64_t words) const {
    const RuleWords& rule = ruleWords_[i];
    return rule.count == 0 ? 0 : words >> rule.first & (~std::uint64_t{0} >> (64 - rule.count));
  }

 private:
  struct RuleWords {
    std::size_t first = 0;
    std::size_t count = 0;
  };

  std::uint64_t ScanUnits(std::u16string_view units) const;
  std::uint64_t ScanAvx2(std::u16string_view piece) const;

  bool usable_ = true;
  std::uint64_t always_ = 0;
  WordUnits units_;
  std::vector<std::uint64_t> afterRewrite_;  // by word
  std::vector<RuleWords> ruleWords_;
  bool avx2_;
  UnitClasses classes_;  // for the AVX2 scan
};

}  // namespace mdlFlexConv::detail
