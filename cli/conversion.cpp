#include "conversion.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mdlFlexConv.h"
#include "messages.h"
#include "progressLine.h"
#include "textReader.h"
#include "textWriter.h"

namespace pokopenConvert {

namespace {

// Standard output gets nothing until this much of a text is converted, so
// that a fault found early leaves nothing half-written there.
constexpr std::size_t kHeldOutputBytes = std::size_t{4} << 20;
// A text is cut into pieces of about this many units, converted on as many
// threads as there are jobs; a stretch this long without a safe cut is
// converted in order instead, a part at a time.
constexpr std::size_t kPieceUnits = std::size_t{1} << 17;
constexpr std::size_t kLongestPieceUnits = std::size_t{1} << 22;
// Input is read this much at a time, so that the text read so far is seldom
// much more than a piece.
constexpr std::size_t kReadBytes = 2 * kPieceUnits;
// A piece is cut this near the end of the text read so far where it can be:
// it then takes the text's room, and only the units after the cut are copied.
constexpr std::size_t kTailUnits = 64;
// More than any look-back of the cut rule.
constexpr std::size_t kCutContext = 16;

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Where a piece of text ends, as messages count lines and columns: CR LF, a
// lone CR and a lone LF each end a line; a surrogate pair is one character.
struct Extent {
  std::size_t lineBreaks = 0;
  std::size_t lastLineCharacters = 0;
};

Extent ExtentOf(std::u16string_view text) {
  Extent extent;
  std::size_t lastBreak = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == u'\n' || (unit == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))) {
      ++extent.lineBreaks;
      lastBreak = i + 1;
    }
  }
  for (std::size_t i = lastBreak; i < text.size(); ++i) {
    extent.lastLineCharacters += IsHighSurrogate(text[i]) && i + 1 < text.size() ? 0 : 1;
  }
  return extent;
}

// Where the pieces of one text stand in it, for naming a character's place.
class TextPosition {
 public:
  textCodec::Unencodable Locate(std::u16string_view piece, std::size_t index) const {
    textCodec::Unencodable where = textCodec::Locate(piece, index);
    if (where.line == 1) {
      where.column += column_ - 1;
    }
    where.line += line_ - 1;
    return where;
  }

  void Advance(const Extent& extent) {
    line_ += extent.lineBreaks;
    column_ =
        extent.lineBreaks > 0 ? extent.lastLineCharacters + 1 : column_ + extent.lastLineCharacters;
  }

 private:
  std::size_t line_ = 1;
  std::size_t column_ = 1;
};

// Bytes written without first being set to zero, in room kept from one
// piece to the next.
struct ByteBuffer {
  std::unique_ptr<char[]> data;
  std::size_t room = 0;
  std::size_t size = 0;

  char* Room(std::size_t bytes) {
    if (room < bytes) {
      room = std::max(bytes, 2 * room);
      data = std::make_unique_for_overwrite<char[]>(room);
    }
    return data.get();
  }
  std::string_view View() const { return {data.get(), size}; }
};

// A part of an input's text, and what converting it gave.
struct Piece {
  std::size_t input = 0;
  std::u16string text;
  bool last = false;        // the end of its input's text
  bool fromBefore = false;  // converted on from the piece before it, not apart
  bool goesOn = false;      // the next piece is converted on from this one
  bool done = false;
  Extent extent;
  std::optional<std::size_t> unencodableAt;  // in text
  ByteBuffer bytes;
};

// What converting a piece takes: the engine, the check that the output
// encoding holds every input character (the engine's own words are in both),
// and the encoding of the result.
class PieceWork {
 public:
  explicit PieceWork(const Options& options)
      : converter_(mdlFlexConv::StyleAt(options.style),
                   {options.pokoru, options.first, options.second, options.force}),
        format_{options.outputEncoding, options.crlf},
        checkEncodable_(options.outputEncoding != textCodec::Encoding::Utf8) {}

