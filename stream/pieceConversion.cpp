#include "pieceConversion.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace streamConversion::detail {

PieceWork::PieceWork(const Settings& settings)
    : converter_(settings.style, settings.flags),
      format_(settings.output),
      checkEncodable_(settings.output.encoding != textCodec::Encoding::Utf8),
      lineFeedsOut_(!checkEncodable_ && !format_.crlf) {}

void PieceWork::Run(Piece& piece) {
  if (!piece.fromBefore) {
    lineBreaks_ = textFiles::LineBreakNormalizer(piece.lineFeedEndsLine);
  }
  // An LF would be given a CR only for the writer to drop it again.
  if (lineFeedsOut_ && piece.lineFeedEndsLine && piece.withoutCr) {
    Convert(piece, piece.text, mdlFlexConv::LineFeeds::StandForCrLf);
    return;
  }
  const std::u16string_view text = WithCrLfBreaks(piece);
  // Places are only ever named for characters the output cannot hold.
  if (checkEncodable_) {
    piece.extent = ExtentOf(text);
    piece.unencodable = textCodec::FindUnencodable(format_.encoding, text).has_value();
    if (piece.unencodable) {
      piece.text.assign(text);
      return;
    }
  }
  Convert(piece, text, mdlFlexConv::LineFeeds::AsCharacters);
}

void PieceWork::Convert(Piece& piece, std::u16string_view text, mdlFlexConv::LineFeeds lineFeeds) {
  converted_.assign(carry_);
  carry_.clear();
  converter_.Push(text, converted_, lineFeeds);
  if (!piece.goesOn) {
    converter_.Finish(converted_);
  } else {
    textFiles::HoldBackCutEnd(converted_, carry_);
  }
  char* room = piece.bytes.Room(textCodec::MostBytes(format_.encoding, converted_.size()));
  piece.bytes.size = textFiles::EncodeTextInto(converted_, format_, room).written;
}

// A piece converted on from the one before may begin with the LF of its CR.
std::u16string_view PieceWork::WithCrLfBreaks(const Piece& piece) {
  char16_t* const room = lines_.Room(2 * piece.text.size());
  lines_.size = lineBreaks_.Normalize(piece.text, room);
  return lines_.View();
}

Workers::Workers(unsigned count, const Settings& settings) {
  // Signals that end the program are taken by the thread that names files,
  // which holds them back while it does, not by a converting thread.
  const textFiles::EndingSignalsHeldBack heldBack;
  threads_.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    try {
      threads_.emplace_back([this, &settings] { Work(settings); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones there are do the work
    }
  }
}

Workers::~Workers() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  work_.notify_all();
  for (std::thread& thread : threads_) {
    thread.join();
  }
}

void Workers::Hand(Piece& piece) {
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back(&piece);
  }
  work_.notify_one();
}

bool Workers::IsDone(const Piece& piece) {
  const std::lock_guard lock(mutex_);
  return piece.done;
}

void Workers::HelpUntilDone(const Piece& piece, PieceWork& work) {
  while (!IsDone(piece) && HelpWithOne(work, 0)) {
  }
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return piece.done; });
}

bool Workers::HelpWithOne(PieceWork& work, std::size_t leaving) {
  Piece* queued = nullptr;
  {
    const std::lock_guard lock(mutex_);
    if (queue_.size() <= leaving) {
      return false;
    }
    queued = queue_.front();
    queue_.pop_front();
  }
  Convert(*queued, work);
  return true;
}

void Workers::Convert(Piece& piece, PieceWork& work) {
  bool outOfMemory = false;
  try {
    work.Run(piece);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  {
    const std::lock_guard lock(mutex_);
    piece.outOfMemory = outOfMemory;
    piece.done = true;
  }
  done_.notify_all();
}

void Workers::Work(const Settings& settings) {
  std::optional<PieceWork> work;
  try {
    work.emplace(settings);
  } catch (const std::bad_alloc&) {
    return;  // the other threads take this one's share
  }
  for (;;) {
    Piece* piece = nullptr;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) {
        return;
      }
      piece = queue_.front();
      queue_.pop_front();
    }
    Convert(*piece, *work);
  }
}

}  // namespace streamConversion::detail
