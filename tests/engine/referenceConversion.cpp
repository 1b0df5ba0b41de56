#include "referenceConversion.h"

#include <array>
#include <limits>

namespace referenceConversion {

namespace {

bool UnitsMatch(char16_t a, char16_t b, Mode mode) {
  if (mode == Mode::Binary) {
    return a == b;
  }
  return Fold(a) == Fold(b);
}

bool MatchesAt(std::u16string_view haystack, std::u16string_view needle, std::size_t index,
               Mode mode) {
  for (std::size_t k = 0; k < needle.size(); ++k) {
    if (!UnitsMatch(haystack[index + k], needle[k], mode)) {
      return false;
    }
  }
  return true;
}

std::u16string StyleSuffix(int style) {
  if (style == 1) {
    return u"っ";
  }
  if (style == 2) {
    return u"...";
  }
  return u"";
}

std::u16string Concat(std::u16string_view a, std::u16string_view b) {
  std::u16string out(a);
  out += b;
  return out;
}

std::u16string GuardedEnding(std::u16string_view text, std::u16string_view replacement) {
  return ReplaceBeforePunctuation(text, u"です", replacement, kPunctuation,
                                  std::numeric_limits<std::size_t>::max())
      .text;
}

}  // namespace

char16_t Fold(char16_t unit) {
  char16_t u = unit;
  if (u >= 0xFF61 && u <= 0xFF9F) {
    u = kHalfWidthCounterparts[u - 0xFF61];
  }
  if (u >= 0xFF01 && u <= 0xFF5E) {
    u = static_cast<char16_t>(u - 0xFF01 + 0x21);
  }
  if (u >= u'A' && u <= u'Z') {
    u = static_cast<char16_t>(u - u'A' + u'a');
  }
  if (u >= 0x30A1 && u <= 0x30F6) {
    u = static_cast<char16_t>(u - 0x60);
  }
  return u;
}

std::size_t Find(std::u16string_view haystack, std::u16string_view needle, std::size_t start,
                 Mode mode) {
  if (start > haystack.size()) {
    return 0;
  }
  if (needle.empty()) {
    return start;
  }
  for (std::size_t pos = start; pos + needle.size() <= haystack.size() + 1; ++pos) {
    if (MatchesAt(haystack, needle, pos - 1, mode)) {
      return pos;
    }
  }
  return 0;
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement, Mode mode) {
  if (find.empty()) {
    return std::u16string(text);
  }
  std::u16string out;
  std::size_t pos = 1;
  while (true) {
    const std::size_t found = Find(text, find, pos, mode);
    if (found == 0) {
      out += Mid(text, static_cast<std::ptrdiff_t>(pos));
      return out;
    }
    out += Mid(text, static_cast<std::ptrdiff_t>(pos), static_cast<std::ptrdiff_t>(found - pos));
    out += replacement;
    pos = found + find.size();
  }
}

std::u16string Left(std::u16string_view text, std::ptrdiff_t n) {
  if (n <= 0) {
    return u"";
  }
  if (static_cast<std::size_t>(n) >= text.size()) {
    return std::u16string(text);
  }
  return std::u16string(text.substr(0, static_cast<std::size_t>(n)));
}

std::u16string Mid(std::u16string_view text, std::ptrdiff_t p, std::optional<std::ptrdiff_t> n) {
  const std::size_t first = p < 1 ? 0 : static_cast<std::size_t>(p - 1);
  if (first >= text.size()) {
    return u"";
  }
  std::u16string out;
  for (std::size_t i = first; i < text.size(); ++i) {
    if (n && static_cast<std::ptrdiff_t>(out.size()) >= *n) {
      break;
    }
    out += text[i];
  }
  return out;
}

bool ContainsAnyOf(std::u16string_view window, std::u16string_view set, Mode mode) {
  for (const char16_t w : window) {
    for (const char16_t c : set) {
      if (UnitsMatch(w, c, mode)) {
        return true;
      }
    }
  }
  return false;
}

GuardedResult ReplaceBeforePunctuation(std::u16string_view text, std::u16string_view find,
                                       std::u16string_view replacement, std::u16string_view set,
                                       std::size_t maxRewrites, const Visitor& visit) {
  GuardedResult result{std::u16string(text), false, 0};
  std::u16string& s = result.text;
  if (visit && visit(s)) {
    return result;
  }
  const std::size_t findLength = find.size();
  std::size_t a = 1;
  while (true) {
    a = Find(s, find, a + 1, Mode::Text);
    if (a == 0) {
      result.finished = true;
      return result;
    }
    std::size_t b = a + findLength;
    const std::u16string window = Mid(s, static_cast<std::ptrdiff_t>(b), 3);
    if (!ContainsAnyOf(window, set, Mode::Text)) {
      continue;
    }
    if (result.rewrites == maxRewrites) {
      return result;
    }
    for (const char16_t c : set) {
      const std::size_t p = Find(s, std::u16string_view(&c, 1), a + findLength, Mode::Text);
      if (p != 0 && p < a + 5 && p > b) {
        b = p;
      }
    }
    s = Left(s, static_cast<std::ptrdiff_t>(a) - 1) + std::u16string(replacement) +
        Mid(s, static_cast<std::ptrdiff_t>(b));
    ++result.rewrites;
    if (visit && visit(s)) {
      return result;
    }
  }
}

std::u16string ConvertPersona(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce) {
  const std::u16string suffix = StyleSuffix(style);
  std::u16string s = GuardedEnding(text, u"だりゅん");

  if (style == 1) {
    s = ReplaceAll(s, u"ぽこる", u"ぽこりゅんっ", Mode::Text);
  } else if (flagPokoru == 1) {
    s = ReplaceAll(s, u"ぽこる", Concat(u"ぽこりゅん", suffix), Mode::Text);
  }

  if (flagFirst == 1) {
    const std::u16string self = Concat(u"ぽこりゅん", suffix);
    for (std::size_t i = kFirstPerson.size(); i-- > 0;) {
      s = ReplaceAll(s, kFirstPerson[i], self, Mode::Text);
    }
  }

  if (flagSecond == 1) {
    const std::u16string partner = Concat(u"ダ～リン", suffix);
    for (std::size_t i = kSecondPerson.size(); i-- > 0;) {
      s = ReplaceAll(s, kSecondPerson[i], partner, Mode::Text);
    }
  }

  if (flagForce == 1) {
    for (std::size_t i = kEndingSources.size(); i-- > 0;) {
      s = ReplaceAll(s, kEndingSources[i], Concat(kPersonaTargets[i], suffix), Mode::Text);
    }
  }
  return s;
}

std::u16string ConvertDialect(std::u16string_view text, int kind, int flagForce) {
  const auto& targets = kDialectTargets[(kind == 1 || kind == 2) ? kind : 0];
  std::u16string s = GuardedEnding(text, targets[5]);
  if (flagForce == 1) {
    for (std::size_t i = kEndingSources.size(); i-- > 0;) {
      s = ReplaceAll(s, kEndingSources[i], targets[i], Mode::Text);
    }
  }
  return s;
}

std::u16string ConvertSpeechStyle(std::u16string_view text, int speechStyle, int flagPokoru,
                                  int flagFirst, int flagSecond, int flagForce) {
  if (speechStyle >= 3 && speechStyle <= 5) {
    return ConvertDialect(text, speechStyle - 3, flagForce);
  }
  return ConvertPersona(text, speechStyle, flagPokoru, flagFirst, flagSecond, flagForce);
}

}  // namespace referenceConversion
