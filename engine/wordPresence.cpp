#include "wordPresence.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mdlFlexConv::detail {

namespace {

constexpr std::size_t kMostSlots = 256;

// How many units from `from` on are ASCII, counted in blocks of eight.
std::size_t AsciiRun(std::u16string_view text, std::size_t from) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  for (; i + 8 <= text.size(); i += 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(block, high), _mm_setzero_si128())) !=
        0xFFFF) {
      break;
    }
  }
#endif
  return i - from;
}

}  // namespace

WordPresence::WordPresence(const std::vector<Rule>& rules)
    : slots_(0x10000, 0), first_(1, 0), second_(1, 0), only_(1, 0) {
  if (rules.size() > kMostWords) {
    usable_ = false;
    return;
  }
  for (std::size_t i = 0; i < rules.size() && usable_; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    const Needle* word = rules[i].word;
    if (word == nullptr || word->empty()) {
      always_ |= bit;
      continue;
    }
    const UnitForms& firstForms = word->FirstForms();
    for (std::size_t k = 0; k < firstForms.count; ++k) {
      const std::uint8_t slot = SlotOf(firstForms.units[k]);
      (word->size() == 1 ? only_ : first_)[slot] |= bit;
    }
    const UnitForms& secondForms = word->SecondForms();
    for (std::size_t k = 0; word->size() >= 2 && k < secondForms.count; ++k) {
      second_[SlotOf(secondForms.units[k])] |= bit;
    }
  }
  for (const Rule& rule : rules) {
    const std::u16string held = rule.word != nullptr ? rule.word->units() : std::u16string();
    afterRewrite_.push_back(always_ | RulesTouching(held) | RulesTouching(rule.replacement));
  }
}

// The rules whose word's first, second or only unit is among units (folded
// or not: a slot holds every form).
std::uint64_t WordPresence::RulesTouching(std::u16string_view units) const {
  std::uint64_t touching = 0;
  for (const char16_t unit : units) {
    for (const char16_t form : FormsFolding(Fold(unit)).units) {
      const std::uint8_t slot = slots_[form];
      touching |= first_[slot] | second_[slot] | only_[slot];
    }
  }
  return touching;
}

std::uint8_t WordPresence::SlotOf(char16_t unit) {
  if (slots_[unit] != 0) {
    return slots_[unit];
  }
  if (first_.size() == kMostSlots) {
    usable_ = false;
    return 0;
  }
  slots_[unit] = static_cast<std::uint8_t>(first_.size());
  first_.push_back(0);
  second_.push_back(0);
  only_.push_back(0);
  return slots_[unit];
}

std::uint64_t WordPresence::Scan(std::u16string_view piece) const {
  const std::uint8_t* const slots = slots_.data();
  const std::uint64_t* const first = first_.data();
  const std::uint64_t* const second = second_.data();
  const std::uint64_t* const only = only_.data();
  std::uint64_t present = always_;
  std::uint64_t afterFirst = 0;  // words whose first unit the last unit was
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char16_t unit = piece[i];
    if (unit < 0x80) {
      // No word holds ASCII: runs of it, common in real documents, are
      // passed over eight units at a time.
      afterFirst = 0;
      i += AsciiRun(piece, i + 1);
      continue;
    }
    const std::uint8_t slot = slots[unit];
    present |= (afterFirst & second[slot]) | only[slot];
    afterFirst = first[slot];
  }
  return present | afterFirst;
}

}  // namespace mdlFlexConv::detail
