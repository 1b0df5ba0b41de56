#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "mdlFlexConv.h"
#include "stages.h"

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

constexpr int kCheerful = 1;
constexpr int kTroubled = 2;

bool IsSet(int flag) {
  return flag == 1;
}

std::u16string_view StyleSuffix(int style) {
  switch (style) {
    case kCheerful:
      return u"っ";
    case kTroubled:
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

detail::StageChain PersonaChain(int style, int flagPokoru, int flagFirst, int flagSecond,
                                int flagForce) {
  const std::u16string_view suffix = StyleSuffix(style);
  detail::StageChain chain;
  AddGuardedEnding(chain, kGuardedPersonaEnding);
  // The persona's own name: always in the cheerful style; in the others only
  // when asked for, as the self-name in that style's voice.
  if (style == kCheerful) {
    AddReplacement(chain, kPersonaName, kPersonaNameCheerful);
  } else if (IsSet(flagPokoru)) {
    AddReplacement(chain, kPersonaName, WithSuffix(kSelfName, suffix));
  }
  if (IsSet(flagFirst)) {
    AddEveryWord(chain, kFirstPersonWords, WithSuffix(kSelfName, suffix));
  }
  if (IsSet(flagSecond)) {
    AddEveryWord(chain, kSecondPersonWords, WithSuffix(kPartnerName, suffix));
  }
  if (IsSet(flagForce)) {
    AddEndings(chain, kPersonaEndingTargets, suffix);
  }
  return chain;
}

const std::array<std::u16string_view, 7>& DialectTargets(int kind) {
  return kDialectEndingTargets[kind == 1 || kind == 2 ? kind : 0];
}

detail::StageChain DialectChain(int kind, int flagForce) {
  const auto& targets = DialectTargets(kind);
  detail::StageChain chain;
  AddGuardedEnding(chain, targets[kPoliteEndingIndex]);
  if (IsSet(flagForce)) {
    AddEndings(chain, targets, u"");
  }
  return chain;
}

}  // namespace

struct Converter::Pipeline {
  detail::StageChain chain;
};

Converter::Converter(std::unique_ptr<Pipeline> pipeline) : pipeline_(std::move(pipeline)) {}
Converter::Converter(Converter&&) noexcept = default;
Converter& Converter::operator=(Converter&&) noexcept = default;
Converter::~Converter() = default;

Converter Converter::Persona(int style, int flagPokoru, int flagFirst, int flagSecond,
                             int flagForce) {
  return Converter(std::make_unique<Pipeline>(
      Pipeline{PersonaChain(style, flagPokoru, flagFirst, flagSecond, flagForce)}));
}

Converter Converter::Dialect(int kind, int flagForce) {
  return Converter(std::make_unique<Pipeline>(Pipeline{DialectChain(kind, flagForce)}));
}

Converter Converter::SpeechStyle(int speechStyle, int flagPokoru, int flagFirst, int flagSecond,
                                 int flagForce) {
  switch (speechStyle) {
    case 3:
    case 4:
    case 5:
      return Dialect(speechStyle - 3, flagForce);
    default:
      return Persona(speechStyle, flagPokoru, flagFirst, flagSecond, flagForce);
  }
}

void Converter::Push(std::u16string_view piece, std::u16string& out) {
  pipeline_->chain.Push(piece, out);
}

void Converter::Finish(std::u16string& out) {
  pipeline_->chain.Finish(out);
}

std::u16string Converter::Run(std::u16string_view text) {
  return detail::RunWhole(pipeline_->chain, text);
}

std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce) {
  return Converter::Persona(style, flagPokoru, flagFirst, flagSecond, flagForce).Run(text);
}

std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce) {
  return Converter::Dialect(kind, flagForce).Run(text);
}

std::u16string ConvertSpeechStyle(std::u16string_view text, int speechStyle, int flagPokoru,
                                  int flagFirst, int flagSecond, int flagForce) {
  return Converter::SpeechStyle(speechStyle, flagPokoru, flagFirst, flagSecond, flagForce)
      .Run(text);
}

}  // namespace mdlFlexConv