  void Run(Piece& piece) {
    // Places are only ever named for characters the output cannot hold.
    if (checkEncodable_) {
      piece.extent = ExtentOf(piece.text);
      piece.unencodableAt = textCodec::FindUnencodable(format_.encoding, piece.text);
      if (piece.unencodableAt) {
        return;
      }
    }
    converted_.assign(carry_);
    carry_.clear();
    converter_.Push(piece.text, converted_);
    if (!piece.goesOn) {
      converter_.Finish(converted_);
    } else {
      // The text goes on in the next piece: a CR or a high surrogate at the
      // end waits for what follows it.
      const std::size_t keep =
          !converted_.empty() && (converted_.back() == u'\r' || IsHighSurrogate(converted_.back()))
              ? 1
              : 0;
      carry_.assign(converted_, converted_.size() - keep, keep);
      converted_.resize(converted_.size() - keep);
    }
    char* room = piece.bytes.Room(textCodec::MostBytes(format_.encoding, converted_.size()));
    piece.bytes.size = textFiles::EncodeTextInto(converted_, format_, room).written;
  }

 private:
  mdlFlexConv::Converter converter_;
  textFiles::WriteFormat format_;
  bool checkEncodable_;
  std::u16string converted_;
  std::u16string carry_;
};

// Threads that convert pieces as they are handed over.
class Workers {
 public:
  Workers(unsigned count, const Options& options) {
    for (unsigned i = 0; i < count; ++i) {
      threads_.emplace_back([this, &options] { Work(options); });
    }
  }

  ~Workers() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) {
      thread.join();
    }
  }

  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  void Hand(Piece& piece) {
    {
      const std::lock_guard lock(mutex_);
      queue_.push_back(&piece);
    }
    work_.notify_one();
  }

  bool IsDone(const Piece& piece) {
    const std::lock_guard lock(mutex_);
    return piece.done;
  }

  // Waits until the piece is converted, converting with work meanwhile the
  // pieces that no thread has taken yet, oldest first.
  void HelpUntilDone(const Piece& piece, PieceWork& work) {
    for (;;) {
      Piece* queued = nullptr;
      {
        std::unique_lock lock(mutex_);
        if (piece.done) {
          return;
        }
        if (queue_.empty()) {
          done_.wait(lock, [&] { return piece.done; });
          return;
        }
        queued = queue_.front();
        queue_.pop_front();
      }
      Convert(*queued, work);
    }
  }

 private:
  void Convert(Piece& piece, PieceWork& work) {
    work.Run(piece);
    {
      const std::lock_guard lock(mutex_);
      piece.done = true;
    }
    done_.notify_all();
  }

  void Work(const Options& options) {
    PieceWork work(options);
    for (;;) {
      Piece* piece = nullptr;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
          return;
        }
        piece = queue_.front();
        queue_.pop_front();
      }
      Convert(*piece, work);
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Piece*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// A failure of one input, and whether the whole run must stop (standard
// output can no longer be written).
struct Failure {
  std::string message;
  bool stopsTheRun = false;
};

std::string NameOfInput(const std::string& path) {
  return path == "-" ? "standard input" : ShownName(path);
}

// One input, where its result goes, and how far its writing has come.
struct Input {
  std::string path;
  std::string name;
  std::string target;  // empty for standard output
  std::string targetName;
  std::unique_ptr<textFiles::FileWriter> writer;
  TextPosition position;
  // Output for standard output, held back until kHeldOutputBytes of it.
  std::vector<ByteBuffer> held;
  std::size_t heldBytes = 0;
  bool holding = false;
  bool failed = false;
};

class Run {
 public:
  explicit Run(const Options& options)
      : options_(options),
        cutter_(mdlFlexConv::StyleAt(options.style),
                {options.pokoru, options.first, options.second, options.force}),
        inOrder_(options),
        helping_(options),
        progress_(!options.quiet && isatty(STDERR_FILENO) == 1, options.inputs.size()) {
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    // This thread is one of the jobs: it reads and writes, and converts
    // rather than wait while the others are behind.
    if (jobs > 1) {
      workers_.emplace(jobs - 1, options);
    }
    mostInFlight_ = 2 * std::size_t{jobs};
  }

  int Go() {
    for (std::size_t i = 0; i < options_.inputs.size() && !stopped_; ++i) {
      ConvertInput(i);
    }
    while (!pieces_.empty()) {
      WriteFront();
    }
    progress_.Clear();
    return status_;
  }

