#include "textGenerator.h"

#include <algorithm>
#include <array>

#include "referenceConversion.h"

namespace textGenerator {

namespace {

constexpr std::u16string_view kVoiced = u"ガギグゲゴザジズゼゾダヂヅデドバビブベボ";
constexpr std::u16string_view kSemiVoiced = u"パピプペポ";
constexpr char16_t kHalfVoicedMark = 0xFF9E;
constexpr char16_t kHalfSemiVoicedMark = 0xFF9F;

// Every punctuation mark of the guard in all its widths, and marks that look
// alike but do not count.
constexpr std::array<std::u16string_view, 26> kMarks = {
    u"。", u"｡",  u"、", u"､",  u"，", u",",  u"．", u".",  u"（", u"(", u"）", u")", u"「",
    u"｢",  u"」", u"｣",  u"『", u"』", u"！", u"!",  u"？", u"?",  u"…", u"・", u"･", u"..."};

// Polite endings as they come before a clause ends, some not matching です.
constexpr std::array<std::u16string_view, 8> kPolite = {
    u"です", u"デス", u"ﾃﾞｽ", u"です", u"でした", u"ですです", u"なんです", u"で"};

constexpr std::array<std::u16string_view, 3> kLineBreaks = {u"\r\n", u"\r", u"\n"};

constexpr std::array<std::u16string_view, 7> kTails = {u"よ",     u"ね", u"から", u"ねえ",
                                                       u"よねえ", u"か", u"の"};

constexpr std::array<std::u16string_view, 40> kOthers = {
    u"\U0001F600", u"\U00020BB7", u"\xD83D", u"\xDE00", u"a",    u"A",    u"Ａ",   u"ａ",
    u" ",          u"　",         u"好き",   u"行か",   u"そう", u"本当", u"こう", u"ちゃ",
    u"はい",       u"ﾃﾞｽ",        u"た゛",   u"ﾀﾞ",     u"゛",   u"゜",   u"ﾞ",    u"ﾟ",
    u"ヷ",         u"ヴ",         u"ゔ",     u"ゖ",     u"ヶ",   u"ヽ",   u"ー",   u"～",
    u"~",          u"ｰ",          u"で",     u"す",     u"デ",   u"ｽ",    u"だ",   u"な"};

std::u16string HalfWidthOf(char16_t fullWidth) {
  const std::u16string_view table = referenceConversion::kHalfWidthCounterparts;
  const std::size_t at = table.find(fullWidth);
  if (at != std::u16string_view::npos) {
    return std::u16string(1, static_cast<char16_t>(0xFF61 + at));
  }
  return {};
}

}  // namespace

std::u16string ToKatakana(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& u : out) {
    if (u >= 0x3041 && u <= 0x3096) {
      u = static_cast<char16_t>(u + 0x60);
    }
  }
  return out;
}

std::u16string ToHalfWidth(std::u16string_view text) {
  std::u16string out;
  for (const char16_t u : ToKatakana(text)) {
    std::u16string half = HalfWidthOf(u);
    if (half.empty() && kVoiced.find(u) != std::u16string_view::npos) {
      half = HalfWidthOf(static_cast<char16_t>(u - 1)) + kHalfVoicedMark;
    } else if (half.empty() && kSemiVoiced.find(u) != std::u16string_view::npos) {
      half = HalfWidthOf(static_cast<char16_t>(u - 2)) + kHalfSemiVoicedMark;
    } else if (half.empty() && u == u'ヴ') {
      half = HalfWidthOf(u'ウ') + kHalfVoicedMark;
    }
    out += half.empty() ? std::u16string(1, u) : half;
  }
  return out;
}

Generator::Generator(std::uint32_t seed) : rng_(seed) {
  namespace ref = referenceConversion;
  std::vector<std::u16string_view> plain(ref::kFirstPerson.begin(), ref::kFirstPerson.end());
  plain.insert(plain.end(), ref::kSecondPerson.begin(), ref::kSecondPerson.end());
  plain.insert(plain.end(), ref::kEndingSources.begin(), ref::kEndingSources.end());
  plain.insert(plain.end(), ref::kPersonaTargets.begin(), ref::kPersonaTargets.end());
  for (const auto& column : ref::kDialectTargets) {
    plain.insert(plain.end(), column.begin(), column.end());
  }
  for (const std::u16string_view fixed :
       {u"ぽこる", u"ぽこりゅん", u"ぽこりゅんっ", u"ダ～リン", u"なの", u"ぽこ"}) {
    plain.push_back(fixed);
  }
  for (const std::u16string_view word : plain) {
    words_.emplace_back(word);
    words_.push_back(ToKatakana(word));
    words_.push_back(ToHalfWidth(word));
  }
  std::sort(words_.begin(), words_.end());
  words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
}

std::size_t Generator::Below(std::size_t n) {
  return n == 0 ? 0 : static_cast<std::size_t>(rng_() % n);
}

std::u16string Generator::CutWord() {
  const std::u16string& word = Pick(words_);
  const std::size_t cut = Below(word.size() + 1);
  return OneIn(2) ? word.substr(0, cut) : word.substr(cut);
}

std::u16string Generator::Text(std::size_t maxFragments) {
  std::u16string out;
  const std::size_t count = Below(maxFragments + 1);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t kind = Below(100);
    if (kind < 12) {
      out += Pick(kPolite);
      if (OneIn(2)) {
        out += Pick(kTails);
      }
      out += Pick(kMarks);
    } else if (kind < 35) {
      out += Pick(words_);
    } else if (kind < 45) {
      out += CutWord();
    } else if (kind < 70) {
      out += Pick(kMarks);
    } else if (kind < 78) {
      out += Pick(kLineBreaks);
    } else if (kind < 85) {
      out += Pick(kTails);
    } else {
      out += Pick(kOthers);
    }
  }
  return out;
}

std::u16string Generator::FromAlphabet(std::u16string_view alphabet, std::size_t maxLength) {
  std::u16string out;
  const std::size_t length = Below(maxLength + 1);
  for (std::size_t i = 0; i < length; ++i) {
    out += Pick(alphabet);
  }
  return out;
}

std::vector<std::size_t> Generator::CutPoints(std::size_t length) {
  std::vector<std::size_t> cuts(Below(6));
  for (std::size_t& cut : cuts) {
    cut = Below(length + 1);
  }
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

}  // namespace textGenerator
