#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "engineComparison.h"
#include "mdlFlexConv.h"
#include "referenceConversion.h"

namespace {

namespace engine = mdlFlexConv;
namespace ref = referenceConversion;
using engineComparison::Show;

struct PersonaCase {
  int style;
  int flagPokoru;
  int flagFirst;
  int flagSecond;
  int flagForce;
  std::u16string_view input;
  std::u16string_view expected;
};

void ExpectPersona(const PersonaCase& c) {
  SCOPED_TRACE("style " + std::to_string(c.style) + " flags " + std::to_string(c.flagPokoru) +
               std::to_string(c.flagFirst) + std::to_string(c.flagSecond) +
               std::to_string(c.flagForce) + ": " + Show(c.input));
  EXPECT_EQ(Show(engine::ConvertPersona(c.input, c.style, c.flagPokoru, c.flagFirst, c.flagSecond,
                                        c.flagForce)),
            Show(c.expected));
  EXPECT_EQ(Show(ref::ConvertPersona(c.input, c.style, c.flagPokoru, c.flagFirst, c.flagSecond,
                                     c.flagForce)),
            Show(c.expected));
}

TEST(Persona, WordListsAndOrder) {
  const PersonaCase cases[] = {
      {0, 0, 1, 1, 0, u"わたしはあなたが好きです。", u"ぽこりゅんはダ～リンが好きだりゅん。"},
      {1, 0, 1, 1, 0, u"わたしはあなたが好きです。", u"ぽこりゅんっはダ～リンっが好きだりゅん。"},
      {2, 0, 1, 1, 0, u"わたしはあなたが好きです。", u"ぽこりゅん...はダ～リン...が好きだりゅん。"},
      {0, 0, 0, 0, 0, u"わたしはあなたが好きです。", u"わたしはあなたが好きだりゅん。"},
      {1, 0, 0, 0, 0, u"ぽこるです。", u"ぽこりゅんっだりゅん。"},
      {0, 0, 0, 0, 0, u"ぽこるです。", u"ぽこるだりゅん。"},
      {0, 0, 0, 0, 1, u"行かないのです", u"行かないりゅんのだりゅん"},
      {0, 0, 0, 0, 1, u"そうなのだ", u"そうなんだりゅんりゅん"},
      {1, 0, 0, 0, 1, u"そうなのだ", u"そうなんだりゅんっりゅんっ"},
      {2, 0, 0, 0, 1, u"そうなのだ", u"そうなんだりゅん...りゅん..."},
      {0, 0, 0, 0, 1, u"そうなんです", u"そうなんだりゅんりゅん"},
      {0, 0, 0, 0, 1, u"そうなんでした", u"そうなんだりゅんったりゅん"},
      {0, 0, 0, 1, 1, u"なのあなた", u"なんだりゅんりゅん～リン"},
      {1, 0, 0, 0, 1, u"ポコルです", u"ぽこりゅんっだりゅんっ"},
      {0, 0, 1, 0, 0, u"ワタシ", u"ぽこりゅん"},
      {0, 0, 1, 0, 0, u"ﾜﾀｼ", u"ぽこりゅん"},
      {0, 0, 1, 0, 0, u"こうちゃ", u"こぽこりゅんゃ"},
      {0, 0, 1, 0, 0, u"そのうち", u"そのぽこりゅん"},
      {0, 0, 1, 0, 0, u"わたくしとあたしたち", u"ぽこりゅんとぽこりゅんたち"},
      {0, 0, 1, 1, 0, u"こちらとそちら", u"ぽこりゅんとダ～リン"},
      {0, 0, 0, 1, 0, u"ダーリン", u"ダ～リン"},
      {0, 0, 0, 1, 0, u"ダ～リン", u"ダ～リン"},
      {0, 0, 0, 0, 1, u"見てください。でした。します",
       u"見てくださいりゅん。だったりゅん。するりゅん"},
      {2, 0, 0, 0, 1, u"ですね", u"だりゅん...ね"},
      {1, 0, 0, 0, 1, u"好きです。好きです", u"好きだりゅん。好きだりゅんっ"},
      {0, 0, 0, 0, 1, u"少ないﾅｲ", u"少ないりゅんないりゅん"},
  };
  for (const PersonaCase& c : cases) {
    ExpectPersona(c);
  }
}

// flagPokoru renames ぽこる in every style; style 1 always does.
TEST(Persona, PersonaNameFlag) {
  const PersonaCase cases[] = {
      {0, 1, 0, 0, 0, u"ぽこるです。", u"ぽこりゅんだりゅん。"},
      {2, 1, 0, 0, 0, u"ぽこるです。", u"ぽこりゅん...だりゅん。"},
      {1, 1, 0, 0, 0, u"ぽこるです。", u"ぽこりゅんっだりゅん。"},
      {0, 1, 0, 0, 0, u"ポコルとﾎﾟｺﾙ", u"ぽこりゅんとﾎﾟｺﾙ"},
      {2, 1, 1, 0, 0, u"わたしはぽこる", u"ぽこりゅん...はぽこりゅん..."},
      {0, -1, 0, 0, 0, u"ぽこるです。", u"ぽこるだりゅん。"},
      {2, 2, 0, 0, 0, u"ぽこる", u"ぽこる"},
  };
  for (const PersonaCase& c : cases) {
    ExpectPersona(c);
  }
}

// Only 1 sets a flag (the window's true is -1), and styles other than 1 and 2
// take no suffix.
TEST(Persona, FlagValuesAndOtherStyles) {
  const PersonaCase cases[] = {
      {0, 0, -1, -1, -1, u"わたしはあなたが好きです", u"わたしはあなたが好きです"},
      {1, 2, 2, 2, 2, u"わたしはあなたが好きです", u"わたしはあなたが好きです"},
      {7, 0, 1, 1, 1, u"わたしはあなたです", u"ぽこりゅんはダ～リンだりゅん"},
      {-1, 0, 1, 1, 1, u"わたしはあなたです", u"ぽこりゅんはダ～リンだりゅん"},
      {7, 0, 0, 0, 0, u"ぽこるです。", u"ぽこるだりゅん。"},
  };
  for (const PersonaCase& c : cases) {
    ExpectPersona(c);
  }
}

TEST(Dialect, Endings) {
  struct Case {
    int kind;
    int flagForce;
    std::u16string_view input;
    std::u16string_view expected;
  };
  const Case cases[] = {
      {0, 0, u"元気です。", u"元気だにゅ。"},
      {0, 0, u"元気ですか？", u"元気ですか？"},
      {1, 0, u"ありがとうございます。", u"ありがとうございます。"},
      {2, 1, u"見てください", u"見てくださいぴょ"},
      {2, 1, u"わからない", u"わからないぴょ"},
      {1, 1, u"そうなのだ", u"そうなんだにょにょ"},
      {0, 1, u"そうなのだ", u"そうなんだにゅにゅ"},
      {2, 1, u"そうなのだ", u"そうなんだぴょぴょ"},
      {0, 1, u"そうです", u"そうだにゅ"},
      {0, 1, u"わたしです。", u"わたしだにゅ。"},
      {1, 0, u"元気ですよ。", u"元気だにょ。"},
      {2, 0, u"「元気です。」", u"「元気だぴょ」"},
      {2, 1, u"そうでした。します", u"そうだったぴょ。するぴょ"},
      {3, 1, u"そうです", u"そうだにゅ"},
      {-1, 0, u"元気です。", u"元気だにゅ。"},
      {1, -1, u"そうです", u"そうです"},
      {1, 2, u"そうです", u"そうです"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(c.kind) + " force " + std::to_string(c.flagForce) + ": " +
                 Show(c.input));
    EXPECT_EQ(Show(engine::ConvertDialect(c.input, c.kind, c.flagForce)), Show(c.expected));
    EXPECT_EQ(Show(ref::ConvertDialect(c.input, c.kind, c.flagForce)), Show(c.expected));
  }
}

TEST(SpeechStyle, DispatchesOnStyle) {
  const PersonaCase cases[] = {
      {0, 0, 1, 1, 0, u"わたしはあなたが好きです。", u"ぽこりゅんはダ～リンが好きだりゅん。"},
      {4, 0, 0, 0, 1, u"そうなのだ", u"そうなんだにょにょ"},
      {3, 0, 1, 0, 0, u"わたしです。", u"わたしだにゅ。"},
      {5, 1, 1, 1, 1, u"ぽこるはあなたを見てください", u"ぽこるはあなたを見てくださいぴょ"},
      {6, 0, 1, 1, 1, u"わたしです", u"ぽこりゅんだりゅん"},
  };
  for (const PersonaCase& c : cases) {
    SCOPED_TRACE("style " + std::to_string(c.style) + ": " + Show(c.input));
    EXPECT_EQ(Show(engineComparison::StyleConverter(c.style, c.flagPokoru, c.flagFirst,
                                                    c.flagSecond, c.flagForce)
                       .Run(c.input)),
              Show(c.expected));
    EXPECT_EQ(Show(ref::ConvertSpeechStyle(c.input, c.style, c.flagPokoru, c.flagFirst,
                                           c.flagSecond, c.flagForce)),
              Show(c.expected));
  }
}

TEST(SpeechStyle, EmptyTextStaysEmpty) {
  for (int style = -1; style <= 7; ++style) {
    for (int flags = 0; flags < 16; ++flags) {
      EXPECT_TRUE(engineComparison::StyleConverter(style, flags & 1, (flags >> 1) & 1,
                                                   (flags >> 2) & 1, (flags >> 3) & 1)
                      .Run(u"")
                      .empty())
          << "style " << style << " flags " << flags;
    }
  }
}

// Every way of cutting each text in one or two places, in every style.
TEST(Streaming, EveryCutOfShortTexts) {
  const std::u16string_view texts[] = {
      u"それはペンです。",   u"「そうです」。", u"そうです\r\n「はい」",
      u"あです\U0001F600。", u"そうなのだ",     u"なのあなた",
      u"わたくしはﾜﾀｼです｡", u"ですです。です", u"ぽこるさん、でした。",
  };
  for (const std::u16string_view text : texts) {
    for (int style = 0; style <= 5; ++style) {
      for (std::size_t first = 0; first <= text.size(); ++first) {
        for (std::size_t second = first; second <= text.size(); ++second) {
          const std::vector<std::size_t> cuts = {first, second};
          EXPECT_EQ(engineComparison::CompareStreaming(text, cuts, style, 1, 1, 1, 1), "");
        }
      }
    }
  }
}

}  // namespace
