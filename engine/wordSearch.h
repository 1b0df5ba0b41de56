// The word search that every rule of the engine runs on: a needle found under
// either comparison mode, a block of units at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mdlFlexConv.h"
#include "textFolding.h"

namespace mdlFlexConv::detail {

inline constexpr std::size_t kNotFound = std::u16string_view::npos;
// Where a search is still to be made, as against kNotFound.
inline constexpr std::size_t kUnsearched = kNotFound - 1;

// Whether the processor runs the AVX2 search; asked once. It is defined in a
// file of its own, avx2Search.cpp, so that the tests and benchmarks of the
// plain search can link an answer of their own in its place.
bool SearchesWithAvx2();

// A needle ready for repeated searching under one comparison mode.
class Needle {
 public:
  Needle(std::u16string_view needle, Comparison mode);

  std::size_t size() const { return units_.size(); }
  bool empty() const { return units_.empty(); }
  const std::u16string& units() const { return units_; }  // folded when folding
  bool folding() const { return folding_; }

  // 0-based position of the first whole occurrence at or after `from`, or
  // kNotFound. The needle is not empty.
  std::size_t FindIn(std::u16string_view hay, std::size_t from) const;

  // The units that its first and second units match (none for the second of
  // a one-unit needle).
  const UnitForms& FirstForms() const { return firstForms_; }
  const UnitForms& SecondForms() const { return secondForms_; }

  // The most units at the end of text, fewer than the needle's, that are its
  // beginning: where an occurrence that text cuts off may start.
  std::size_t BeginningAtEnd(std::u16string_view text) const;

  // Whether a whole occurrence begins at `at`.
  bool OccursAt(std::u16string_view hay, std::size_t at) const {
    return at < hay.size() && hay.size() - at >= units_.size() && MatchesAt(hay, at, 0, size());
  }

 private:
  // Whether the needle's units from `from` up to `to` are at hay[at + from...].
  bool MatchesAt(std::u16string_view hay, std::size_t at, std::size_t from, std::size_t to) const;
  UnitForms FormsOf(char16_t unit) const;

  std::u16string units_;
  bool folding_;
  bool avx2_;
  UnitForms firstForms_;
  UnitForms secondForms_;
};

}  // namespace mdlFlexConv::detail
