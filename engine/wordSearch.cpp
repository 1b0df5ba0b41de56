#include "wordSearch.h"

#include <bit>

#include <algorithm>
#include <functional>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mdlFlexConv::detail {

Needle::Needle(std::u16string_view needle, Comparison mode)
    : units_(mode == Comparison::Text ? FoldAll(needle) : std::u16string(needle)),
      folding_(mode == Comparison::Text),
      avx2_(SearchesWithAvx2()) {
  if (units_.empty()) {
    return;
  }
  firstForms_ = FormsOf(units_[0]);
  if (units_.size() >= 2) {
    secondForms_ = FormsOf(units_[1]);
  }
}

bool Needle::MatchesAt(std::u16string_view hay, std::size_t at, std::size_t from,
                       std::size_t to) const {
  for (std::size_t k = from; k < to; ++k) {
    const char16_t unit = folding_ ? Fold(hay[at + k]) : hay[at + k];
    if (unit != units_[k]) {
      return false;
    }
  }
  return true;
}

UnitForms Needle::FormsOf(char16_t unit) const {
  if (folding_) {
    return FormsFolding(unit);
  }
  UnitForms forms;
  forms.units[forms.count++] = unit;
  return forms;
}

std::size_t Needle::BeginningAtEnd(std::u16string_view text) const {
  for (std::size_t length = std::min(units_.size() - 1, text.size()); length > 0; --length) {
    const std::size_t at = text.size() - length;
    const char16_t first = folding_ ? Fold(text[at]) : text[at];
    if (first == units_[0] && MatchesAt(text, at, 1, length)) {
      return length;
    }
  }
  return 0;
}

namespace {

// Candidates for a match's start are found a block of units at a time: units
// among the forms of the needle's first unit, followed (for needles of two
// units or more) by one among the forms of its second. Checking two units
// leaves few candidates that are not matches, where checking one leaves many
// in Japanese text, whose commonest kana begin several words.
// The first candidate of a block that is a whole match: its mask has two
// bits for each unit, set where the unit may begin one. Inlined into each
// scan, whose loop it is: called, it more than doubles the time per unit.
template <typename MatchesAt>
[[gnu::always_inline]] inline std::size_t FirstMatchIn(unsigned mask, std::size_t block,
                                                       const MatchesAt& matchesAt) {
  while (mask != 0) {
    const auto bit = static_cast<unsigned>(std::countr_zero(mask));
    if (matchesAt(block + bit / 2)) {
      return block + bit / 2;
    }
    mask &= ~(3u << bit);
  }
  return kNotFound;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline __m256i Spread(char16_t unit) {
  return _mm256_set1_epi16(static_cast<short>(unit));
}

// The forms of one unit, each spread over a vector.
struct FormVectors {
  __m256i form[4];
};

template <std::size_t Count>
__attribute__((target("avx2"))) inline __m256i AnyOf(__m256i block, const FormVectors& forms) {
  __m256i hits = _mm256_cmpeq_epi16(block, forms.form[0]);
  for (std::size_t k = 1; k < Count; ++k) {
    hits = _mm256_or_si256(hits, _mm256_cmpeq_epi16(block, forms.form[k]));
  }
  return hits;
}

template <std::size_t FirstCount, std::size_t SecondCount, typename MatchesAt>
__attribute__((target("avx2"))) std::size_t ScanAvx2(const char16_t* hay, std::size_t& i,
                                                     std::size_t last, const UnitForms& first,
                                                     const UnitForms& second,
                                                     const MatchesAt& matchesAt) {
  FormVectors firstForms;
  FormVectors secondForms;
  for (std::size_t k = 0; k < 4; ++k) {
    firstForms.form[k] = Spread(first.units[k < first.count ? k : 0]);
    secondForms.form[k] = Spread(second.units[k < second.count ? k : 0]);
  }
  for (; i + 16 <= last + 1; i += 16) {
    __m256i hits = AnyOf<FirstCount>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i)),
                                     firstForms);
    if constexpr (SecondCount > 0) {
      hits = _mm256_and_si256(
          hits,
          AnyOf<SecondCount>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + 1)),
                             secondForms));
    }
    const std::size_t found =
        FirstMatchIn(static_cast<unsigned>(_mm256_movemask_epi8(hits)), i, matchesAt);
    if (found != kNotFound) {
      return found;
    }
  }
  return kNotFound;
}

