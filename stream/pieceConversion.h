// The pieces a text is cut into, their conversion, and the threads that
// convert them.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "conversionSettings.h"
#include "lineBreaks.h"
#include "mdlFlexConv.h"
#include "textPosition.h"
#include "textWriter.h"

namespace streamConversion::detail {

// Units written without first being set to zero, in room kept from one
// piece to the next.
template <typename Unit>
struct UnitBuffer {
  std::unique_ptr<Unit[]> data;
  std::size_t room = 0;
  std::size_t size = 0;

  // Room for at least `units`; what it held is not kept.
  Unit* Room(std::size_t units) {
    if (room < units) {
      const std::size_t wanted = std::max(units, 2 * room);
      data.reset();
      room = 0;
      data = std::make_unique_for_overwrite<Unit[]>(wanted);
      room = wanted;
    }
    return data.get();
  }
  std::basic_string_view<Unit> View() const { return {data.get(), size}; }
};

using ByteBuffer = UnitBuffer<char>;

// A part of an input's text, and what converting it gave.
struct Piece {
  std::size_t input = 0;
  // As read, line breaks and all; where a character the output cannot hold
  // stands in it, with its line breaks made CR LF, for the places named.
  std::u16string text;
  bool lineFeedEndsLine = true;  // but in code page 932
  bool withoutCr = false;        // neither it nor the text before it holds a CR
  bool last = false;             // the end of its input's text
  bool fromBefore = false;       // converted on from the piece before it, not apart
  bool goesOn = false;           // the next piece is converted on from this one
  bool done = false;
  bool outOfMemory = false;  // converting it ran out of memory
  Extent extent;
  bool unencodable = false;
  ByteBuffer bytes;
};

// What converting a piece takes: its line breaks made CR LF, as the rules
// see them (here rather than in the reading thread, which has more to do;
// and only where they are not written as LF anyway from a text without CRs),
// the engine, the check that the output encoding holds every input character
// (the engine's own words are in all of them), and the encoding of the result.
class PieceWork {
 public:
  explicit PieceWork(const Settings& settings);

  void Run(Piece& piece);

 private:
  std::u16string_view WithCrLfBreaks(const Piece& piece);
  void Convert(Piece& piece, std::u16string_view text, mdlFlexConv::LineFeeds lineFeeds);

  textFiles::LineBreakNormalizer lineBreaks_;
  UnitBuffer<char16_t> lines_;
  mdlFlexConv::Converter converter_;
  textFiles::WriteFormat format_;
  bool checkEncodable_;
  bool lineFeedsOut_;  // the result is UTF-8 with LF line breaks
  std::u16string converted_;
  std::u16string carry_;
};

// Threads that convert pieces as they are handed over. Each piece is marked
// done, or out of memory, once converted.
class Workers {
 public:
  // Starts up to `count` threads, as many as the system gives.
  Workers(unsigned count, const Settings& settings);
  // Drops the pieces no thread has taken, and waits for those being converted.
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  std::size_t Count() const { return threads_.size(); }
  void Hand(Piece& piece);
  bool IsDone(const Piece& piece);
  // Waits until the piece is converted, converting with work meanwhile the
  // pieces that no thread has taken yet, oldest first.
  void HelpUntilDone(const Piece& piece, PieceWork& work);
  // Converts with work the oldest piece no thread has taken, if more than
  // `leaving` of them wait; returns whether it did.
  bool HelpWithOne(PieceWork& work, std::size_t leaving);

 private:
  void Convert(Piece& piece, PieceWork& work);
  void Work(const Settings& settings);

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Piece*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace streamConversion::detail
