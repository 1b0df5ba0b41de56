// The folding behind text comparison, as a table built at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "mdlFlexConv.h"

namespace mdlFlexConv::detail {

// Half-width forms U+FF61..U+FF9F and the full-width units they stand for.
inline constexpr std::array<char16_t, 63> kHalfWidthToFullWidth = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ',
    u'ョ', u'ッ', u'ー', u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ',
    u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ', u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ',
    u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ', u'ム', u'メ', u'モ', u'ヤ',
    u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン', u'゛', u'゜',
};

constexpr char16_t FoldUnit(char16_t unit) {
  char16_t u = unit;
  if (u >= 0xFF01 && u <= 0xFF5E) {
    u = static_cast<char16_t>(u - 0xFEE0);
  } else if (u >= 0xFF61 && u <= 0xFF9F) {
    u = kHalfWidthToFullWidth[u - 0xFF61];
  }
  if (u >= u'A' && u <= u'Z') {
    return static_cast<char16_t>(u + 0x20);
  }
  if (u >= 0x30A1 && u <= 0x30F6) {
    return static_cast<char16_t>(u - 0x60);
  }
  return u;
}

constexpr std::array<char16_t, 0x10000> MakeFoldTable() {
  std::array<char16_t, 0x10000> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = FoldUnit(static_cast<char16_t>(i));
  }
  return table;
}

inline constexpr std::array<char16_t, 0x10000> kFoldTable = MakeFoldTable();

inline char16_t Fold(char16_t unit) {
  return kFoldTable[unit];
}

inline std::u16string FoldAll(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) {
    unit = Fold(unit);
  }
  return folded;
}

// The units that fold to `folded`: itself and its upper-case, full-width,
// half-width and katakana forms; at most four.
struct UnitForms {
  std::array<char16_t, 4> units{};
  std::size_t count = 0;
};

UnitForms FormsFolding(char16_t folded);

}  // namespace mdlFlexConv::detail
