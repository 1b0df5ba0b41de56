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

WordPresence::WordPresence(const std::vector<Rule>& rules) : avx2_(SearchesWithAvx2()) {
  std::size_t words = 0;
  for (const Rule& rule : rules) {
    ruleWords_.push_back({words, rule.words.size()});
    words += rule.words.size();
  }
  if (words > kMostWords) {
    usable_ = false;
    return;
  }
  std::size_t index = 0;
  for (const Rule& rule : rules) {
    for (const Needle& word : rule.words) {
      const std::uint64_t bit = std::uint64_t{1} << index++;
      if (word.empty()) {
        always_ |= bit;
      } else {
        units_.Add(word, bit);
      }
    }
  }
  if (units_.full) {
    usable_ = false;
    return;
  }
  for (const Rule& rule : rules) {
    for (std::size_t k = 0; k < rule.words.size(); ++k) {
      const std::u16string_view replacement =
          k < rule.replacements.size() ? std::u16string_view(rule.replacements[k]) : u"";
      afterRewrite_.push_back(always_ | units_.Touching(rule.words[k].units()) |
                              units_.Touching(replacement));
    }
  }
  if (avx2_) {
    classes_ = units_.Classes();
  }
}

std::uint64_t WordPresence::AfterRewrite(std::size_t i, std::uint64_t rewritten) const {
  const RuleWords& rule = ruleWords_[i];
  // A rule without words may put in any.
  if (rule.count == 0) {
    return ~std::uint64_t{0};
  }
  std::uint64_t words = 0;
  for (rewritten &= ~std::uint64_t{0} >> (64 - rule.count); rewritten != 0;
       rewritten &= rewritten - 1) {
    words |= afterRewrite_[rule.first + static_cast<std::size_t>(std::countr_zero(rewritten))];
  }
  return words;
}

void WordUnits::Add(const Needle& word, std::uint64_t bit) {
  const UnitForms& firstForms = word.FirstForms();
  for (std::size_t k = 0; k < firstForms.count; ++k) {
    const bool alone = word.size() == 1;
    (alone ? only : first)[SlotOf(firstForms.units[k])] |= bit;
    (alone ? onlyUnits_ : firstUnits_).push_back(firstForms.units[k]);
  }
  const UnitForms& secondForms = word.SecondForms();
  for (std::size_t k = 0; word.size() >= 2 && k < secondForms.count; ++k) {
    second[SlotOf(secondForms.units[k])] |= bit;
    secondUnits_.push_back(secondForms.units[k]);
  }
}

UnitClasses WordUnits::Classes() const {
  return {NibbleClasses(firstUnits_), NibbleClasses(secondUnits_), NibbleClasses(onlyUnits_),
          !onlyUnits_.empty()};
}

// Folded or not: a slot holds every form.
std::uint64_t WordUnits::Touching(std::u16string_view units) const {
  std::uint64_t touching = 0;
  for (const char16_t unit : units) {
    for (const char16_t form : FormsFolding(Fold(unit)).units) {
      const std::uint8_t slot = Slot(form);
      touching |= first[slot] | second[slot] | only[slot];
    }
  }
  return touching;
}

