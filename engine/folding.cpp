#include "folding.h"

#include <bit>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

std::size_t FindAnyOf(std::u16string_view hay, std::size_t from, const UnitForms& forms) {
  std::size_t i = from;
#if defined(__SSE2__)
  // Eight units at a time; unused slots repeat the first form.
  const auto form = [&forms](std::size_t k) {
    return _mm_set1_epi16(static_cast<short>(forms.units[k < forms.count ? k : 0]));
  };
  const __m128i f0 = form(0), f1 = form(1), f2 = form(2), f3 = form(3);
  for (; i + 8 <= hay.size(); i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay.data() + i));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(block, f0), _mm_cmpeq_epi16(block, f1)),
                     _mm_or_si128(_mm_cmpeq_epi16(block, f2), _mm_cmpeq_epi16(block, f3)));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) {
      return i + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
    }
  }
#endif
  for (; i < hay.size(); ++i) {
    for (std::size_t k = 0; k < forms.count; ++k) {
      if (hay[i] == forms.units[k]) {
        return i;
      }
    }
  }
  return kNotFound;
}

Needle::Needle(std::u16string_view needle, Comparison mode)
    : units_(mode == Comparison::Text ? FoldAll(needle) : std::u16string(needle)),
      folding_(mode == Comparison::Text) {
  if (units_.empty()) {
    return;
  }
  firstForms_ = FormsOf(units_[0]);
}

bool Needle::MatchesAt(std::u16string_view hay, std::size_t at) const {
  for (std::size_t k = 1; k < units_.size(); ++k) {
    const char16_t unit = folding_ ? Fold(hay[at + k]) : hay[at + k];
    if (unit != units_[k]) {
      return false;
    }
  }
  return true;
}

namespace {

#if defined(__x86_64__)
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
}

struct FormVectors {
  __m256i form[4];
};

__attribute__((target("avx2"))) FormVectors SpreadForms(const UnitForms& forms) {
  FormVectors spread;
  for (std::size_t k = 0; k < 4; ++k) {
    spread.form[k] = _mm256_set1_epi16(static_cast<short>(forms.units[k < forms.count ? k : 0]));
  }
  return spread;
}

template <std::size_t count>
__attribute__((target("avx2"))) inline __m256i AnyOf(const __m256i block,
                                                     const FormVectors& forms) {
  __m256i hits = _mm256_cmpeq_epi16(block, forms.form[0]);
  for (std::size_t k = 1; k < count; ++k) {
    hits = _mm256_or_si256(hits, _mm256_cmpeq_epi16(block, forms.form[k]));
  }
  return hits;
}

// Candidates for a match's start, sixteen units at a time: the units among
// the forms of the needle's first unit, each checked in full by matchesAt.
template <std::size_t count, typename MatchesAt>
__attribute__((target("avx2"))) std::size_t CandidatesAvx2(std::u16string_view hay, std::size_t& i,
                                                           std::size_t last,
                                                           const FormVectors& first,
                                                           const MatchesAt& matchesAt) {
  for (; i + 16 <= last + 1; i += 16) {
    const auto* at = reinterpret_cast<const __m256i*>(hay.data() + i);
    auto mask =
        static_cast<unsigned>(_mm256_movemask_epi8(AnyOf<count>(_mm256_loadu_si256(at), first)));
    while (mask != 0) {
      const auto bit = static_cast<unsigned>(std::countr_zero(mask));
      if (matchesAt(i + bit / 2)) {
        return i + bit / 2;
      }
      mask &= ~(3u << bit);
    }
  }
  return kNotFound;
}

template <typename MatchesAt>
__attribute__((target("avx2"))) std::size_t CandidatesAvx2(std::u16string_view hay, std::size_t& i,
                                                           std::size_t last, const UnitForms& first,
                                                           const MatchesAt& matchesAt) {
  const FormVectors forms = SpreadForms(first);
  switch (first.count) {
    case 1:
      return CandidatesAvx2<1>(hay, i, last, forms, matchesAt);
    case 2:
      return CandidatesAvx2<2>(hay, i, last, forms, matchesAt);
    case 3:
      return CandidatesAvx2<3>(hay, i, last, forms, matchesAt);
    default:
      return CandidatesAvx2<4>(hay, i, last, forms, matchesAt);
  }
}
#endif

}  // namespace

UnitForms Needle::FormsOf(char16_t unit) const {
  if (folding_) {
    return FormsFolding(unit);
  }
  UnitForms forms;
  forms.units[forms.count++] = unit;
  return forms;
}

std::size_t Needle::FindIn(std::u16string_view hay, std::size_t from) const {
  if (hay.size() < units_.size()) {
    return kNotFound;
  }
  // A match can begin no later than this.
  const std::size_t last = hay.size() - units_.size();
  std::size_t i = from;
#if defined(__x86_64__)
  if (HasAvx2()) {
    const auto matches = [&](std::size_t at) { return MatchesAt(hay, at); };
    const std::size_t found = CandidatesAvx2(hay, i, last, firstForms_, matches);
    if (found != kNotFound) {
      return found;
    }
  }
#endif
  for (; i <= last; ++i) {
    i = FindAnyOf(hay.substr(0, last + 1), i, firstForms_);
    if (i == kNotFound) {
      return kNotFound;
    }
    if (MatchesAt(hay, i)) {
      return i;
    }
  }
  return kNotFound;
}

}  // namespace mdlFlexConv::detail
