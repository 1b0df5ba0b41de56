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

// The six speech styles, numbered as the Options menu lists them.
enum class Style : int {
  Standard = 0,  // 標準ぽこる語
  Cheerful = 1,  // 元気なぽこる語
  Troubled = 2,  // お悩みぽこる語
  Nyu = 3,       // ぷちこにゅ
  Nyo = 4,       // でじこにょ
  Pyo = 5,       // ぴよこぴょ
};

inline constexpr int kStyleCount = 6;

// The style of a menu index 0 to 5; any other index is the standard style.
Style StyleAt(int index);

// Whether the style is a character dialect, which rewrites sentence endings
// only (and reads only Flags::force), rather than the persona language.
bool IsDialect(Style style);

struct Flags {
  bool pokoru = false;  // "ぽこる" also in the styles other than the cheerful one
  bool first = false;   // first-person words
  bool second = false;  // second-person words
  bool force = false;   // every sentence ending, not only です before punctuation
};

// How a pushed piece writes its line breaks. The rules see a line break as
// CR LF, and take a lone LF for a character of its own; a piece that holds no
// CR may instead keep its line breaks as LF alone, saving a pass that gives
// each its CR. Its result then has each line break as LF or as CR LF.
enum class LineFeeds {
  AsCharacters,
  StandForCrLf,  // the piece holds no CR, and each LF in it ends a line
};

// One conversion, of a whole text or of a text that arrives in pieces: the
// result is the same whatever the pieces.
class Converter {
 public:
  Converter(Style style, Flags flags);
  Converter(Converter&&) noexcept;
  Converter& operator=(Converter&&) noexcept;
  ~Converter();

  // Converts what it can of `piece`, appending the result to `out`; units
  // that may still belong to a rewrite are held back until the next piece.
  // Within a text, pieces whose LFs stand for CR LF come before any others.
  void Push(std::u16string_view piece, std::u16string& out,
            LineFeeds lineFeeds = LineFeeds::AsCharacters);
  // Appends the rest once the whole text has been pushed; the converter is
  // then ready for another text.
  void Finish(std::u16string& out);
  // Pushes the whole text and finishes.
  std::u16string Run(std::u16string_view text);

  // The first position at or after `from` (and before the text's end) where
  // the text may be cut so that converting the two parts apart gives the
  // whole text's result, or npos. Never inside a CR LF or a surrogate pair.
  std::size_t NextSafeCut(std::u16string_view text, std::size_t from) const;

  struct Rules;

 private:
  std::unique_ptr<Rules> rules_;
};

// ぽこる語 in style 0 (standard), 1 (cheerful) or 2 (troubled); any other
// style is the standard one. Flags are 1 for set, anything else for not set.
std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce);

// The character dialects: kind 0 にゅ, 1 にょ, 2 ぴょ (any other kind: にゅ).
std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce);

}  // namespace mdlFlexConv
