#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engineComparison.h"
#include "mdlFlexConv.h"
#include "referenceConversion.h"
#include "rewriteStages.h"
#include "textGenerator.h"

namespace {

using namespace engineComparison;
using textGenerator::Generator;

// Stops a loop after a handful of reported differences.
class Failures {
 public:
  bool Add(const std::string& difference) {
    if (!difference.empty()) {
      ADD_FAILURE() << difference;
      ++count_;
    }
    return count_ < 10;
  }

 private:
  int count_ = 0;
};

// Text mixing the needle's units in several kana types and widths.
std::u16string NeedleFrom(Generator& gen, std::u16string_view haystack) {
  if (haystack.empty() || gen.OneIn(8)) {
    return gen.Text(2);
  }
  const std::size_t from = gen.Below(haystack.size());
  std::u16string needle(haystack.substr(from, 1 + gen.Below(5)));
  switch (gen.Below(4)) {
    case 0:
      return textGenerator::ToKatakana(needle);
    case 1:
      return textGenerator::ToHalfWidth(needle);
    default:
      return needle;
  }
}

TEST(Generated, TextMatchingOperations) {
  Generator gen(20240601);
  Failures failures;
  for (int i = 0; i < 10000; ++i) {
    const std::u16string text = gen.Text(8);
    const std::u16string needle = NeedleFrom(gen, text);
    const std::size_t start = 1 + gen.Below(text.size() + 2);
    const auto p = static_cast<std::ptrdiff_t>(gen.Below(text.size() + 5)) - 2;
    const std::optional<std::ptrdiff_t> n =
        gen.OneIn(3) ? std::nullopt
                     : std::optional<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(gen.Below(8)) - 2);
    if (!failures.Add(CompareFind(text, needle, start)) ||
        !failures.Add(CompareReplaceAll(text, needle, gen.Text(2))) ||
        !failures.Add(CompareContainsAnyOf(text, NeedleFrom(gen, text))) ||
        !failures.Add(CompareContainsAnyOf(text, mdlFlexConv::PUNCTUATION_SET)) ||
        !failures.Add(CompareLeftMid(text, p, n))) {
      return;
    }
  }
}

TEST(Generated, GuardedEndingWithTheConvertersArguments) {
  Watchdog watchdog(kEngineTimeLimit);
  constexpr std::array<std::u16string_view, 7> kReplacements = {
      u"だりゅん", u"だにゅ", u"だにょ", u"だぴょ", u"", u"X", u"だりゅんっ"};
  Generator gen(77);
  Failures failures;
  for (int i = 0; i < 20000; ++i) {
    const std::u16string text = gen.Text(12);
    if (!failures.Add(CompareGuarded(text, u"です", gen.Pick(kReplacements),
                                     mdlFlexConv::PUNCTUATION_SET, 10000, &watchdog))) {
      return;
    }
  }
}

// Arbitrary find, replacement and set over small alphabets, with texts built
// around the find and the set so that matches, marks in the window and
// self-feeding replacements are common.
TEST(Generated, GuardedEndingWithArbitraryArguments) {
  Watchdog watchdog(kEngineTimeLimit);
  constexpr std::u16string_view kTextUnits = u"ですデｽで。｡.．」)xX\r\n!\xD83D\xDE00";
  constexpr std::u16string_view kFindUnits = u"ですデxX\r";
  constexpr std::u16string_view kSetUnits = u"。｡.．」)!x\n";
  Generator gen(4242);
  Failures failures;
  for (int i = 0; i < 20000; ++i) {
    const std::u16string find = gen.FromAlphabet(kFindUnits, gen.OneIn(4) ? 7 : 3);
    std::u16string replacement = gen.FromAlphabet(kFindUnits, 4);
    switch (gen.Below(4)) {
      case 0:
        replacement = find + replacement;
        break;
      case 1:
        replacement += find;
        break;
      default:
        break;
    }
    const std::u16string set = gen.OneIn(4) ? std::u16string(mdlFlexConv::PUNCTUATION_SET)
                                            : gen.FromAlphabet(kSetUnits, 4);
    std::u16string text;
    for (std::size_t piece = gen.Below(6) + 1; piece > 0; --piece) {
      switch (gen.Below(4)) {
        case 0:
          text += gen.OneIn(2) ? find : textGenerator::ToKatakana(find);
          if (gen.OneIn(2)) {
            text += gen.Pick(set.empty() ? kSetUnits : std::u16string_view(set));
          }
          break;
        case 1:
          text += gen.Pick(set.empty() ? kSetUnits : std::u16string_view(set));
          break;
        default:
          text += gen.FromAlphabet(kTextUnits, 3);
          break;
      }
    }
    if (!failures.Add(CompareGuarded(text, find, replacement, set, 300, &watchdog))) {
      return;
    }
  }
}