std::uint8_t WordUnits::SlotOf(char16_t unit) {
  if (const std::uint8_t slot = Slot(unit); slot != 0) {
    return slot;
  }
  if (first.size() == kMostSlots) {
    full = true;
    return 0;
  }
  std::uint8_t& page = pages[unit >> 8];
  if (page == 0) {
    page = static_cast<std::uint8_t>(slots.size() / 256);
    slots.resize(slots.size() + 256, 0);
  }
  slots[page * 256u + (unit & 0xFFu)] = static_cast<std::uint8_t>(first.size());
  first.push_back(0);
  second.push_back(0);
  only.push_back(0);
  return Slot(unit);
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

// The words that may occur in units, or begin in their last unit.
std::uint64_t WordPresence::ScanUnits(std::u16string_view units) const {
  const std::uint64_t* const first = units_.first.data();
  const std::uint64_t* const second = units_.second.data();
  const std::uint64_t* const only = units_.only.data();
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
    const std::uint8_t slot = units_.Slot(unit);
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
  const std::uint64_t* const first = units_.first.data();
  const std::uint64_t* const second = units_.second.data();
  const std::uint64_t* const only = units_.only.data();
  const ClassVectors firstUnits = VectorsOf(classes_.first);
  const ClassVectors secondUnits = VectorsOf(classes_.second);
  const ClassVectors onlyUnits = VectorsOf(classes_.only);
  std::uint64_t present = 0;
  const auto lookUpPairs = [&](std::size_t block, unsigned pairs) {
    for (; pairs != 0; pairs &= pairs - 1, pairs &= pairs - 1) {
      const std::size_t at = block + static_cast<std::size_t>(std::countr_zero(pairs)) / 2;
      present |= first[units_.Slot(piece[at])] & second[units_.Slot(piece[at + 1])];
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
    if (classes_.anyOnly) {
      for (unsigned alone = MayHold(units, onlyUnits); alone != 0;
           alone &= alone - 1, alone &= alone - 1) {
        present |=
            only[units_.Slot(piece[i + static_cast<std::size_t>(std::countr_zero(alone)) / 2])];
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

WordSet::WordSet(const std::vector<std::u16string_view>& words, Comparison mode)
    : avx2_(SearchesWithAvx2()) {
  for (const std::u16string_view word : words) {
    longest_ = std::max(longest_, words_.emplace_back(word, mode).size());
  }
  if (words_.size() <= 1) {
    return;  // searched for as a needle
  }
  units_.emplace();
  for (std::size_t i = 0; i < words_.size(); ++i) {
    if (!words_[i].empty()) {
      units_->Add(words_[i], std::uint64_t{1} << i);
    }
  }
  if (avx2_) {
    classes_ = units_->Classes();
  }
}

// The word whose whole occurrence begins at `at`, if any.
WordSet::Match WordSet::MatchAt(std::u16string_view hay, std::size_t at,
                                std::uint64_t among) const {
  const WordUnits& units = *units_;
  const std::uint8_t slot = units.Slot(hay[at]);
  std::uint64_t words = units.only[slot];
  if (at + 1 < hay.size()) {
    words |= units.first[slot] & units.second[units.Slot(hay[at + 1])];
  }
  for (words &= among; words != 0; words &= words - 1) {
    const auto index = static_cast<std::size_t>(std::countr_zero(words));
    if (words_[index].OccursAt(hay, at)) {
      return {at, words_[index].size(), index};
    }
  }
  return {kNotFound, 0, 0};
}

WordSet::Match WordSet::FindIn(std::u16string_view hay, std::size_t from,
                               std::uint64_t words) const {
  words = Among(words);
  // One word alone is searched for as a needle, the quickest way.
  if (std::popcount(words) == 1) {
    const auto index = static_cast<std::size_t>(std::countr_zero(words));
    const Needle& word = words_[index];
    return {word.empty() ? kNotFound : word.FindIn(hay, from), word.size(), index};
  }
  if (words == 0) {
    return {kNotFound, 0, 0};
  }
  return FindEach(hay, from, words);
}

WordSet::Match WordSet::FindEach(std::u16string_view hay, std::size_t from,
                                 std::uint64_t words) const {
  if (units_->full) {
    return Nearest(hay, from, words, nullptr);  // too many forms for the slots
  }
  std::size_t i = from;
  if (avx2_) {
    if (const Match found = ScanAvx2(hay, i, words); found.at != kNotFound) {
      return found;
    }
  }
  for (; i < hay.size(); ++i) {
    if (units_->Slot(hay[i]) != 0) {
      if (const Match found = MatchAt(hay, i, words); found.at != kNotFound) {
        return found;
      }
    }
  }
  return {kNotFound, 0, 0};
}

WordSet::Search::Search(const WordSet& set, std::u16string_view hay, std::uint64_t words)
    : set_(set),
      hay_(hay),
      words_(set.Among(words)),
      alone_(std::popcount(words_) > 1 && std::popcount(words_) <= kMostAlone) {
  places_.fill(kUnsearched);
}

WordSet::Match WordSet::Search::Next(std::size_t from) {
  // Still the first at or after `from`, which has not passed it.
  if (last_.at == kUnsearched || last_.at < from) {
    last_ =
        alone_ ? set_.Nearest(hay_, from, words_, places_.data()) : set_.FindIn(hay_, from, words_);
  }
  return last_;
}

// Each word searched for alone, the nearest taken; `places`, where given,
// keeps each word's next place from one search to the next.
WordSet::Match WordSet::Nearest(std::u16string_view hay, std::size_t from, std::uint64_t words,
                                std::size_t* places) const {
  Match nearest{kNotFound, 0, 0};
  for (; words != 0; words &= words - 1) {
    const auto index = static_cast<std::size_t>(std::countr_zero(words));
    const Needle& word = words_[index];
    std::size_t place = places != nullptr ? places[index] : kUnsearched;
    if (place == kUnsearched || (place != kNotFound && place < from)) {
      place = word.empty() ? kNotFound : word.FindIn(hay, from);
    }
    if (places != nullptr) {
      places[index] = place;
    }
    if (place < nearest.at) {
      nearest = {place, word.size(), index};
    }
  }
  return nearest;
}

std::size_t WordSet::BeginningAtEnd(std::u16string_view text) const {
  std::size_t most = 0;
  for (const Needle& word : words_) {
    if (!word.empty()) {
      most = std::max(most, word.BeginningAtEnd(text));
    }
  }
  return most;
}

#if defined(__x86_64__)
// Sixteen places at a time: only a unit that may begin a word followed by one
// that may be its second, or a unit that may be a word, is looked at. Leaves
// `from` where the blocks ended.
__attribute__((target("avx2"))) WordSet::Match WordSet::ScanAvx2(std::u16string_view hay,
                                                                 std::size_t& from,
                                                                 std::uint64_t words) const {
  const ClassVectors firstUnits = VectorsOf(classes_.first);
  const ClassVectors secondUnits = VectorsOf(classes_.second);
  const ClassVectors onlyUnits = VectorsOf(classes_.only);
  Match found{kNotFound, 0, 0};
  std::size_t i = from;
  for (; i + 17 <= hay.size(); i += 16) {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay.data() + i));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay.data() + i + 1));
    unsigned places = MayHold(units, firstUnits) & MayHold(next, secondUnits);
    if (classes_.anyOnly) {
      places |= MayHold(units, onlyUnits);
    }
    for (; places != 0; places &= places - 1, places &= places - 1) {
      found = MatchAt(hay, i + static_cast<std::size_t>(std::countr_zero(places)) / 2, words);
      if (found.at != kNotFound) {
        break;
      }
    }
    if (found.at != kNotFound) {
      break;
    }
  }
  _mm256_zeroupper();
  from = i;
  return found;
}
#else
WordSet::Match WordSet::ScanAvx2(std::u16string_view, std::size_t&, std::uint64_t) const {
  return {kNotFound, 0, 0};
}
#endif

namespace {

// Whether a nonempty end of `a`, shorter than both, begins `b`.
bool EndBegins(std::u16string_view a, std::u16string_view b) {
  for (std::size_t length = 1; length < a.size() && length < b.size(); ++length) {
    if (a.substr(a.size() - length) == b.substr(0, length)) {
      return true;
    }
  }
  return false;
}

// Whether the two can share a unit where they stand in a text: one holds the
// other, or an end of one begins the other.
bool CanOverlap(std::u16string_view a, std::u16string_view b) {
  return a.find(b) != std::u16string_view::npos || b.find(a) != std::u16string_view::npos ||
         EndBegins(a, b) || EndBegins(b, a);
}

}  // namespace

bool ReplacedTogetherAlike(const std::vector<std::u16string_view>& words,
                           const std::vector<std::u16string_view>& replacements, Comparison mode) {
  const auto fold = [&](std::u16string_view text) {
    return mode == Comparison::Text ? FoldAll(text) : std::u16string(text);
  };
  if (words.size() != replacements.size() || words.size() > WordSet::kMostWords) {
    return false;
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::u16string word = fold(words[i]);
    const std::u16string replacement = fold(replacements[i]);
    // An empty replacement joins the text around it, which may make a word.
    if (word.empty() || replacement.empty()) {
      return false;
    }
    for (std::size_t j = i + 1; j < words.size(); ++j) {
      const std::u16string later = fold(words[j]);
      if (CanOverlap(word, later) || CanOverlap(replacement, later)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace mdlFlexConv::detail
