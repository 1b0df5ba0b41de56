#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "engineComparison.h"
#include "mdlFlexConv.h"
#include "referenceConversion.h"
#include "textFolding.h"
#include "wordPresence.h"

namespace {

namespace engine = mdlFlexConv;
namespace ref = referenceConversion;
using engine::Comparison;
using engineComparison::Show;

ref::Mode RefMode(Comparison mode) {
  return mode == Comparison::Text ? ref::Mode::Text : ref::Mode::Binary;
}

struct FindCase {
  std::u16string_view haystack;
  std::u16string_view needle;
  std::size_t start;
  Comparison mode;
  std::size_t expected;
};

TEST(TextMatching, Find) {
  const FindCase cases[] = {
      {u"abcです", u"です", 2, Comparison::Text, 4},
      {u"です", u"です", 2, Comparison::Text, 0},
      {u"a.b", u"．", 1, Comparison::Text, 2},
      {u"a.b", u"．", 1, Comparison::Binary, 0},
      {u"ワタシとわたし", u"わたし", 1, Comparison::Text, 1},
      {u"ワタシとわたし", u"わたし", 1, Comparison::Binary, 5},
      {u"ﾜﾀｼ", u"わたし", 1, Comparison::Text, 1},
      {u"ABC", u"abc", 1, Comparison::Text, 1},
      {u"ABC", u"abc", 1, Comparison::Binary, 0},
      {u"Ａｂ", u"aB", 1, Comparison::Text, 1},
      {u"ａ", u"Ａ", 1, Comparison::Text, 1},
      {u"（）", u"()", 1, Comparison::Text, 1},
      {u"｡､｢｣", u"。、「」", 1, Comparison::Text, 1},
      {u"～", u"~", 1, Comparison::Text, 1},
      {u"ｰ", u"ー", 1, Comparison::Text, 1},
      {u"ー", u"～", 1, Comparison::Text, 0},
      {u"ー", u"~", 1, Comparison::Text, 0},
      {u"･", u"・", 1, Comparison::Text, 1},
      {u"ヶヵ", u"ゖゕ", 1, Comparison::Text, 1},
      {u"ァ", u"ぁ", 1, Comparison::Text, 1},
      // Outside the folds: only themselves.
      {u"ヷ", u"わ", 1, Comparison::Text, 0},
      {u"ヽ", u"ゝ", 1, Comparison::Text, 0},
      {u"É", u"é", 1, Comparison::Text, 0},
      {u"Σ", u"σ", 1, Comparison::Text, 0},
      {u"。", u".", 1, Comparison::Text, 0},
      {u"￥", u"\\", 1, Comparison::Text, 0},
      // The half-width voiced marks are units of their own.
      {u"ﾀﾞ", u"た゛", 1, Comparison::Text, 1},
      {u"ﾀﾞ", u"タ゛", 1, Comparison::Text, 1},
      {u"ﾊﾟ", u"は゜", 1, Comparison::Text, 1},
      {u"ﾀﾞ", u"ダ", 1, Comparison::Text, 0},
      {u"ダ", u"ﾀﾞ", 1, Comparison::Text, 0},
      {u"ﾃﾞｽ", u"です", 1, Comparison::Text, 0},
      {u"ﾀﾞ", u"ﾀ", 1, Comparison::Text, 1},
      {u"ﾀﾞ", u"\u3099", 1, Comparison::Text, 0},
      // Empty needle: found at start while start is within the text.
      {u"abc", u"", 1, Comparison::Text, 1},
      {u"abc", u"", 3, Comparison::Binary, 3},
      {u"abc", u"", 4, Comparison::Text, 0},
      {u"", u"", 1, Comparison::Text, 0},
      {u"abc", u"c", 4, Comparison::Text, 0},
      {u"ab", u"abc", 1, Comparison::Text, 0},
      {u"a\U0001F600b", u"b", 1, Comparison::Binary, 4},
      {u"a\U0001F600b", u"\xDE00", 1, Comparison::Binary, 3},
      {u"ですです", u"です", 2, Comparison::Text, 3},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(Show(c.haystack) + " / " + Show(c.needle) + " from " + std::to_string(c.start));
    EXPECT_EQ(engine::Find(c.haystack, c.needle, c.start, c.mode), c.expected);
    EXPECT_EQ(ref::Find(c.haystack, c.needle, c.start, RefMode(c.mode)), c.expected);
  }
}

struct ReplaceCase {
  std::u16string_view text;
  std::u16string_view find;
  std::u16string_view replacement;
  Comparison mode;
  std::u16string_view expected;
};

TEST(TextMatching, ReplaceAll) {
  const ReplaceCase cases[] = {
      {u"ワタシとわたし", u"わたし", u"X", Comparison::Text, u"XとX"},
      {u"ワタシとわたし", u"わたし", u"X", Comparison::Binary, u"ワタシとX"},
      {u"ああああ", u"ああ", u"あ", Comparison::Text, u"ああ"},
      {u"aa", u"a", u"aa", Comparison::Text, u"aaaa"},
      {u"ﾜﾀｼは", u"わたし", u"私", Comparison::Text, u"私は"},
      {u"ﾃﾞｽです", u"です", u"X", Comparison::Text, u"ﾃﾞｽX"},
      {u"abc", u"", u"X", Comparison::Text, u"abc"},
      {u"", u"a", u"X", Comparison::Text, u""},
      {u"aXa", u"x", u"", Comparison::Text, u"aa"},
      {u"ダーリンとダ～リン", u"ダーリン", u"Y", Comparison::Text, u"Yとダ～リン"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(Show(c.text) + " / " + Show(c.find) + " -> " + Show(c.replacement));
    EXPECT_EQ(Show(engine::ReplaceAll(c.text, c.find, c.replacement, c.mode)), Show(c.expected));
    EXPECT_EQ(Show(ref::ReplaceAll(c.text, c.find, c.replacement, RefMode(c.mode))),
              Show(c.expected));
  }
}

TEST(TextMatching, LeftAndMid) {
  struct LeftCase {
    std::u16string_view text;
    std::ptrdiff_t n;
    std::u16string_view expected;
  };
  const LeftCase lefts[] = {
      {u"です", 1, u"で"},   {u"です", 0, u""},     {u"です", -1, u""},
      {u"です", 2, u"です"}, {u"です", 9, u"です"}, {u"", 1, u""},
  };
  for (const LeftCase& c : lefts) {
    SCOPED_TRACE(Show(c.text) + " " + std::to_string(c.n));
    EXPECT_EQ(Show(engine::Left(c.text, c.n)), Show(c.expected));
    EXPECT_EQ(Show(ref::Left(c.text, c.n)), Show(c.expected));
  }

  struct MidCase {
    std::u16string_view text;
    std::ptrdiff_t p;
    std::optional<std::ptrdiff_t> n;
    std::u16string_view expected;
  };
  const MidCase mids[] = {
      {u"です", 3, 3, u""},    {u"ですよ", 3, 3, u"よ"}, {u"abc", 2, std::nullopt, u"bc"},
      {u"abc", 2, 1, u"b"},    {u"abc", 0, 2, u"ab"},    {u"abc", -5, std::nullopt, u"abc"},
      {u"abc", 2, 0, u""},     {u"abc", 2, -1, u""},     {u"abc", 4, std::nullopt, u""},
      {u"abc", 1, 99, u"abc"},
  };
  for (const MidCase& c : mids) {
    SCOPED_TRACE(Show(c.text) + " " + std::to_string(c.p));
    EXPECT_EQ(Show(engine::Mid(c.text, c.p, c.n)), Show(c.expected));
    EXPECT_EQ(Show(ref::Mid(c.text, c.p, c.n)), Show(c.expected));
  }
}

TEST(TextMatching, ContainsAnyOf) {
  struct Case {
    std::u16string_view window;
    std::u16string_view set;
    Comparison mode;
    bool expected;
  };
  const std::u16string_view marks = engine::PUNCTUATION_SET;
  const Case cases[] = {
      {u"ね。", u"。、", Comparison::Text, true}, {u"", u"。", Comparison::Text, false},
      {u"ね!", marks, Comparison::Text, false},   {u"！？…?", marks, Comparison::Text, false},
      {u"ab", u"", Comparison::Text, false},      {u"x,", marks, Comparison::Text, true},
      {u"x.", marks, Comparison::Text, true},     {u"(", marks, Comparison::Text, true},
      {u")", marks, Comparison::Text, true},      {u"｡", marks, Comparison::Text, true},
      {u"､", marks, Comparison::Text, true},      {u"｢", marks, Comparison::Text, true},
      {u"｣", marks, Comparison::Text, true},      {u"x.", marks, Comparison::Binary, false},
      {u"『", marks, Comparison::Binary, true},   {u"B", u"ａｂ", Comparison::Text, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.window) + " in " + Show(c.set));
    EXPECT_EQ(engine::ContainsAnyOf(c.window, c.set, c.mode), c.expected);
    EXPECT_EQ(ref::ContainsAnyOf(c.window, c.set, RefMode(c.mode)), c.expected);
  }
}

TEST(TextMatching, PunctuationSetIsTheTenMarks) {
  EXPECT_EQ(Show(engine::PUNCTUATION_SET), Show(u"\u3002\u3001\uFF0C\uFF0E\uFF08\uFF09"
                                                u"\u300C\u300D\u300E\u300F"));
  EXPECT_EQ(Show(ref::kPunctuation), Show(engine::PUNCTUATION_SET));
}

// Folding is checked unit by unit over the whole 16-bit range.
TEST(TextMatching, FoldAgreesWithReferenceForEveryUnit) {
  int mismatches = 0;
  for (char32_t u = 0; u <= 0xFFFF && mismatches < 20; ++u) {
    const std::string difference = engineComparison::CompareFold(static_cast<char16_t>(u));
    if (!difference.empty()) {
      ADD_FAILURE() << difference;
      ++mismatches;
    }
  }
}

// The vector scan looks up only the units its classes may hold: every unit of
// the set must be held, and few others.
TEST(WordPresence, NibbleClassesHoldEveryUnitOfTheirSetAndFewOthers) {
  std::u16string many;
  for (char16_t unit = 0x3041; unit < 0x3041 + 300; unit += 3) {
    many.push_back(unit);
  }
  // The first units of the persona's words in every form; kanji and kana of
  // the person words; more units than eight classes can hold exactly.
  const std::u16string sets[] = {u"", u"a", u"でデぽポなナﾅしシｼくクｸ",
                                 u"私拙自当あうこ手あアｱ君貴おそダ", many};
  for (const std::u16string& units : sets) {
    const engine::detail::NibbleClasses classes(units);
    for (const char16_t unit : units) {
      EXPECT_TRUE(classes.MayHold(unit)) << Show(units) << " " << static_cast<int>(unit);
    }
    std::size_t held = 0;
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
      held += classes.MayHold(static_cast<char16_t>(unit)) ? 1 : 0;
    }
    EXPECT_LE(held, 2 * units.size()) << Show(units);
  }
}

