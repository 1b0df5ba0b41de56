// Where the pieces of a text stand in it, for naming the line and column of a
// character that the output encoding cannot hold.
#pragma once

#include <cstddef>
#include <string_view>

#include "textCodec.h"

namespace streamConversion::detail {

// Where a piece of text ends, as messages count lines and columns: CR LF, a
// lone CR and a lone LF each end a line; a surrogate pair is one character.
struct Extent {
  std::size_t lineBreaks = 0;
  std::size_t lastLineCharacters = 0;
};

Extent ExtentOf(std::u16string_view text);

class TextPosition {
 public:
  // The place of the unit at index of a piece that starts here.
  textCodec::Unencodable Locate(std::u16string_view piece, std::size_t index) const;
  // The same for a place counted from the piece's start.
  textCodec::Unencodable Place(textCodec::Unencodable inPiece) const;
  // Moves on past a piece.
  void Advance(const Extent& extent);

 private:
  std::size_t line_ = 1;
  std::size_t column_ = 1;
};

}  // namespace streamConversion::detail
