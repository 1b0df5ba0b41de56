#include "engineComparison.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "mdlFlexConv.h"
#include "referenceConversion.h"

namespace engineComparison {

namespace engine = mdlFlexConv;
namespace ref = referenceConversion;

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Escaped(char16_t unit) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\u{%04X}", static_cast<unsigned>(unit));
  return buffer;
}

bool IsHigh(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

std::string Mismatch(const std::string& call, const std::string& engineResult,
                     const std::string& referenceResult) {
  return call + "\n  engine:    " + engineResult + "\n  reference: " + referenceResult;
}

std::string Quoted(std::u16string_view text) {
  return "\"" + Show(text) + "\"";
}

std::string Flags(int style, int flagPokoru, int flagFirst, int flagSecond, int flagForce) {
  std::ostringstream out;
  out << "style " << style << ", flags (" << flagPokoru << "," << flagFirst << "," << flagSecond
      << "," << flagForce << ")";
  return out.str();
}

engine::Comparison EngineMode(ref::Mode mode) {
  return mode == ref::Mode::Text ? engine::Comparison::Text : engine::Comparison::Binary;
}

const char* ModeName(ref::Mode mode) {
  return mode == ref::Mode::Text ? "text" : "binary";
}

constexpr ref::Mode kModes[] = {ref::Mode::Binary, ref::Mode::Text};

std::u16string RunInPieces(engine::Converter& converter, std::u16string_view text,
                           const std::vector<std::size_t>& cuts) {
  std::u16string out;
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    const std::size_t to = std::clamp(cut, from, text.size());
    converter.Push(text.substr(from, to - from), out);
    from = to;
  }
  converter.Push(text.substr(from), out);
  converter.Finish(out);
  return out;
}

// Following the rule's loop costs the square of the result's length.
constexpr std::size_t kLongestFollowed = 50000;

std::string CutsText(const std::vector<std::size_t>& cuts) {
  std::ostringstream out;
  out << "cuts at";
  for (const std::size_t cut : cuts) {
    out << ' ' << cut;
  }
  return out.str();
}

}  // namespace

Watchdog::Watchdog(std::chrono::milliseconds limit) : limit_(limit), thread_([this] { Watch(); }) {}

Watchdog::~Watchdog() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void Watchdog::Arm(const std::string& call) {
  {
    const std::lock_guard lock(mutex_);
    call_ = call;
    armed_ = true;
    ++generation_;
  }
  changed_.notify_all();
}

void Watchdog::Disarm() {
  const std::lock_guard lock(mutex_);
  armed_ = false;
}

void Watchdog::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    changed_.wait(lock, [this] { return armed_ || stopping_; });
    const std::uint64_t watched = generation_;
    const bool ended = changed_.wait_for(
        lock, limit_, [&] { return stopping_ || !armed_ || generation_ != watched; });
    if (!ended) {
      std::fprintf(stderr, "The engine did not end within %lld ms:\n%s\n",
                   static_cast<long long>(limit_.count()), call_.c_str());
      std::fflush(stderr);
      std::_Exit(1);
    }
  }
}

std::string Show(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u == u'\r') {
      out += "\\r";
    } else if (u == u'\n') {
      out += "\\n";
    } else if (u == u'\\') {
      out += "\\\\";
    } else if (u < 0x20 || u == 0x7F) {
      out += Escaped(u);
    } else if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      out += Escaped(u);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::string CompareFold(char16_t unit) {
  const char16_t e = engine::FoldForTextComparison(unit);
  const char16_t r = ref::Fold(unit);
  if (e == r) {
    return {};
  }
  return Mismatch("Fold(" + Escaped(unit) + ")", Escaped(e), Escaped(r));
}

std::string CompareFind(std::u16string_view haystack, std::u16string_view needle,
                        std::size_t start) {
  for (const ref::Mode mode : kModes) {
    const std::size_t e = engine::Find(haystack, needle, start, EngineMode(mode));
    const std::size_t r = ref::Find(haystack, needle, start, mode);
    if (e != r) {
      return Mismatch("Find(" + Quoted(haystack) + ", " + Quoted(needle) + ", " +
                          std::to_string(start) + ", " + ModeName(mode) + ")",
                      std::to_string(e), std::to_string(r));
    }
  }
  return {};
}

std::string CompareReplaceAll(std::u16string_view text, std::u16string_view find,
                              std::u16string_view replacement) {
  for (const ref::Mode mode : kModes) {
    const std::u16string e = engine::ReplaceAll(text, find, replacement, EngineMode(mode));
    const std::u16string r = ref::ReplaceAll(text, find, replacement, mode);
    if (e != r) {
      return Mismatch("ReplaceAll(" + Quoted(text) + ", " + Quoted(find) + ", " +
                          Quoted(replacement) + ", " + ModeName(mode) + ")",
                      Quoted(e), Quoted(r));
    }
  }
  return {};
}

std::string CompareContainsAnyOf(std::u16string_view window, std::u16string_view set) {
  for (const ref::Mode mode : kModes) {
    const bool e = engine::ContainsAnyOf(window, set, EngineMode(mode));
    const bool r = ref::ContainsAnyOf(window, set, mode);
    if (e != r) {
      return Mismatch(
          "ContainsAnyOf(" + Quoted(window) + ", " + Quoted(set) + ", " + ModeName(mode) + ")",
          e ? "true" : "false", r ? "true" : "false");
    }
  }
  return {};
}

