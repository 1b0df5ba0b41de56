#include <gtest/gtest.h>

#include <limits>
#include <string_view>

#include "engineComparison.h"
#include "mdlFlexConv.h"
#include "referenceConversion.h"

namespace {

namespace engine = mdlFlexConv;
namespace ref = referenceConversion;
using engineComparison::Show;

struct Case {
  std::u16string_view input;
  std::u16string_view expected;
};

void ExpectGuarded(const Case& c, std::u16string_view find, std::u16string_view replacement,
                   std::u16string_view set) {
  SCOPED_TRACE(Show(c.input));
  EXPECT_EQ(Show(engine::ReplaceBeforePunctuation(c.input, find, replacement, set)),
            Show(c.expected));
  const ref::GuardedResult r = ref::ReplaceBeforePunctuation(
      c.input, find, replacement, set, std::numeric_limits<std::size_t>::max());
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(Show(r.text), Show(c.expected));
}

TEST(GuardedEnding, PoliteEndingBeforePunctuation) {
  const Case cases[] = {
      {u"それはペンです。", u"それはペンだりゅん。"},
      {u"いいですよ。", u"いいだりゅん。"},
      {u"そうですね、", u"そうだりゅん、"},
      {u"雨ですから、", u"雨だりゅん、"},
      {u"「本当です。」", u"「本当だりゅん」"},
      {u"本当です", u"本当です"},
      {u"本当です！", u"本当です！"},
      {u"本当ですよねえ。", u"本当ですよねえ。"},
      {u"「そうです」。", u"「そうだりゅん。"},
      {u"そうです、「はい」", u"そうだりゅん「はい」"},
      {u"そうです。ね。", u"そうだりゅん。ね。"},
      {u"そうです\r\n「はい」", u"そうだりゅん「はい」"},
      {u"そうです\r\nはい。", u"そうです\r\nはい。"},
      {u"あですです。", u"あだりゅん。"},
      {u"です。", u"です。"},
      {u"です。です。", u"です。だりゅん。"},
      {u"本当デス。", u"本当だりゅん。"},
      {u"本当です.", u"本当だりゅん."},
      {u"", u""},
      // Narrow and half-width marks, look-alikes and units around the window.
      {u"そうです｡", u"そうだりゅん｡"},
      {u"そうですよ､", u"そうだりゅん､"},
      {u"そうです(笑)", u"そうだりゅん)"},
      {u"本当ﾃﾞｽ｡", u"本当ﾃﾞｽ｡"},
      {u"本当です?", u"本当です?"},
      {u"本当です…", u"本当です…"},
      {u"そうです\r。", u"そうだりゅん。"},
      {u"あです\U0001F600。", u"あだりゅん。"},
      {u"あです\U0001F600よ。", u"あです\U0001F600よ。"},
      {u"あですよ、ね。", u"あだりゅん、ね。"},
      {u"ですです。", u"ですだりゅん。"},
      {u"あですでです。", u"あですでだりゅん。"},
      {u"AですA、Bです。", u"Aだりゅん、Bだりゅん。"},
  };
  for (const Case& c : cases) {
    ExpectGuarded(c, u"です", u"だりゅん", engine::PUNCTUATION_SET);
  }
}

// The rule for find, replacement and set other than the converters' own.
TEST(GuardedEnding, OtherArguments) {
  struct Row {
    Case c;
    std::u16string_view find;
    std::u16string_view replacement;
    std::u16string_view set;
  };
  const Row rows[] = {
      // The cut point may pass the three-unit window while below a + 5.
      {{u"xで。よね」", u"xR」"}, u"で", u"R", engine::PUNCTUATION_SET},
      {{u"xでよね。", u"xR。"}, u"で", u"R", engine::PUNCTUATION_SET},
      // With a find of four or more units the cut point never moves.
      {{u"xabcd.y)", u"xR.y)"}, u"abcd", u"R", engine::PUNCTUATION_SET},
      {{u"xabcde.", u"xR."}, u"abcde", u"R", engine::PUNCTUATION_SET},
      {{u"xAbCd.", u"xR."}, u"abcd", u"R", engine::PUNCTUATION_SET},
      // Empty replacement, empty set, a set of folded variants.
      {{u"あですよ。", u"あ。"}, u"です", u"", engine::PUNCTUATION_SET},
      {{u"あです。", u"あです。"}, u"です", u"R", u""},
      {{u"あです!", u"あR!"}, u"です", u"R", u"！"},
      {{u"あですab", u"あRb"}, u"です", u"R", u"AB"},
      // An empty find with an empty replacement changes nothing.
      {{u"x。y", u"x。y"}, u"", u"", engine::PUNCTUATION_SET},
      // A replacement holding the find, rewritten once per occurrence.
      {{u"xで。", u"xで。"}, u"で", u"で", engine::PUNCTUATION_SET},
      {{u"xで。", u"xでR。"}, u"で", u"でR", engine::PUNCTUATION_SET},
  };
  for (const Row& row : rows) {
    ExpectGuarded(row.c, row.find, row.replacement, row.set);
  }
}

// Arguments on which the rule's own loop never ends: the engine must end and
// give one of the texts the loop passes through.
TEST(GuardedEnding, SelfFeedingRewritingEnds) {
  engineComparison::Watchdog watchdog(engineComparison::kEngineTimeLimit);
  struct Row {
    std::u16string_view text;
    std::u16string_view find;
    std::u16string_view replacement;
    std::u16string_view set;
  };
  const Row rows[] = {
      {u"xで。", u"で", u"でで", engine::PUNCTUATION_SET},
      {u"xで。", u"で", u"でで", u"。"},
      {u"x。", u"", u"r", engine::PUNCTUATION_SET},
      {u"x.", u"", u"rr", u"．"},
      {u"xで。", u"で", u"Rで", engine::PUNCTUATION_SET},
      {u"xです。", u"です", u"でですです", engine::PUNCTUATION_SET},
      {u"xデス｡ね", u"です", u"ですです", engine::PUNCTUATION_SET},
      {u"xaa.", u"aa", u"aaa", u"."},
  };
  for (const Row& row : rows) {
    const ref::GuardedResult r =
        ref::ReplaceBeforePunctuation(row.text, row.find, row.replacement, row.set, 1000);
    EXPECT_FALSE(r.finished) << Show(row.text);
    EXPECT_EQ(engineComparison::CompareGuarded(row.text, row.find, row.replacement, row.set, 1000,
                                               &watchdog),
              "");
  }
}

}  // namespace
