#include "textFolding.h"

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

}  // namespace

UnitForms FormsFolding(char16_t folded) {
  UnitForms forms;
  forms.units[forms.count++] = folded;
  for (const UnitRange& range : kFoldingRanges) {
    for (char32_t unit = range.first; unit <= range.last; ++unit) {
      const auto u = static_cast<char16_t>(unit);
      if (u != folded && Fold(u) == folded && forms.count < forms.units.size()) {
        forms.units[forms.count++] = u;
      }
    }
  }
  return forms;
}

}  // namespace mdlFlexConv::detail
