#include "textFolding.h"

#include <algorithm>

namespace mdlFlexConv::detail {

namespace {

struct UnitRange {
  char16_t first;
  char16_t last;
};

// Every unit that folds to something other than itself lies in these ranges.
constexpr std::array<UnitRange, 4> kFoldingRanges = {{
    {u'A', u'Z'},
    {0xFF01, 0xFF5E},
    {0xFF61, 0xFF9F},
    {0x30A1, 0x30F6},
}};

constexpr std::size_t kRangeUnits =
    26 + (0xFF5E - 0xFF01 + 1) + (0xFF9F - 0xFF61 + 1) + (0x30F6 - 0x30A1 + 1);

// A unit of the ranges beside what it folds to, in the ranges' order.
struct Folding {
  char16_t folded = 0;
  std::size_t order = 0;
  char16_t unit = 0;
};

// Sorted by what the units fold to, so that the units folding to one unit
// are found by a binary search rather than a pass over the ranges: a
// converter asks for the forms of every unit of its words.
constexpr std::array<Folding, kRangeUnits> MakeFoldings() {
  std::array<Folding, kRangeUnits> foldings{};
  std::size_t count = 0;
  for (const UnitRange& range : kFoldingRanges) {
    for (char32_t unit = range.first; unit <= range.last; ++unit) {
      const auto u = static_cast<char16_t>(unit);
      foldings[count] = {FoldUnit(u), count, u};
      ++count;
    }
  }
  std::sort(foldings.begin(), foldings.end(), [](const Folding& a, const Folding& b) {
    return a.folded != b.folded ? a.folded < b.folded : a.order < b.order;
  });
  return foldings;
}

constexpr std::array<Folding, kRangeUnits> kFoldings = MakeFoldings();

}  // namespace

UnitForms FormsFolding(char16_t folded) {
  UnitForms forms;
  forms.units[forms.count++] = folded;
  const auto first =
      std::lower_bound(kFoldings.begin(), kFoldings.end(), folded,
                       [](const Folding& folding, char16_t unit) { return folding.folded < unit; });
  for (auto it = first; it != kFoldings.end() && it->folded == folded; ++it) {
    if (it->unit != folded && forms.count < forms.units.size()) {
      forms.units[forms.count++] = it->unit;
    }
  }
  return forms;
}

}  // namespace mdlFlexConv::detail