// The forms of a unit are every unit that folds to it, the unit first and
// then as the ranges of foldable units run, at most four.
struct TogetherCase {
  std::vector<std::u16string_view> words;
  std::vector<std::u16string_view> replacements;
  bool alike;
};

TEST(WordPresence, WordsAreReplacedTogetherOnlyWhereThatGivesTheSameText) {
  const TogetherCase cases[] = {
      {{u"わたし", u"あたし", u"私"}, {u"ぼく", u"ぼく", u"ぼく"}, true},
      {{u"です", u"すし"}, {u"x", u"y"}, false},       // an end of one begins the other
      {{u"です", u"ですね"}, {u"x", u"y"}, false},     // one holds the other
      {{u"です", u"デス"}, {u"x", u"y"}, false},       // alike once folded
      {{u"です", u"ない"}, {u"ないか", u"y"}, false},  // a replacement holds a later word
      {{u"ない", u"です"}, {u"x", u"ないか"}, true},   // but not an earlier one
      {{u"です", u"んだ"}, {u"なん", u"y"}, false},    // its end begins a later word
      {{u"です", u"ない"}, {u"", u"y"}, false},        // an empty one joins its neighbours
  };
  for (const TogetherCase& c : cases) {
    EXPECT_EQ(engine::detail::ReplacedTogetherAlike(c.words, c.replacements, Comparison::Text),
              c.alike)
        << Show(c.words.front()) << " " << Show(c.replacements.front());
  }
}

TEST(TextMatching, FormsFoldingAreEveryUnitThatFoldsThere) {
  std::array<std::u16string, 0x10000> folding;
  for (char32_t unit = 0x41; unit <= 0xFFFF; ++unit) {
    const char16_t folded = engine::detail::Fold(static_cast<char16_t>(unit));
    if (folded != unit) {
      folding[folded].push_back(static_cast<char16_t>(unit));
    }
  }
  int mismatches = 0;
  for (char32_t unit = 0; unit <= 0xFFFF && mismatches < 20; ++unit) {
    std::u16string expected(1, static_cast<char16_t>(unit));
    expected += folding[unit];
    // Half-width and full-width forms come before katakana, as the ranges run.
    std::stable_partition(expected.begin() + 1, expected.end(),
                          [](char16_t u) { return u < 0x3000 || u >= 0xFF00; });
    expected.resize(std::min<std::size_t>(expected.size(), 4));
    const engine::detail::UnitForms forms =
        engine::detail::FormsFolding(static_cast<char16_t>(unit));
    if (std::u16string(forms.units.data(), forms.count) != expected) {
      ADD_FAILURE() << "forms of U+" << std::hex << static_cast<unsigned>(unit);
      ++mismatches;
    }
  }
}

}  // namespace