TEST(Generated, EveryStyleAndFlagCombination) {
  Generator gen(1357);
  Failures failures;
  for (int i = 0; i < 200; ++i) {
    const std::u16string text = gen.Text(16);
    for (int style = 0; style <= 5; ++style) {
      for (int flags = 0; flags < 16; ++flags) {
        if (!failures.Add(CompareConversion(text, style, flags & 1, (flags >> 1) & 1,
                                            (flags >> 2) & 1, (flags >> 3) & 1))) {
          return;
        }
      }
    }
  }
}

TEST(Generated, RandomConversions) {
  constexpr std::array<int, 5> kFlagValues = {0, 1, 1, -1, 2};
  Generator gen(8642);
  Failures failures;
  for (int i = 0; i < 10000; ++i) {
    const std::u16string text = gen.Text(24);
    const int style = static_cast<int>(gen.Below(9)) - 1;
    if (!failures.Add(CompareConversion(text, style, gen.Pick(kFlagValues), gen.Pick(kFlagValues),
                                        gen.Pick(kFlagValues), gen.Pick(kFlagValues)))) {
      return;
    }
  }
}

// Several words replaced in one pass, where that is allowed, against the
// reference replacing them one at a time; texts pushed in pieces.
TEST(Generated, WordsReplacedTogetherAsOneAtATime) {
  Generator gen(8642);
  Failures failures;
  constexpr std::u16string_view kAlphabet = u"あいうえおかきくけこアイカｱｲ私君";
  int together = 0;
  for (int i = 0; i < 50000 && together < 3000; ++i) {
    std::vector<std::u16string> words(2 + gen.Below(5));
    std::vector<std::u16string> replacements(words.size());
    for (std::size_t k = 0; k < words.size(); ++k) {
      words[k] = gen.FromAlphabet(kAlphabet, 3);
      replacements[k] = gen.FromAlphabet(kAlphabet, 4);
    }
    const std::vector<std::u16string_view> finds(words.begin(), words.end());
    const std::vector<std::u16string_view> bys(replacements.begin(), replacements.end());
    if (!mdlFlexConv::detail::ReplacedTogetherAlike(finds, bys, mdlFlexConv::Comparison::Text)) {
      continue;
    }
    ++together;
    const std::u16string text = gen.FromAlphabet(kAlphabet, 80);
    std::u16string expected = text;
    for (std::size_t k = 0; k < words.size(); ++k) {
      expected = referenceConversion::ReplaceAll(expected, words[k], replacements[k],
                                                 referenceConversion::Mode::Text);
    }
    mdlFlexConv::detail::ReplaceAllStage stage(finds, bys, mdlFlexConv::Comparison::Text);
    std::u16string actual;
    std::size_t from = 0;
    for (const std::size_t cut : gen.CutPoints(text.size())) {
      stage.Push(std::u16string_view(text).substr(from, cut - from), actual);
      from = cut;
    }
    stage.Push(std::u16string_view(text).substr(from), actual);
    stage.Finish(actual);
    if (!failures.Add(actual == expected ? std::string()
                                         : "text " + Show(text) + " gave " + Show(actual) +
                                               ", one at a time " + Show(expected))) {
      return;
    }
  }
  EXPECT_GE(together, 1000);
}