 private:
  void ConvertInput(std::size_t index) {
    Input& input = inputs_.emplace_back();
    input.path = options_.inputs[index];
    input.name = NameOfInput(input.path);
    input.target = TargetPath(input.path);
    input.targetName = input.target.empty() ? "standard output" : ShownName(input.target);
    input.holding = input.target.empty();
    const textFiles::ReadOptions readOptions{options_.inputEncoding, false};
    std::unique_ptr<textFiles::TextReader> reader;
    try {
      reader = input.path == "-" ? std::make_unique<textFiles::TextReader>(STDIN_FILENO, readOptions)
                                 : std::make_unique<textFiles::TextReader>(input.path, readOptions);
    } catch (const textFiles::FileError& error) {
      Fail(input, {input.name + ": " + Describe(error.What())});
      return;
    }
    try {
      input.writer = input.target.empty() ? std::make_unique<textFiles::FileWriter>(STDOUT_FILENO)
                                          : std::make_unique<textFiles::FileWriter>(
                                                input.target, textFiles::WriteOptions{});
    } catch (const textFiles::FileError& error) {
      Fail(input, {input.targetName + ": " + Describe(error.What())});
      return;
    }
    ReadAndHand(inputs_.size() - 1, *reader);
    progress_.FileDone();
  }

  std::string TargetPath(const std::string& path) const {
    switch (options_.destination) {
      case Destination::StandardOutput:
        return {};
      case Destination::OutputFile:
        return options_.output;
      case Destination::OutputFolder:
        return options_.output + "/" + fileSystem::SplitPath(path).second;
      case Destination::InPlace:
        return path;
    }
    return {};
  }

  // Reads the text and hands it on in pieces cut where the conversion allows.
  void ReadAndHand(std::size_t index, textFiles::TextReader& reader) {
    std::u16string pending;
    std::size_t start = 0;
    for (bool more = true; more && !inputs_[index].failed;) {
      try {
        more = reader.Read(pending, kReadBytes);
      } catch (const textFiles::FileError& error) {
        Fail(inputs_[index], {inputs_[index].name + ": " + Describe(error.What())});
        return;
      }
      progress_.Read(reader.BytesRead());
      start = HandPieces(index, pending, start, !more);
      pending.erase(0, start);
      start = 0;
    }
  }

  // Hands on the pieces of pending from start that end at a safe cut, or at
  // the text's end; returns where the rest begins. A stretch too long without
  // a cut is handed on as it comes, each part converted on from the one
  // before, until a cut ends it; the last units are kept back meanwhile, for
  // the cut rule to look back at.
  std::size_t HandPieces(std::size_t index, std::u16string& pending, std::size_t start,
                         bool ended) {
    if (!chained_ && !ended && start == 0 && pending.size() >= kPieceUnits) {
      const std::size_t cut =
          cutter_.NextSafeCut(pending, std::max(kPieceUnits, pending.size() - kTailUnits));
      if (cut != std::u16string_view::npos) {
        std::unique_ptr<Piece> piece = NewPiece();
        piece->text.swap(pending);
        pending.assign(piece->text, cut);
        piece->text.resize(cut);
        Launch(index, std::move(piece), {});
        searched_ = 0;
        return 0;
      }
    }
    for (;;) {
      const std::u16string_view rest = std::u16string_view(pending).substr(start);
      if (!chained_ && !ended && rest.size() < kPieceUnits) {
        return start;
      }
      if (!chained_ && ended && rest.size() <= kPieceUnits) {
        Hand(index, rest, {.last = true});
        searched_ = 0;
        return pending.size();
      }
      // Places looked at before found no cut; they are not looked at again.
      const std::size_t from = std::max(chained_ ? kCutContext : kPieceUnits, searched_);
      const std::size_t cut = cutter_.NextSafeCut(rest, from);
      searched_ = rest.size();
      if (cut != std::u16string_view::npos) {
        Hand(index, rest.substr(0, cut), {.fromBefore = chained_});
        chained_ = false;
        searched_ = 0;
        start += cut;
        continue;
      }
      if (ended) {
        Hand(index, rest, {.last = true, .fromBefore = chained_});
        chained_ = false;
        searched_ = 0;
        return pending.size();
      }
      if (!chained_ && rest.size() <= kLongestPieceUnits) {
        return start;
      }
      if (rest.size() <= kCutContext) {
        return start;
      }
      const std::size_t part = rest.size() - kCutContext;
      Hand(index, rest.substr(0, part), {.fromBefore = chained_, .goesOn = true});
      chained_ = true;
      searched_ = kCutContext;
      return start + part;
    }
  }

  struct HandOn {
    bool last = false;
    bool fromBefore = false;
    bool goesOn = false;
  };

  void Hand(std::size_t index, std::u16string_view text, HandOn how) {
    std::unique_ptr<Piece> piece = NewPiece();
    piece->text.assign(text);
    Launch(index, std::move(piece), how);
  }

