// A deliberately plain second implementation of the conversion rules, used
// only by the tests and the fuzz target as the oracle for the engine. It follows
// the rules step by step, rebuilds the text at every rewrite and keeps its own
// folding and word lists, so that it shares no code with the engine.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace referenceConversion {

enum class Mode { Binary, Text };

// Full-width counterparts of U+FF61..U+FF9F, in code order.
inline constexpr std::u16string_view kHalfWidthCounterparts =
    u"。「」、・ヲァィゥェォャュョッー"
    u"アイウエオカキクケコサシスセソタチツテトナニヌネノ"
    u"ハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(kHalfWidthCounterparts.size() == 0xFF9F - 0xFF61 + 1);

inline constexpr std::array<std::u16string_view, 11> kFirstPerson = {
    u"わたし", u"わたくし", u"あたし", u"私",     u"拙者", u"自分",
    u"当方",   u"あっし",   u"うち",   u"こちら", u"手前"};

inline constexpr std::array<std::u16string_view, 9> kSecondPerson = {
    u"あなた", u"あんた", u"きみ", u"君", u"貴殿", u"おぬし", u"お主", u"そちら", u"ダーリン"};

inline constexpr std::array<std::u16string_view, 7> kEndingSources = {
    u"ください", u"します", u"なんだ", u"なのだ", u"でした", u"です", u"ない"};

inline constexpr std::array<std::u16string_view, 7> kPersonaTargets = {
    u"くださいりゅん", u"するりゅん", u"なんだりゅん", u"なんだりゅん",
    u"だったりゅん",   u"だりゅん",   u"ないりゅん"};

inline constexpr std::array<std::array<std::u16string_view, 7>, 3> kDialectTargets = {{
    {u"くださいにゅ", u"するにゅ", u"なんだにゅ", u"なんだにゅ", u"だったにゅ", u"だにゅ",
     u"ないにゅ"},
    {u"くださいにょ", u"するにょ", u"なんだにょ", u"なんだにょ", u"だったにょ", u"だにょ",
     u"ないにょ"},
    {u"くださいぴょ", u"するぴょ", u"なんだぴょ", u"なんだぴょ", u"だったぴょ", u"だぴょ",
     u"ないぴょ"},
}};

char16_t Fold(char16_t unit);

std::size_t Find(std::u16string_view haystack, std::u16string_view needle, std::size_t start,
                 Mode mode);
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement, Mode mode);
std::u16string Left(std::u16string_view text, std::ptrdiff_t n);
std::u16string Mid(std::u16string_view text, std::ptrdiff_t p,
                   std::optional<std::ptrdiff_t> n = std::nullopt);
bool ContainsAnyOf(std::u16string_view window, std::u16string_view set, Mode mode);

inline constexpr std::u16string_view kPunctuation = u"。、，．（）「」『』";

struct GuardedResult {
  std::u16string text;
  // False when the rewrite limit was reached (or `visit` asked to stop)
  // before the loop ended by itself.
  bool finished = false;
  std::size_t rewrites = 0;
};

// Called with the text before the first rewrite and after every rewrite;
// returning true stops the loop there.
using Visitor = std::function<bool(std::u16string_view)>;

GuardedResult ReplaceBeforePunctuation(std::u16string_view text, std::u16string_view find,
                                       std::u16string_view replacement, std::u16string_view set,
                                       std::size_t maxRewrites, const Visitor& visit = {});

std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce);
std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce);
std::u16string ConvertSpeechStyle(std::u16string_view text, int speechStyle, int flagPokoru,
                                  int flagFirst, int flagSecond, int flagForce);

}  // namespace referenceConversion