template <std::size_t FirstCount, typename MatchesAt>
std::size_t ScanAvx2WithSecond(const char16_t* hay, std::size_t& i, std::size_t last,
                               const UnitForms& first, const UnitForms* second,
                               const MatchesAt& matchesAt) {
  if (second == nullptr) {
    return ScanAvx2<FirstCount, 0>(hay, i, last, first, first, matchesAt);
  }
  switch (second->count) {
    case 1:
      return ScanAvx2<FirstCount, 1>(hay, i, last, first, *second, matchesAt);
    case 2:
      return ScanAvx2<FirstCount, 2>(hay, i, last, first, *second, matchesAt);
    case 3:
      return ScanAvx2<FirstCount, 3>(hay, i, last, first, *second, matchesAt);
    default:
      return ScanAvx2<FirstCount, 4>(hay, i, last, first, *second, matchesAt);
  }
}

template <typename MatchesAt>
std::size_t ScanAvx2Dispatch(const char16_t* hay, std::size_t& i, std::size_t last,
                             const UnitForms& first, const UnitForms* second,
                             const MatchesAt& matchesAt) {
  switch (first.count) {
    case 1:
      return ScanAvx2WithSecond<1>(hay, i, last, first, second, matchesAt);
    case 2:
      return ScanAvx2WithSecond<2>(hay, i, last, first, second, matchesAt);
    case 3:
      return ScanAvx2WithSecond<3>(hay, i, last, first, second, matchesAt);
    default:
      return ScanAvx2WithSecond<4>(hay, i, last, first, second, matchesAt);
  }
}
#endif

#if defined(__SSE2__)
// The same eight units at a time, for processors without AVX2.
std::size_t ScanSse2(const char16_t* hay, std::size_t& i, std::size_t last, const UnitForms& first,
                     const UnitForms* second, const std::function<bool(std::size_t)>& matchesAt) {
  const auto anyOf = [](__m128i block, const UnitForms& forms) {
    __m128i hits = _mm_setzero_si128();
    for (std::size_t k = 0; k < forms.count; ++k) {
      hits = _mm_or_si128(
          hits, _mm_cmpeq_epi16(block, _mm_set1_epi16(static_cast<short>(forms.units[k]))));
    }
    return hits;
  };
  for (; i + 8 <= last + 1; i += 8) {
    __m128i hits = anyOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i)), first);
    if (second != nullptr) {
      hits = _mm_and_si128(
          hits, anyOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + 1)), *second));
    }
    const std::size_t found =
        FirstMatchIn(static_cast<unsigned>(_mm_movemask_epi8(hits)), i, matchesAt);
    if (found != kNotFound) {
      return found;
    }
  }
  return kNotFound;
}
#endif

bool IsAmong(char16_t unit, const UnitForms& forms) {
  return std::find(forms.units.begin(), forms.units.begin() + forms.count, unit) !=
         forms.units.begin() + forms.count;
}

}  // namespace

std::size_t Needle::FindIn(std::u16string_view hay, std::size_t from) const {
  if (hay.size() < units_.size()) {
    return kNotFound;
  }
  // A match can begin no later than this.
  const std::size_t last = hay.size() - units_.size();
  const bool two = units_.size() >= 2;
  std::size_t i = from;
  const auto matches = [&](std::size_t at) { return MatchesAt(hay, at, 2, units_.size()); };
#if defined(__x86_64__)
  if (avx2_) {
    const std::size_t found =
        ScanAvx2Dispatch(hay.data(), i, last, firstForms_, two ? &secondForms_ : nullptr, matches);
    if (found != kNotFound) {
      return found;
    }
  }
#endif
#if defined(__SSE2__)
  if (const std::size_t found =
          ScanSse2(hay.data(), i, last, firstForms_, two ? &secondForms_ : nullptr, matches);
      found != kNotFound) {
    return found;
  }
#endif
  for (; i <= last; ++i) {
    if (IsAmong(hay[i], firstForms_) && (!two || IsAmong(hay[i + 1], secondForms_)) &&
        MatchesAt(hay, i, 2, units_.size())) {
      return i;
    }
  }
  return kNotFound;
}

}  // namespace mdlFlexConv::detail
