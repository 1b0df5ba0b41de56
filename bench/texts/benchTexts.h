// Texts for the benchmarks: realistic Japanese prose grown deterministically
// from a seed, and adversarial texts in which every rule fires.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace benchTexts {

enum class Kind {
  Prose,      // varied sentences, paragraphs and line breaks
  Technical,  // a manual: Japanese around commands, paths and numbers, code between
  DesuMaru,   // です。 over and over
  DesuRun,    // です with nothing between
  Nanoda,     // なのだ over and over
  Pronouns,   // every first- and second-person word, plain, katakana and half-width
};

inline constexpr Kind kAllKinds[] = {Kind::Prose,   Kind::Technical, Kind::DesuMaru,
                                     Kind::DesuRun, Kind::Nanoda,    Kind::Pronouns};

std::string_view KindName(Kind kind);
std::optional<Kind> KindNamed(std::string_view name);

// The text of the kind whose UTF-8 form is as long as possible without
// exceeding utf8Bytes; the same arguments always give the same text.
std::u16string Generate(Kind kind, std::size_t utf8Bytes);

}  // namespace benchTexts
