// The conversion engine: text matching, the punctuation-guarded ending and the
// persona and dialect converters. Plain C++ on UTF-16 code units; positions
// that the rules speak of are 1-based, 0 meaning "not found".
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mdlFlexConv {

enum class Comparison : int {
  Binary = 0,  // units match only when identical
  Text = 1,    // units match after folding case, width and kana type
};

// The unit that stands for `unit` under text comparison: ASCII and full-width
// Latin letters fold to lower-case ASCII, the full-width ASCII block to ASCII,
// half-width forms to their full-width counterparts, katakana to hiragana.
// Every fold maps one unit to one unit.
char16_t FoldForTextComparison(char16_t unit);

// First occurrence of needle that begins at or after `start` (1-based), or 0.
// An empty needle is found at `start` itself while start is within the text.
std::size_t Find(std::u16string_view haystack, std::u16string_view needle, std::size_t start,
                 Comparison mode);

// Every non-overlapping occurrence of find replaced, left to right; the
// replacements are not searched again. An empty find leaves the text as it is.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement, Comparison mode);

// The first n units (none when n <= 0, all when n >= the length).
std::u16string Left(std::u16string_view text, std::ptrdiff_t n);

// The units from position p (1-based; below 1 counts as 1) on, at most n of
// them when n is given (a negative n counts as 0).
std::u16string Mid(std::u16string_view text, std::ptrdiff_t p,
                   std::optional<std::ptrdiff_t> n = std::nullopt);

// True when some unit of window matches some unit of set.
bool ContainsAnyOf(std::u16string_view window, std::u16string_view set, Comparison mode);

// The marks after which a polite ending counts as the end of a clause.
inline constexpr std::u16string_view PUNCTUATION_SET = u"。、，．（）「」『』";

// Rewrites `find` to `replacement` where a mark of `set` follows within three
// units, dropping the short tail before the farthest such mark. An occurrence
// at position 1 is never rewritten. Should the rewriting feed on its own
// replacements without end (possible only for a replacement that can begin a
// new match of `find`), it stops there and keeps the text as it stands.
std::u16string ReplaceBeforePunctuation(std::u16string_view text, std::u16string_view find,
                                        std::u16string_view replacement, std::u16string_view set);

// ぽこる語 in style 0 (standard), 1 (cheerful) or 2 (troubled). Flags are 1 for
// set, anything else for not set.
std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce);

// The character dialects: kind 0 にゅ, 1 にょ, 2 ぴょ (any other kind: にゅ).
std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce);

// The conversion the window's Convert command performs for a speech style
// 0 to 5 and the four flags: styles 3 to 5 are the dialects (only flagForce is
// read), every other style the persona language.
std::u16string ConvertSpeechStyle(std::u16string_view text, int speechStyle, int flagPokoru,
                                  int flagFirst, int flagSecond, int flagForce);

// One conversion run over a text that arrives in pieces. The result is the
// same as converting the whole text at once, whatever the pieces.
class Converter {
 public:
  static Converter Persona(int style, int flagPokoru, int flagFirst, int flagSecond, int flagForce);
  static Converter Dialect(int kind, int flagForce);
  static Converter SpeechStyle(int speechStyle, int flagPokoru, int flagFirst, int flagSecond,
                               int flagForce);

  Converter(Converter&&) noexcept;
  Converter& operator=(Converter&&) noexcept;
  ~Converter();

  // Converts what it can of `piece`, appending the result to `out`; a few
  // units may be held back until the next piece shows how they end.
  void Push(std::u16string_view piece, std::u16string& out);
  // Appends the rest once the whole text has been pushed. The converter is
  // then spent.
  void Finish(std::u16string& out);

  // Pushes the whole text and finishes.
  std::u16string Run(std::u16string_view text);

  struct Pipeline;

 private:
  explicit Converter(std::unique_ptr<Pipeline> pipeline);
  std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace mdlFlexConv
