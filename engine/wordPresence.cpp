#include "wordPresence.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
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
    : slots_(0x10000, 0), first_(1, 0), second_(1, 0), only_(1, 0), avx2_(SearchesWithAvx2()) {
  if (rules.size() > kMostWords) {
    usable_ = false;
    return;
  }
  // The units that may be a word's first, second or only one, for the
  // AVX2 scan's classes.
  std::u16string firstUnits;
  std::u16string secondUnits;
  std::u16string onlyUnits;
  for (std::size_t i = 0; i < rules.size() && usable_; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    const Needle* word = rules[i].word;
    if (word == nullptr || word->empty()) {
      always_ |= bit;
      continue;
    }
    const UnitForms& firstForms = word->FirstForms();
    for (std::size_t k = 0; k < firstForms.count; ++k) {
      const bool only = word->size() == 1;
      (only ? only_ : first_)[SlotOf(firstForms.units[k])] |= bit;
      (only ? onlyUnits : firstUnits).push_back(firstForms.units[k]);
    }
    const UnitForms& secondForms = word->SecondForms();
    for (std::size_t k = 0; word->size() >= 2 && k < secondForms.count; ++k) {
      second_[SlotOf(secondForms.units[k])] |= bit;
      secondUnits.push_back(secondForms.units[k]);
    }
  }
  for (const Rule& rule : rules) {
    const std::u16string held = rule.word != nullptr ? rule.word->units() : std::u16string();
    afterRewrite_.push_back(always_ | RulesTouching(held) | RulesTouching(rule.replacement));
  }
  if (avx2_) {
    firstUnits_ = NibbleClasses(firstUnits);
    secondUnits_ = NibbleClasses(secondUnits);
    onlyUnits_ = NibbleClasses(onlyUnits);
    anyOnly_ = !onlyUnits.empty();
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

namespace {

// The nibble values a box of units takes, a set of sixteen for each nibble;
// it holds every unit whose nibbles are all in their sets.
using Box = std::array<std::uint16_t, 4>;

Box Union(const Box& a, const Box& b) {
  Box both{};
  for (std::size_t k = 0; k < 4; ++k) {
    both[k] = static_cast<std::uint16_t>(a[k] | b[k]);
  }
  return both;
}

std::size_t Volume(const Box& box) {
  std::size_t volume = 1;
  for (const std::uint16_t values : box) {
    volume *= static_cast<std::size_t>(std::popcount(values));
  }
  return volume;
}

}  // namespace

NibbleClasses::NibbleClasses(std::u16string_view units) {
  // A unit joins a box that holds it but for one nibble, which that box then
  // takes in: kana and their other forms differ in one nibble or two.
  std::vector<Box> boxes;
  for (const char16_t unit : units) {
    Box box{};
    for (std::size_t k = 0; k < 4; ++k) {
      box[k] = static_cast<std::uint16_t>(1u << (unit >> (12 - 4 * k) & 0xF));
    }
    const auto near = std::find_if(boxes.begin(), boxes.end(), [&](const Box& other) {
      std::size_t outside = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        outside += (box[k] & ~other[k]) != 0 ? 1 : 0;
      }
      return outside <= 1 && Volume(Union(other, box)) <= 2 * Volume(other);
    });
    if (near != boxes.end()) {
      *near = Union(*near, box);
    } else {
      boxes.push_back(box);
    }
  }
  // Eight boxes at the most: the two are merged whose union is smallest.
  while (boxes.size() > 8) {
    std::size_t bestA = 0;
    std::size_t bestB = 1;
    std::size_t leastGrown = SIZE_MAX;
    for (std::size_t a = 0; a < boxes.size(); ++a) {
      for (std::size_t b = a + 1; b < boxes.size(); ++b) {
        const std::size_t grown = Volume(Union(boxes[a], boxes[b]));
        if (grown < leastGrown) {
          leastGrown = grown;
          bestA = a;
          bestB = b;
        }
      }
    }
    boxes[bestA] = Union(boxes[bestA], boxes[bestB]);
    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(bestB));
  }
  for (std::size_t bit = 0; bit < boxes.size(); ++bit) {
    for (std::size_t k = 0; k < 4; ++k) {
      for (std::size_t nibble = 0; nibble < 16; ++nibble) {
        if ((boxes[bit][k] >> nibble & 1) != 0) {
          classes[k][nibble] |= static_cast<std::uint8_t>(1u << bit);
        }
      }
    }
  }
}

bool NibbleClasses::MayHold(char16_t unit) const {
  unsigned shared = 0xFF;
  for (std::size_t k = 0; k < 4; ++k) {
    shared &= classes[k][unit >> (12 - 4 * k) & 0xF];
  }
  return shared != 0;
}

std::uint64_t WordPresence::Scan(std::u16string_view piece) const {
  return always_ | (avx2_ ? ScanAvx2(piece) : ScanUnits(piece));
}

