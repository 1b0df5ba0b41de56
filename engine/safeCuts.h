// Where a text may be cut so that its parts, converted apart, give the whole
// text's result: the places at which the conversion can be split across
// threads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rewriteStages.h"

namespace mdlFlexConv::detail {

class SafeCuts {
 public:
  explicit SafeCuts(const StageChain& chain);

  // The first position p at or after `from`, 0 < p < text.size(), before
  // which the text may be cut, or npos (always npos where the chain's rules
  // allow no cut).
  std::size_t Next(std::u16string_view text, std::size_t from) const;

 private:
  bool Learn(const StageChain& chain);
  bool CutBefore(std::u16string_view text, std::size_t p) const;

  bool IsWordUnit(char16_t unit) const;

  bool possible_ = false;
  std::u16string wordUnits_;  // folded, sorted: the units of every stage's words
  char16_t guardFirst_ = 0;   // folded: the unit that begins the guarded rule's word
  bool guarded_ = false;
  std::size_t guardReach_ = 0;  // how far before a cut that word must not begin
};

}  // namespace mdlFlexConv::detail
