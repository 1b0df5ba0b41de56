#include <string>

#include "mdlPokoConv.h"

namespace mdlPokoConv {

namespace {

constexpr std::u16string_view kLocation = u"mdlMofu!SplitCmdLine";

// Trims without allocating, so this step cannot fail.
void TrimBlanksInPlace(std::u16string& text) {
  const std::u16string_view trimmed = TrimBlanks(text);
  const auto start = static_cast<std::size_t>(trimmed.data() - text.data());
  text.erase(start + trimmed.size());
  text.erase(0, start);
}

}  // namespace

std::u16string_view TrimBlanks(std::u16string_view text) {
  const std::size_t start = text.find_first_not_of(u' ');
  if (start == std::u16string_view::npos) {
    return text.substr(text.size());
  }
  return text.substr(start, text.find_last_not_of(u' ') - start + 1);
}

void SplitCmdLine(platform::Services& services, CmdLineParts& parts) {
  ErrorTrap trap(services, kLocation);
  TrimBlanksInPlace(parts.strFirst);

  // Views into strFirst until the two fields are stored at the end.
  const std::u16string_view line = parts.strFirst;
  std::u16string_view first = line;
  std::u16string_view rest;
  if (line.starts_with(u'"')) {
    const std::size_t closing = line.find(u'"', 1);
    if (closing == std::u16string_view::npos) {
      first = line.substr(1);
    } else {
      first = line.substr(1, closing - 1);
      rest = line.substr(closing + 1);
    }
  } else {
    const std::size_t blank = line.find(u' ');
    if (blank != std::u16string_view::npos) {
      first = line.substr(0, blank);
      rest = line.substr(blank);
    }
  }

  // strRest first: first and rest still view strFirst's old text.
  trap.Step([&] { parts.strRest = std::u16string(TrimBlanks(rest)); });
  trap.Step([&] { parts.strFirst = std::u16string(TrimBlanks(first)); });
}

}  // namespace mdlPokoConv