// The rules whose words may occur in units, or begin in their last unit.
std::uint64_t WordPresence::ScanUnits(std::u16string_view units) const {
  const std::uint8_t* const slots = slots_.data();
  const std::uint64_t* const first = first_.data();
  const std::uint64_t* const second = second_.data();
  const std::uint64_t* const only = only_.data();
  std::uint64_t present = 0;
  std::uint64_t afterFirst = 0;  // words whose first unit the last unit was
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit < 0x80) {
      // No word holds ASCII: runs of it, common in real documents, are
      // passed over eight units at a time.
      afterFirst = 0;
      i += AsciiRun(units, i + 1);
      continue;
    }
    const std::uint8_t slot = slots[unit];
    present |= (afterFirst & second[slot]) | only[slot];
    afterFirst = first[slot];
  }
  return present | afterFirst;
}

#if defined(__x86_64__)
namespace {

// The classes of each nibble, a table in each half of a vector.
struct ClassVectors {
  __m256i nibble[4];
};

__attribute__((target("avx2"))) ClassVectors VectorsOf(const NibbleClasses& set) {
  ClassVectors vectors{};
  for (std::size_t k = 0; k < 4; ++k) {
    vectors.nibble[k] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(set.classes[k].data())));
  }
  return vectors;
}

// Two bits for each of sixteen units that the classes may hold.
__attribute__((target("avx2"))) inline unsigned MayHold(__m256i units, const ClassVectors& set) {
  const __m256i nibble = _mm256_set1_epi16(0x0F);
  const __m256i shared = _mm256_and_si256(
      _mm256_and_si256(_mm256_shuffle_epi8(set.nibble[0], _mm256_srli_epi16(units, 12)),
                       _mm256_shuffle_epi8(set.nibble[1],
                                           _mm256_and_si256(_mm256_srli_epi16(units, 8), nibble))),
      _mm256_and_si256(
          _mm256_shuffle_epi8(set.nibble[2], _mm256_and_si256(_mm256_srli_epi16(units, 4), nibble)),
          _mm256_shuffle_epi8(set.nibble[3], _mm256_and_si256(units, nibble))));
  // The high byte of each unit took the classes of nibble 0; only the low
  // byte's are its own.
  return ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(
      _mm256_and_si256(shared, _mm256_set1_epi16(0xFF)), _mm256_setzero_si256())));
}

}  // namespace

// Sixteen units at a time: only a unit that may begin a word followed by one
// that may be its second, or a unit that may be a word, is looked up. In
// Japanese text few are, where the scan a unit at a time looked up every kana
// and kanji.
__attribute__((target("avx2"))) std::uint64_t WordPresence::ScanAvx2(
    std::u16string_view piece) const {
  const std::uint8_t* const slots = slots_.data();
  const ClassVectors firstUnits = VectorsOf(firstUnits_);
  const ClassVectors secondUnits = VectorsOf(secondUnits_);
  const ClassVectors onlyUnits = VectorsOf(onlyUnits_);
  std::uint64_t present = 0;
  const auto lookUpPairs = [&](std::size_t block, unsigned pairs) {
    for (; pairs != 0; pairs &= pairs - 1, pairs &= pairs - 1) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(pairs)) / 2;
      present |= first_[slots[piece[at]]] & second_[slots[piece[at + 1]]];
    }
  };
  // A block's pairs are looked up once the next block tells whether its last
  // unit is followed by a second unit.
  unsigned firsts = 0;
  unsigned seconds = 0;
  std::size_t i = 0;
  for (; i + 16 <= piece.size(); i += 16) {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(piece.data() + i));
    const unsigned nextSeconds = MayHold(units, secondUnits);
    if (i > 0) {
      lookUpPairs(i - 16, firsts & (seconds >> 2 | nextSeconds << 30));
    }
    firsts = MayHold(units, firstUnits);
    seconds = nextSeconds;
    if (anyOnly_) {
      for (unsigned alone = MayHold(units, onlyUnits); alone != 0;
           alone &= alone - 1, alone &= alone - 1) {
        present |= only_[slots[piece[i + static_cast<std::size_t>(std::countr_zero(alone)) / 2]]];
      }
    }
  }
  // GCC leaves the upper halves of the vectors set here, which makes every
  // SSE instruction after it, the codec's, several times slower.
  _mm256_zeroupper();
  if (i == 0) {
    return ScanUnits(piece);
  }
  // The last block's pairs but for its last unit, which the rest of the
  // piece is scanned from.
  lookUpPairs(i - 16, firsts & seconds >> 2 & 0x3FFFFFFFu);
  return present | ScanUnits(piece.substr(i - 1));
}
#else
std::uint64_t WordPresence::ScanAvx2(std::u16string_view piece) const {
  return ScanUnits(piece);
}
#endif

}  // namespace mdlFlexConv::detail
