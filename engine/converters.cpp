#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mdlFlexConv.h"
#include "rewriteStages.h"
#include "safeCuts.h"

namespace mdlFlexConv {

namespace {

constexpr std::array<std::u16string_view, 11> kFirstPersonWords = {
    u"わたし", u"わたくし", u"あたし", u"私",     u"拙者", u"自分",
    u"当方",   u"あっし",   u"うち",   u"こちら", u"手前",
};

constexpr std::array<std::u16string_view, 9> kSecondPersonWords = {
    u"あなた", u"あんた", u"きみ", u"君", u"貴殿", u"おぬし", u"お主", u"そちら", u"ダーリン",
};

// Sentence endings, shared by the persona language and the dialects.
constexpr std::array<std::u16string_view, 7> kEndingSources = {
    u"ください", u"します", u"なんだ", u"なのだ", u"でした", u"です", u"ない",
};

constexpr std::array<std::u16string_view, 7> kPersonaEndingTargets = {
    u"くださいりゅん", u"するりゅん", u"なんだりゅん", u"なんだりゅん",
    u"だったりゅん",   u"だりゅん",   u"ないりゅん",
};

// Ending targets of the dialects: にゅ, にょ, ぴょ.
constexpr std::array<std::array<std::u16string_view, 7>, 3> kDialectEndingTargets = {{
    {u"くださいにゅ", u"するにゅ", u"なんだにゅ", u"なんだにゅ", u"だったにゅ", u"だにゅ",
     u"ないにゅ"},
    {u"くださいにょ", u"するにょ", u"なんだにょ", u"なんだにょ", u"だったにょ", u"だにょ",
     u"ないにょ"},
    {u"くださいぴょ", u"するぴょ", u"なんだぴょ", u"なんだぴょ", u"だったぴょ", u"だぴょ",
     u"ないぴょ"},
}};

constexpr std::u16string_view kPoliteEnding = u"です";
constexpr std::size_t kPoliteEndingIndex = 5;
constexpr std::u16string_view kSelfName = u"ぽこりゅん";
constexpr std::u16string_view kPartnerName = u"ダ～リン";
constexpr std::u16string_view kGuardedPersonaEnding = u"だりゅん";
constexpr std::u16string_view kPersonaName = u"ぽこる";
constexpr std::u16string_view kPersonaNameCheerful = u"ぽこりゅんっ";

std::u16string_view StyleSuffix(Style style) {
  switch (style) {
    case Style::Cheerful:
      return u"っ";
    case Style::Troubled:
      return u"...";
    default:
      return u"";
  }
}

std::u16string WithSuffix(std::u16string_view word, std::u16string_view suffix) {
  std::u16string result(word);
  result.append(suffix);
  return result;
}

}  // namespace

// The rules of a conversion: its chain of stages, and the safe cuts, told the
// words of each stage as it is added.
struct Converter::Rules {
  detail::StageChain chain;
  detail::SafeCuts cuts;
  detail::PunctuationGuardStage* guard = nullptr;  // the one stage that sees line breaks

  void AddReplacement(std::u16string_view find, std::u16string_view replacement) {
    AddReplacements({find}, {replacement});
  }

  // Each word in turn by its replacement, by one stage.
  void AddReplacements(const std::vector<std::u16string_view>& finds,
                       const std::vector<std::u16string_view>& replacements) {
    auto stage = std::make_unique<detail::ReplaceAllStage>(finds, replacements, Comparison::Text);
    for (const detail::Needle& word : stage->Words()) {
      cuts.Learn(word);
    }
    chain.Add(std::move(stage));
  }

  // Each word in turn, as many together in one stage as give the same text
  // that way: for the word lists as they stand, each list in one, and the
  // sentence endings in a few.
  void AddInTurn(const std::vector<std::u16string_view>& finds,
                 const std::vector<std::u16string_view>& replacements) {
    const auto part = [](const std::vector<std::u16string_view>& all, std::size_t from,
                         std::size_t to) {
      return std::vector<std::u16string_view>(all.begin() + static_cast<std::ptrdiff_t>(from),
                                              all.begin() + static_cast<std::ptrdiff_t>(to));
    };
    std::size_t start = 0;
    for (std::size_t end = start + 2; end <= finds.size(); ++end) {
      if (!detail::ReplacedTogetherAlike(part(finds, start, end), part(replacements, start, end),
                                         Comparison::Text)) {
        AddReplacements(part(finds, start, end - 1), part(replacements, start, end - 1));
        start = end - 1;
      }
    }
    if (start < finds.size()) {
      AddReplacements(part(finds, start, finds.size()), part(replacements, start, finds.size()));
    }
  }