TEST(Generated, StreamingMatchesWholeText) {
  Generator gen(97531);
  Failures failures;
  for (int i = 0; i < 6000; ++i) {
    const std::u16string text = gen.Text(24);
    const int style = static_cast<int>(gen.Below(8)) - 1;
    if (!failures.Add(
            CompareStreaming(text, gen.CutPoints(text.size()), style,
                             static_cast<int>(gen.Below(2)), static_cast<int>(gen.Below(2)),
                             static_cast<int>(gen.Below(2)), static_cast<int>(gen.Below(2))))) {
      return;
    }
  }
}

// Long texts pushed a unit at a time or in large pieces.
TEST(Generated, StreamingLongTexts) {
  Generator gen(2468);
  Failures failures;
  for (int i = 0; i < 40; ++i) {
    const std::u16string text = gen.Text(400);
    std::vector<std::size_t> everyUnit(text.size());
    for (std::size_t k = 0; k < everyUnit.size(); ++k) {
      everyUnit[k] = k;
    }
    const int style = static_cast<int>(gen.Below(6));
    if (!failures.Add(CompareStreaming(text, everyUnit, style, 1, 1, 1, 1)) ||
        !failures.Add(CompareStreaming(text, gen.CutPoints(text.size()), style, 0, 1, 0, 1)) ||
        !failures.Add(CompareConversion(text, style, 1, 1, 1, 1))) {
      return;
    }
  }
}

// Texts far longer than any buffer the engine might work in, whole and in
// a few large pieces.
TEST(Generated, VeryLongTexts) {
  Generator gen(112358);
  Failures failures;
  for (int i = 0; i < 2; ++i) {
    std::u16string text;
    while (text.size() < 40000) {
      text += gen.Text(50);
    }
    for (int style = 0; style <= 5; ++style) {
      if (!failures.Add(CompareConversion(text, style, 1, 1, 1, 1)) ||
          !failures.Add(CompareStreaming(text, gen.CutPoints(text.size()), style, 1, 1, 1, 1))) {
        return;
      }
    }
    if (!failures.Add(
            CompareGuarded(text, u"です", u"だりゅん", mdlFlexConv::PUNCTUATION_SET, 0, nullptr))) {
      return;
    }
  }
}

// Texts cut wherever the converter allows, in every style, as pokopen-convert
// cuts them to convert the parts on several threads.
TEST(Generated, SafeCutsSplitTheResult) {
  Generator gen(24680);
  Failures failures;
  std::size_t cutsTried = 0;
  for (int i = 0; i < 300; ++i) {
    const std::u16string text = gen.Text(24);
    for (int style = 0; style <= 5; ++style) {
      const int flags = static_cast<int>(gen.Below(16));
      if (!failures.Add(CompareSafeCuts(text, style, flags & 1, (flags >> 1) & 1, (flags >> 2) & 1,
                                        (flags >> 3) & 1, cutsTried))) {
        return;
      }
    }
  }
  EXPECT_GT(cutsTried, 10000u);
}

// A text's line breaks as LF alone, as CR LF, and a result's CR LFs as LF.
std::u16string WithoutCrs(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      out.push_back(text[i]);
    } else if (i + 1 == text.size() || text[i + 1] != u'\n') {
      out.push_back(u'\n');
    }
  }
  return out;
}

std::u16string WithCrs(std::u16string_view text) {
  std::u16string out;
  for (const char16_t unit : text) {
    if (unit == u'\n') {
      out.push_back(u'\r');
    }
    out.push_back(unit);
  }
  return out;
}

