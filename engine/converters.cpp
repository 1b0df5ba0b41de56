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

void AddReplacement(detail::StageChain& chain, std::u16string_view find,
                    std::u16string_view replacement) {
  chain.Add(std::make_unique<detail::ReplaceAllStage>(find, replacement, Comparison::Text));
}

void AddGuardedEnding(detail::StageChain& chain, std::u16string_view replacement) {
  chain.Add(
      std::make_unique<detail::PunctuationGuardStage>(kPoliteEnding, replacement, PUNCTUATION_SET));
}

// Each list runs from its last entry to its first.
template <std::size_t N>
void AddEveryWord(detail::StageChain& chain, const std::array<std::u16string_view, N>& words,
                  std::u16string_view replacement) {
  for (std::size_t i = N; i-- > 0;) {
    AddReplacement(chain, words[i], replacement);
  }
}

template <std::size_t N>
void AddEndings(detail::StageChain& chain, const std::array<std::u16string_view, N>& targets,
                std::u16string_view suffix) {
  for (std::size_t i = N; i-- > 0;) {
    AddReplacement(chain, kEndingSources[i], WithSuffix(targets[i], suffix));
  }
}

detail::StageChain PersonaChain(Style style, const Flags& flags) {
  const std::u16string_view suffix = StyleSuffix(style);
  detail::StageChain chain;
  AddGuardedEnding(chain, kGuardedPersonaEnding);
  // The persona's own name: always in the cheerful style; in the others only
  // when asked for, as the self-name in that style's voice.
  if (style == Style::Cheerful) {
    AddReplacement(chain, kPersonaName, kPersonaNameCheerful);
  } else if (flags.pokoru) {
    AddReplacement(chain, kPersonaName, WithSuffix(kSelfName, suffix));
  }
  if (flags.first) {
    AddEveryWord(chain, kFirstPersonWords, WithSuffix(kSelfName, suffix));
  }
  if (flags.second) {
    AddEveryWord(chain, kSecondPersonWords, WithSuffix(kPartnerName, suffix));
  }
  if (flags.force) {
    AddEndings(chain, kPersonaEndingTargets, suffix);
  }
  return chain;
}

detail::StageChain DialectChain(Style style, const Flags& flags) {
  const auto& targets =
      kDialectEndingTargets[static_cast<std::size_t>(style) - static_cast<std::size_t>(Style::Nyu)];
  detail::StageChain chain;
  AddGuardedEnding(chain, targets[kPoliteEndingIndex]);
  if (flags.force) {
    AddEndings(chain, targets, u"");
  }
  return chain;
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

struct Converter::Rules {
  explicit Rules(detail::StageChain stages) : chain(std::move(stages)), cuts(chain) {}
  detail::StageChain chain;
  detail::SafeCuts cuts;
};

Converter::Converter(Style style, Flags flags)
    : rules_(std::make_unique<Rules>(IsDialect(style) ? DialectChain(style, flags)
                                                      : PersonaChain(style, flags))) {}

Converter::Converter(Converter&&) noexcept = default;
Converter& Converter::operator=(Converter&&) noexcept = default;
Converter::~Converter() = default;

void Converter::Push(std::u16string_view piece, std::u16string& out) {
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
