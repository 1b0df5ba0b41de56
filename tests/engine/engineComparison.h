// Runs the engine and the reference side by side on one set of arguments.
// Every Compare function returns an empty string when the two agree and
// otherwise a description of the arguments and both results.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mdlFlexConv.h"

namespace engineComparison {

// Readable and unambiguous: UTF-8, with line breaks, other control units,
// lone surrogates and backslashes escaped.
std::string Show(std::u16string_view text);

std::string CompareFold(char16_t unit);
std::string CompareFind(std::u16string_view haystack, std::u16string_view needle,
                        std::size_t start);
std::string CompareReplaceAll(std::u16string_view text, std::u16string_view find,
                              std::u16string_view replacement);
std::string CompareContainsAnyOf(std::u16string_view window, std::u16string_view set);
std::string CompareLeftMid(std::u16string_view text, std::ptrdiff_t p,
                           std::optional<std::ptrdiff_t> n);

// Ends the process with a message when a call it watches runs past the time
// limit, so that an engine rewriting without end fails its test within
// seconds instead of hanging it and eating memory.
// Generous for the small texts the tests give, even under the sanitizers.
inline constexpr std::chrono::seconds kEngineTimeLimit{5};

class Watchdog {
 public:
  explicit Watchdog(std::chrono::milliseconds limit);
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  ~Watchdog();

  void Arm(const std::string& call);
  void Disarm();

 private:
  void Watch();

  std::chrono::milliseconds limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string call_;
  std::uint64_t generation_ = 0;
  bool armed_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// When the rule's loop ends within max(minRewrites, the engine's result
// length + 1) rewrites, the engine must give its result exactly; otherwise
// (the loop feeds on itself) the engine's result must be one of the texts the
// loop passes through. No later text can equal it, since after k rewrites the
// text is at least k + 1 units long. The engine's call is watched when a
// watchdog is given (the fuzzer has a timeout of its own).
std::string CompareGuarded(std::u16string_view text, std::u16string_view find,
                           std::u16string_view replacement, std::u16string_view set,
                           std::size_t minRewrites, Watchdog* watchdog);

// The engine's converter for a speech style 0 to 5 (any other: the standard
// style) and the four flags as the integers the window passes (1 for set).
mdlFlexConv::Converter StyleConverter(int style, int flagPokoru, int flagFirst, int flagSecond,
                                      int flagForce);

// The converter for the style, and ConvertPersona or ConvertDialect where the
// style names one.
std::string CompareConversion(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                              int flagSecond, int flagForce);

// At every place the converter calls a safe cut, the two parts converted
// apart against the whole text converted; `cutsTried` counts the places.
std::string CompareSafeCuts(std::u16string_view text, int style, int flagPokoru, int flagFirst,
                            int flagSecond, int flagForce, std::size_t& cutsTried);

// The streaming converters fed with the pieces between `cuts` (sorted
// positions, repeats giving empty pieces) against the whole-text engine.
std::string CompareStreaming(std::u16string_view text, const std::vector<std::size_t>& cuts,
                             int style, int flagPokoru, int flagFirst, int flagSecond,
                             int flagForce);

}  // namespace engineComparison
