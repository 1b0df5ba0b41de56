// The version text: major, then minor with at least two digits, then revision
// with at least four, zeros filling on the left; the full stops are literal.
#pragma once

#include <string>

#include "pokopenVersion.h"

namespace pokopenVersion {

inline std::u16string VersionText(int major, int minor, int revision) {
  const auto digits = [](int value, std::size_t width) {
    const std::string decimal = std::to_string(value);
    std::u16string out(decimal.size() < width ? width - decimal.size() : 0, u'0');
    for (const char c : decimal) {
      out.push_back(static_cast<char16_t>(c));
    }
    return out;
  };
  return digits(major, 1) + u"." + digits(minor, 2) + u"." + digits(revision, 4);
}

// The program's own version text, 1.00.2000.
inline std::u16string ProgramVersionText() {
  return VersionText(kMajor, kMinor, kRevision);
}

}  // namespace pokopenVersion