std::u16string CrLfsAsLf(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' || i + 1 == text.size() || text[i + 1] != u'\n') {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The text in pieces, its LFs standing for CR LF before the piece `switchAt`
// and given their CRs from there on, as a text that turns out to hold a CR.
template <typename Push>
std::u16string PushedWithLineFeeds(std::u16string_view text, const std::vector<std::size_t>& cuts,
                                   std::size_t switchAt, const Push& push) {
  std::u16string out;
  std::size_t from = 0;
  for (std::size_t k = 0; k <= cuts.size(); ++k) {
    const std::size_t to = k < cuts.size() ? cuts[k] : text.size();
    const std::u16string_view piece = text.substr(from, to - from);
    if (k < switchAt) {
      push(piece, out, mdlFlexConv::LineFeeds::StandForCrLf);
    } else {
      push(WithCrs(piece), out, mdlFlexConv::LineFeeds::AsCharacters);
    }
    from = to;
  }
  return out;
}

// LFs that stand for CR LF give the result of the text with CR LF, its line
// breaks written either way; with the converters' rules, and with a guard
// whose needle or marks hold an LF or whose replacement feeds on itself.
TEST(Generated, LineFeedsStandingForCrLf) {
  using mdlFlexConv::LineFeeds;
  Generator gen(8642);
  Failures failures;
  for (int i = 0; i < 4000; ++i) {
    // Matches with line breaks and marks close after them, mostly.
    const std::u16string text =
        gen.OneIn(4) ? WithoutCrs(gen.Text(16)) : gen.FromAlphabet(u"でですす。」\n\nxx", 40);
    const std::vector<std::size_t> cuts = gen.CutPoints(text.size());
    const std::size_t switchAt = gen.Below(cuts.size() + 2);
    const int style = static_cast<int>(gen.Below(6));
    const int flags = static_cast<int>(gen.Below(16));
    mdlFlexConv::Converter converter =
        StyleConverter(style, flags & 1, (flags >> 1) & 1, (flags >> 2) & 1, (flags >> 3) & 1);
    const std::u16string expected = CrLfsAsLf(converter.Run(WithCrs(text)));
    std::u16string converted =
        PushedWithLineFeeds(text, cuts, switchAt,
                            [&](std::u16string_view piece, std::u16string& out,
                                LineFeeds lineFeeds) { converter.Push(piece, out, lineFeeds); });
    converter.Finish(converted);

    const std::u16string find = gen.FromAlphabet(u"ですデ\n", 3);
    const std::u16string replacement = gen.OneIn(3) ? find + u"x" : gen.FromAlphabet(u"だx\n", 3);
    const std::u16string set = gen.FromAlphabet(u"。」、\n", 3);
    mdlFlexConv::detail::PunctuationGuardStage whole(find, replacement, set);
    const std::u16string guardExpected = CrLfsAsLf(RunWhole(whole, WithCrs(text)));
    mdlFlexConv::detail::PunctuationGuardStage stage(find, replacement, set);
    std::u16string guarded = PushedWithLineFeeds(
        text, cuts, switchAt,
        [&](std::u16string_view piece, std::u16string& out, LineFeeds lineFeeds) {
          stage.TakeLineFeeds(lineFeeds);
          stage.Push(piece, out);
        });
    stage.Finish(guarded);

    const std::string where = "text " + Show(text) + ", " + std::to_string(cuts.size()) +
                              " cuts, switched at " + std::to_string(switchAt);
    if (!failures.Add(CrLfsAsLf(converted) == expected
                          ? std::string()
                          : where + ", style " + std::to_string(style) + " flags " +
                                std::to_string(flags) + " gave " + Show(CrLfsAsLf(converted)) +
                                ", with CR LF " + Show(expected)) ||
        !failures.Add(CrLfsAsLf(guarded) == guardExpected
                          ? std::string()
                          : where + ", guard " + Show(find) + " " + Show(replacement) + " " +
                                Show(set) + " gave " + Show(CrLfsAsLf(guarded)) + ", with CR LF " +
                                Show(guardExpected))) {
      return;
    }
  }
}

}  // namespace
