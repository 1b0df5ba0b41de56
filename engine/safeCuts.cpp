#include "safeCuts.h"

#include <algorithm>

namespace mdlFlexConv::detail {

// Why a cut before position p is safe. Let one of t[p-1] and t[p] be a unit
// of no stage's word (under folding), and let no unit that begins the
// guarded rule's word stand in t[p-r..p], where r is how far past the start
// of a match the rule looks (4 for です: the window ends at the match's start
// + 4). Call that unit the pin. In every stage's input the pin stands where
// it stood, beside the cut, and the stage's output is its output for the
// text before the cut followed by its output for the text after it. By
// induction over the stages:
// - The guarded rule comes first and sees the text itself. A match before
//   the cut starts below p - r, so it reads nothing after the cut, and it
//   drops nothing from t[p-1] on (the farthest mark it keeps is at most at
//   p - 1); there is no match at p, so the rule that a text's first unit is
//   never rewritten changes nothing for the text after the cut; and every
//   decision about a match rests on units of its own side.
// - A replacement stage: no occurrence of a word can include the pin, so
//   none reaches across the cut, and the leftmost non-overlapping search
//   finds on each side just what it finds in that side alone. Replacements
//   take their occurrences' places, none of them the pin's.
// A cut never falls inside a CR LF or a surrogate pair either, so that the
// parts can also be written out apart.

namespace {

// The engine's own: it depends on nothing below it, not even the codec.
bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

// Cuts are possible where the rule above holds: text comparison throughout,
// and at most one guarded rule, first in the chain and never feeding on its
// own rewrites.
void SafeCuts::LearnGuarded(const Needle& word, std::size_t lookahead, bool mayFeedOnItself) {
  if (learnedAny_ || mayFeedOnItself || word.empty()) {
    possible_ = false;
  } else {
    guarded_ = true;
    guardFirst_ = word.units().front();
    guardReach_ = lookahead - 1;
  }
  AddUnits(word);
}

void SafeCuts::Learn(const Needle& word) {
  AddUnits(word);
}

void SafeCuts::AddUnits(const Needle& word) {
  learnedAny_ = true;
  possible_ = possible_ && word.folding();
  wordUnits_ += word.units();
  std::sort(wordUnits_.begin(), wordUnits_.end());
  wordUnits_.erase(std::unique(wordUnits_.begin(), wordUnits_.end()), wordUnits_.end());
}

bool SafeCuts::IsWordUnit(char16_t unit) const {
  return std::binary_search(wordUnits_.begin(), wordUnits_.end(), Fold(unit));
}

bool SafeCuts::CutBefore(std::u16string_view text, std::size_t p) const {
  const char16_t before = text[p - 1];
  const char16_t after = text[p];
  if ((IsWordUnit(before) && IsWordUnit(after)) || IsHighSurrogate(before) ||
      (before == u'\r' && after == u'\n')) {
    return false;
  }
  const std::size_t from = p > guardReach_ ? p - guardReach_ : 0;
  return !guarded_ || std::none_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                                   text.begin() + static_cast<std::ptrdiff_t>(p + 1),
                                   [this](char16_t unit) { return Fold(unit) == guardFirst_; });
}

std::size_t SafeCuts::Next(std::u16string_view text, std::size_t from) const {
  if (!possible_) {
    return std::u16string_view::npos;
  }
  for (std::size_t p = std::max<std::size_t>(from, 1); p < text.size(); ++p) {
    if (CutBefore(text, p)) {
      return p;
    }
  }
  return std::u16string_view::npos;
}

}  // namespace mdlFlexConv::detail