  void AddGuardedEnding(std::u16string_view replacement) {
    auto stage = std::make_unique<detail::PunctuationGuardStage>(kPoliteEnding, replacement,
                                                                 PUNCTUATION_SET);
    cuts.LearnGuarded(stage->Find(), stage->Lookahead(), stage->MayFeedOnItself());
    guard = stage.get();
    chain.Add(std::move(stage));
  }

  // Each list runs from its last entry to its first.
  template <std::size_t N>
  void AddEveryWord(const std::array<std::u16string_view, N>& words,
                    std::u16string_view replacement) {
    AddInTurn({words.rbegin(), words.rend()}, std::vector<std::u16string_view>(N, replacement));
  }

  template <std::size_t N>
  void AddEndings(const std::array<std::u16string_view, N>& targets, std::u16string_view suffix) {
    static_assert(N == kEndingSources.size());
    std::vector<std::u16string> replacements;
    for (std::size_t i = N; i-- > 0;) {
      replacements.push_back(WithSuffix(targets[i], suffix));
    }
    AddInTurn({kEndingSources.rbegin(), kEndingSources.rend()},
              {replacements.begin(), replacements.end()});
  }
};

namespace {

std::unique_ptr<Converter::Rules> PersonaRules(Style style, const Flags& flags) {
  const std::u16string_view suffix = StyleSuffix(style);
  auto rules = std::make_unique<Converter::Rules>();
  rules->AddGuardedEnding(kGuardedPersonaEnding);
  // The persona's own name: always in the cheerful style; in the others only
  // when asked for, as the self-name in that style's voice.
  if (style == Style::Cheerful) {
    rules->AddReplacement(kPersonaName, kPersonaNameCheerful);
  } else if (flags.pokoru) {
    rules->AddReplacement(kPersonaName, WithSuffix(kSelfName, suffix));
  }
  if (flags.first) {
    rules->AddEveryWord(kFirstPersonWords, WithSuffix(kSelfName, suffix));
  }
  if (flags.second) {
    rules->AddEveryWord(kSecondPersonWords, WithSuffix(kPartnerName, suffix));
  }
  if (flags.force) {
    rules->AddEndings(kPersonaEndingTargets, suffix);
  }
  return rules;
}

std::unique_ptr<Converter::Rules> DialectRules(Style style, const Flags& flags) {
  const auto& targets =
      kDialectEndingTargets[static_cast<std::size_t>(style) - static_cast<std::size_t>(Style::Nyu)];
  auto rules = std::make_unique<Converter::Rules>();
  rules->AddGuardedEnding(targets[kPoliteEndingIndex]);
  if (flags.force) {
    rules->AddEndings(targets, u"");
  }
  return rules;
}

bool IsSet(int flag) {
  return flag == 1;
}

}  // namespace

Style StyleAt(int index) {
  return index >= 0 && index < kStyleCount ? static_cast<Style>(index) : Style::Standard;
}

bool IsDialect(Style style) {
  return style == Style::Nyu || style == Style::Nyo || style == Style::Pyo;
}

Converter::Converter(Style style, Flags flags)
    : rules_(IsDialect(style) ? DialectRules(style, flags) : PersonaRules(style, flags)) {}

Converter::Converter(Converter&&) noexcept = default;
Converter& Converter::operator=(Converter&&) noexcept = default;
Converter::~Converter() = default;

void Converter::Push(std::u16string_view piece, std::u16string& out, LineFeeds lineFeeds) {
  // The other stages' words hold no line break, so they find the same
  // matches whether or not an LF has its CR.
  if (rules_->guard != nullptr) {
    rules_->guard->TakeLineFeeds(lineFeeds);
  }
  rules_->chain.Push(piece, out);
}

void Converter::Finish(std::u16string& out) {
  rules_->chain.Finish(out);
  rules_->chain.Reset();
}

std::u16string Converter::Run(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 2 + 16);
  Push(text, out);
  Finish(out);
  return out;
}

std::size_t Converter::NextSafeCut(std::u16string_view text, std::size_t from) const {
  return rules_->cuts.Next(text, from);
}

std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce) {
  const Style persona = style == 1   ? Style::Cheerful
                        : style == 2 ? Style::Troubled
                                     : Style::Standard;
  return Converter(persona,
                   {IsSet(flagPokoru), IsSet(flagFirst), IsSet(flagSecond), IsSet(flagForce)})
      .Run(text);
}

std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce) {
  const Style dialect = kind == 1 ? Style::Nyo : kind == 2 ? Style::Pyo : Style::Nyu;
  return Converter(dialect, {false, false, false, IsSet(flagForce)}).Run(text);
}

}  // namespace mdlFlexConv
