// Texts for tests of whole conversions, and what converting them whole in
// the engine gives, as the converter writes it.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "mdlFlexConv.h"
#include "textCodec.h"

namespace conversionSupport {

// A text much longer than the pieces the converter works in, with words and
// line breaks falling across every kind of boundary.
inline std::u16string LongMixedText(std::size_t units = 400000) {
  const std::array<std::u16string_view, 8> parts = {u"わたしは", u"ですよ。",       u"\r\n",
                                                    u"ワタシ",   u"あなたです\r「", u"\n",
                                                    u"なのだ",   u"ｱﾅﾀです，"};
  std::u16string text;
  for (std::size_t i = 0; text.size() < units; ++i) {
    text.append(parts[(i * 7 + i / 5) % parts.size()]);
    text.append(i % 11 == 0 ? u"😀" : u"x");
  }
  return text;
}

// The result of converting a text whole in the engine, in UTF-8 with every
// line break (LF, CR LF or CR) written as LF.
inline std::string WholeTextResult(std::u16string_view text, mdlFlexConv::Style style,
                                   mdlFlexConv::Flags flags) {
  std::u16string asTheWindowSees;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      asTheWindowSees.append(u"\r\n");
      i += text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n' ? 1 : 0;
    } else {
      asTheWindowSees.push_back(text[i]);
    }
  }
  std::u16string expected;
  for (const char16_t unit : mdlFlexConv::Converter(style, flags).Run(asTheWindowSees)) {
    if (unit != u'\r') {
      expected.push_back(unit);
    }
  }
  return textCodec::EncodeUtf8(expected).bytes;
}

}  // namespace conversionSupport
