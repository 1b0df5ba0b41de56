#include <algorithm>

#include "mdlFlexConv.h"
#include "rewriteStages.h"
#include "wordSearch.h"

namespace mdlFlexConv {

char16_t FoldForTextComparison(char16_t unit) {
  return detail::Fold(unit);
}

std::size_t Find(std::u16string_view haystack, std::u16string_view needle, std::size_t start,
                 Comparison mode) {
  const std::size_t from = std::max<std::size_t>(start, 1) - 1;
  if (from >= haystack.size()) {
    return 0;
  }
  if (needle.empty()) {
    return from + 1;
  }
  const std::size_t found = detail::Needle(needle, mode).FindIn(haystack, from);
  return found == detail::kNotFound ? 0 : found + 1;
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement, Comparison mode) {
  detail::ReplaceAllStage stage(find, replacement, mode);
  return detail::RunWhole(stage, text);
}

std::u16string Left(std::u16string_view text, std::ptrdiff_t n) {
  if (n <= 0) {
    return {};
  }
  return std::u16string(text.substr(0, static_cast<std::size_t>(n)));
}

std::u16string Mid(std::u16string_view text, std::ptrdiff_t p, std::optional<std::ptrdiff_t> n) {
  const std::size_t from = static_cast<std::size_t>(std::max<std::ptrdiff_t>(p, 1) - 1);
  if (from >= text.size()) {
    return {};
  }
  const std::size_t count =
      n ? static_cast<std::size_t>(std::max<std::ptrdiff_t>(*n, 0)) : std::u16string_view::npos;
  return std::u16string(text.substr(from, count));
}

bool ContainsAnyOf(std::u16string_view window, std::u16string_view set, Comparison mode) {
  const auto unit = [mode](char16_t u) { return mode == Comparison::Text ? detail::Fold(u) : u; };
  return std::any_of(window.begin(), window.end(), [&](char16_t w) {
    return std::any_of(set.begin(), set.end(), [&](char16_t s) { return unit(w) == unit(s); });
  });
}

std::u16string ReplaceBeforePunctuation(std::u16string_view text, std::u16string_view find,
                                        std::u16string_view replacement, std::u16string_view set) {
  detail::PunctuationGuardStage stage(find, replacement, set);
  return detail::RunWhole(stage, text);
}

}  // namespace mdlFlexConv
