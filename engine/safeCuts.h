// Where a text may be cut so that its parts, converted apart, give the whole
// text's result: the places at which the conversion can be split across
// threads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "wordSearch.h"

namespace mdlFlexConv::detail {

// Learns the words of a chain from the code that builds it, stage by stage in
// the chain's order, and finds the cuts.
class SafeCuts {
 public:
  // The guarded rule's word, how many units from a match's start its
  // decisions look at, and whether a rewrite of it can lead to another.
  void LearnGuarded(const Needle& word, std::size_t lookahead, bool mayFeedOnItself);
  // The word of a replacement.
  void Learn(const Needle& word);

  // The first position p at or after `from`, 0 < p < text.size(), before
  // which the text may be cut, or npos (always npos where the chain's rules
  // allow no cut).
  std::size_t Next(std::u16string_view text, std::size_t from) const;

 private:
  void AddUnits(const Needle& word);
  bool CutBefore(std::u16string_view text, std::size_t p) const;
  bool IsWordUnit(char16_t unit) const;

  bool possible_ = true;
  bool learnedAny_ = false;
  std::u16string wordUnits_;  // folded, sorted: the units of every stage's words
  char16_t guardFirst_ = 0;   // folded: the unit that begins the guarded rule's word
  bool guarded_ = false;
  std::size_t guardReach_ = 0;  // how far before a cut that word must not begin
};

}  // namespace mdlFlexConv::detail