std::string CompareLeftMid(std::u16string_view text, std::ptrdiff_t p,
                           std::optional<std::ptrdiff_t> n) {
  const std::string count = n ? std::to_string(*n) : "none";
  const std::u16string left = engine::Left(text, p);
  const std::u16string leftRef = ref::Left(text, p);
  if (left != leftRef) {
    return Mismatch("Left(" + Quoted(text) + ", " + std::to_string(p) + ")", Quoted(left),
                    Quoted(leftRef));
  }
  const std::u16string mid = engine::Mid(text, p, n);
  const std::u16string midRef = ref::Mid(text, p, n);
  if (mid != midRef) {
    return Mismatch("Mid(" + Quoted(text) + ", " + std::to_string(p) + ", " + count + ")",
                    Quoted(mid), Quoted(midRef));
  }
  return {};
}

std::string CompareGuarded(std::u16string_view text, std::u16string_view find,
                           std::u16string_view replacement, std::u16string_view set,
                           std::size_t minRewrites, Watchdog* watchdog) {
  const std::string call = "ReplaceBeforePunctuation(" + Quoted(text) + ", " + Quoted(find) + ", " +
                           Quoted(replacement) + ", " + Quoted(set) + ")";
  const ref::GuardedResult quick =
      ref::ReplaceBeforePunctuation(text, find, replacement, set, minRewrites);
  if (watchdog != nullptr) {
    watchdog->Arm(call);
  }
  const std::u16string e = engine::ReplaceBeforePunctuation(text, find, replacement, set);
  if (watchdog != nullptr) {
    watchdog->Disarm();
  }
  if (quick.finished) {
    return quick.text == e ? std::string() : Mismatch(call, Quoted(e), Quoted(quick.text));
  }
  if (e.size() > kLongestFollowed) {
    return Mismatch(call, Quoted(e), "does not end; the engine's result is too long to follow");
  }
  bool passed = false;
  const ref::GuardedResult r = ref::ReplaceBeforePunctuation(text, find, replacement, set,
                                                             std::max(minRewrites, e.size() + 1),
                                                             [&](std::u16string_view s) {
                                                               passed = passed || s == e;
                                                               return false;
                                                             });
  if (r.finished && r.text != e) {
    return Mismatch(call, Quoted(e), Quoted(r.text));
  }
  if (!r.finished && !passed) {
    return Mismatch(call, Quoted(e),
                    "does not end; the engine's result is none of the texts it passes through");
  }
  return {};
}

mdlFlexConv::Converter StyleConverter(int style, int flagPokoru, int flagFirst, int flagSecond,
                                      int flagForce) {
  return mdlFlexConv::Converter(mdlFlexConv::StyleAt(style),
                                {flagPokoru == 1, flagFirst == 1, flagSecond == 1, flagForce == 1});
}

std::string CompareConversion(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce) {
  const std::string call =
      Quoted(text) + ", " + Flags(style, flagPokoru, flagFirst, flagSecond, flagForce);
  const std::u16string r =
      ref::ConvertSpeechStyle(text, style, flagPokoru, flagFirst, flagSecond, flagForce);
  const std::u16string e =
      StyleConverter(style, flagPokoru, flagFirst, flagSecond, flagForce).Run(text);
  if (e != r) {
    return Mismatch("Converter(" + call + ")", Quoted(e), Quoted(r));
  }
  if (mdlFlexConv::IsDialect(mdlFlexConv::StyleAt(style))) {
    const std::u16string d = engine::ConvertDialect(text, style - 3, flagForce);
    if (d != r) {
      return Mismatch("ConvertDialect(" + call + ")", Quoted(d), Quoted(r));
    }
  } else {
    const std::u16string p =
        engine::ConvertPersona(text, style, flagPokoru, flagFirst, flagSecond, flagForce);
    if (p != r) {
      return Mismatch("ConvertPersona(" + call + ")", Quoted(p), Quoted(r));
    }
  }
  return {};
}

std::string CompareStreaming(std::u16string_view text, const std::vector<std::size_t>& cuts,
                             int style, int flagPokoru, int flagFirst, int flagSecond,
                             int flagForce) {
  const std::string call = Quoted(text) + ", " +
                           Flags(style, flagPokoru, flagFirst, flagSecond, flagForce) + ", " +
                           CutsText(cuts);
  const std::u16string whole =
      StyleConverter(style, flagPokoru, flagFirst, flagSecond, flagForce).Run(text);
  mdlFlexConv::Converter converter =
      StyleConverter(style, flagPokoru, flagFirst, flagSecond, flagForce);
  const std::u16string streamed = RunInPieces(converter, text, cuts);
  if (streamed != whole) {
    return Mismatch("Converter(" + call + ")", Quoted(streamed), Quoted(whole));
  }
  // Finishing makes the converter ready for the next text.
  const std::u16string again = RunInPieces(converter, text, cuts);
  if (again != whole) {
    return Mismatch("Converter again(" + call + ")", Quoted(again), Quoted(whole));
  }
  return {};
}

std::string CompareSafeCuts(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                            int flagSecond, int flagForce, std::size_t& cutsTried) {
  mdlFlexConv::Converter converter =
      StyleConverter(style, flagPokoru, flagFirst, flagSecond, flagForce);
  const std::u16string whole = converter.Run(text);
  for (std::size_t cut = converter.NextSafeCut(text, 0); cut != std::u16string_view::npos;
       cut = converter.NextSafeCut(text, cut + 1)) {
    ++cutsTried;
    const std::u16string parts =
        converter.Run(text.substr(0, cut)) + converter.Run(text.substr(cut));
    const bool splitsAPair = (text[cut - 1] == u'\r' && text[cut] == u'\n') ||
                             (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF);
    if (parts != whole || splitsAPair) {
      return Mismatch("a cut at " + std::to_string(cut) + " of " + Quoted(text) + ", " +
                          Flags(style, flagPokoru, flagFirst, flagSecond, flagForce),
                      Quoted(parts), Quoted(whole));
    }
  }
  return {};
}

}  // namespace engineComparison