  std::unique_ptr<Piece> NewPiece() {
    if (spare_.empty()) {
      return std::make_unique<Piece>();
    }
    std::unique_ptr<Piece> piece = std::move(spare_.back());
    spare_.pop_back();
    piece->done = false;
    piece->unencodableAt.reset();
    if (piece->bytes.room == 0 && !spareBytes_.empty()) {
      piece->bytes = std::move(spareBytes_.back());
      spareBytes_.pop_back();
    }
    return piece;
  }

  void Launch(std::size_t index, std::unique_ptr<Piece> piece, HandOn how) {
    piece->input = index;
    piece->last = how.last;
    piece->fromBefore = how.fromBefore;
    piece->goesOn = how.goesOn;
    Piece& handed = *piece;
    pieces_.push_back(std::move(piece));
    if (!workers_ || handed.fromBefore || handed.goesOn) {
      inOrder_.Run(handed);
      handed.done = true;
    } else {
      workers_->Hand(handed);
    }
    while (!pieces_.empty() && (pieces_.size() > mostInFlight_ || IsDone(*pieces_.front()))) {
      WriteFront();
    }
  }

  bool IsDone(const Piece& piece) { return workers_ ? workers_->IsDone(piece) : piece.done; }

  void WriteFront() {
    Piece& piece = *pieces_.front();
    if (workers_) {
      workers_->HelpUntilDone(piece, helping_);
    }
    std::unique_ptr<Piece> written = std::move(pieces_.front());
    pieces_.pop_front();
    Input& input = inputs_[written->input];
    if (!input.failed) {
      try {
        Write(input, *written);
      } catch (const textFiles::FileError& error) {
        Fail(input, {input.targetName + ": " + Describe(error.What()), input.target.empty()});
      }
    }
    spare_.push_back(std::move(written));
  }

  // Writes a piece, or keeps its output while standard output is held back.
  void Write(Input& input, Piece& piece) {
    if (piece.unencodableAt) {
      const textFiles::UnencodableText unencodable{
          options_.outputEncoding, input.position.Locate(piece.text, *piece.unencodableAt)};
      Fail(input, {input.name + ": " + Describe(unencodable)});
      return;
    }
    input.position.Advance(piece.extent);
    if (input.holding) {
      input.heldBytes += piece.bytes.size;
      input.held.push_back(std::exchange(piece.bytes, {}));
      if (input.heldBytes < kHeldOutputBytes && !piece.last) {
        return;
      }
      input.holding = false;
      for (ByteBuffer& held : input.held) {
        input.writer->Write(held.View());
      }
      ReleaseHeld(input);
    } else {
      input.writer->Write(piece.bytes.View());
    }
    if (piece.last) {
      input.writer->Commit();
      input.writer.reset();
    }
  }

  void Fail(Input& input, const Failure& failure) {
    if (input.failed) {
      return;
    }
    input.failed = true;
    input.writer.reset();
    ReleaseHeld(input);
    progress_.Clear();
    PrintError(failure.message);
    status_ = 1;
    stopped_ = stopped_ || failure.stopsTheRun;
  }

  void ReleaseHeld(Input& input) {
    std::move(input.held.begin(), input.held.end(), std::back_inserter(spareBytes_));
    input.held.clear();
  }

  const Options& options_;
  mdlFlexConv::Converter cutter_;
  PieceWork inOrder_;  // the pieces converted in this thread, in order
  PieceWork helping_;  // the pieces this thread takes from the others
  std::optional<Workers> workers_;
  std::size_t mostInFlight_ = 1;
  std::deque<std::unique_ptr<Piece>> pieces_;  // handed on and not written yet, in order
  std::vector<std::unique_ptr<Piece>> spare_;  // written, kept for their room
  std::vector<ByteBuffer> spareBytes_;         // room of output held back and written
  std::deque<Input> inputs_;
  ProgressLine progress_;
  bool chained_ = false;      // the last piece handed on goes on in the next
  std::size_t searched_ = 0;  // how far the text after the last cut was searched for one
  bool stopped_ = false;
  int status_ = 0;
};

}  // namespace

int ConvertAll(const Options& options) {
  try {
    return Run(options).Go();
  } catch (const std::bad_alloc&) {
    PrintError("not enough memory");
    return 1;
  }
}

}  // namespace pokopenConvert
