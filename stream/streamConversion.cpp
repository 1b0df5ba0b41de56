#include "streamConversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "fileSystem.h"
#include "heldOutput.h"
#include "outputBudget.h"
#include "pieceConversion.h"
#include "textPosition.h"
#include "textReader.h"
#include "textWriter.h"

namespace streamConversion {

namespace {

using detail::Piece;

// A descriptor gets nothing until this much of a text is converted, so that a
// fault found early leaves nothing half-written there.
constexpr std::size_t kHeldOutputBytes = std::size_t{4} << 20;
// A text is cut into pieces of about this many units, converted on as many
// threads as there are jobs; a stretch this long without a safe cut is
// converted in order instead, a part at a time.
constexpr std::size_t kPieceUnits = std::size_t{1} << 14;
constexpr std::size_t kLongestPieceUnits = std::size_t{1} << 22;
// Input is read this much at a time, so that the text read so far is seldom
// much more than a piece.
constexpr std::size_t kReadBytes = 2 * kPieceUnits;
// The reading thread reads this many pieces a job ahead of the one it writes
// next before it helps convert them, and twice as many at the most.
constexpr std::size_t kPiecesAheadPerJob = 4;
// A piece is cut this near the end of the text read so far where it can be:
// it then takes the text's room, and only the units after the cut are copied.
constexpr std::size_t kTailUnits = 64;
// More than any look-back of the cut rule.
constexpr std::size_t kCutContext = 16;

// A message names where the first few characters that the output encoding
// cannot hold are.
constexpr std::size_t kListedUnencodable = 3;

// Files are written only as regular files are: replaced all at once, or, for
// a name that stands for one of the program's descriptors, through it.
constexpr textFiles::WriteOptions kFileOptions{.regularFilesOnly = true, .descriptorNames = true};

// One input, where its result goes, and how far its writing has come.
struct Input {
  std::string target;  // empty for a descriptor
  std::unique_ptr<textFiles::FileWriter> writer;
  detail::TextPosition position;
  // Output for a descriptor is held back until kHeldOutputBytes of it.
  bool holding = false;
  bool failed = false;
  // Once a character the output cannot hold turns up, the rest of the text
  // is only read, for the count of them all.
  std::optional<textFiles::UnencodableText> unencodable;
};

class Run {
 public:
  Run(const Settings& settings, std::span<const Source> sources, const Destination& destination,
      Observer& observer)
      : settings_(settings),
        sources_(sources),
        destination_(destination),
        observer_(observer),
        cutter_(settings.style, settings.flags),
        inOrder_(settings),
        helping_(settings),
        held_(kHeldOutputBytes + kHeldOutputBytes / 2),
        mostOutputs_(detail::OutputsThatFit()) {
    const unsigned jobs =
        settings.jobs != 0 ? settings.jobs : std::max(1u, std::thread::hardware_concurrency());
    // This thread is one of the jobs: it reads and writes, and converts
    // rather than wait while the others are behind.
    if (jobs > 1) {
      workers_.emplace(jobs - 1, settings);
      if (workers_->Count() == 0) {
        workers_.reset();
      }
    }
    mostInFlight_ = kPiecesAheadPerJob * (1 + (workers_ ? workers_->Count() : 0));
  }

  Outcome Go() {
    try {
      if (ReachesTheFolder()) {
        for (std::size_t i = 0; i < sources_.size() && !stopped_; ++i) {
          ConvertInput(i);
        }
        while (!pieces_.empty()) {
          WriteFront();
        }
      }
    } catch (const std::bad_alloc&) {
      StopForLackOfMemory();
    }
    return outcome_;
  }

 private:
  // A folder that cannot be reached or written fails once, for every input.
  bool ReachesTheFolder() {
    if (destination_.kind != Destination::Kind::Folder || sources_.empty()) {
      return true;
    }
    const fileSystem::Descriptor folder(
        fileSystem::OpenPath(destination_.path, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid() && faccessat(folder.Get(), ".", W_OK | X_OK, AT_EACCESS) == 0) {
      return true;
    }
    const textFiles::SystemFailure failure{errno};
    inputs_.emplace_back();
    Fail(0, {0, Side::Output, destination_.path, failure, true});
    return false;
  }

  void ConvertInput(std::size_t index) {
    const Source& source = sources_[index];
    Input& input = inputs_.emplace_back();
    input.target = TargetPath(destination_, source);
    input.holding = destination_.kind == Destination::Kind::Descriptor;
    MakeRoomForAnOutput();
    if (std::unique_ptr<textFiles::TextReader> reader = OpenReader(index)) {
      if (OpenWriter(index)) {
        ReadAndHand(index, *reader);
      }
    }
    observer_.InputRead(index);
  }

  // Files being written hold descriptors until their last piece is written:
  // at the most, the earlier inputs are finished first.
  void MakeRoomForAnOutput() {
    while (openOutputs_ >= mostOutputs_ && !pieces_.empty()) {
      WriteFront();
    }
  }

  std::unique_ptr<textFiles::TextReader> OpenReader(std::size_t index) {
    const Source& source = sources_[index];
    // Line breaks are made CR LF by the threads that convert.
    const textFiles::ReadOptions options{settings_.inputEncoding, ReadsRegularFilesOnly(source),
                                         textFiles::LineBreaks::AsTheyAre};
    try {
      if (source.IsDescriptor()) {
        if (destination_.kind == Destination::Kind::Folder ||
            destination_.kind == Destination::Kind::InPlace) {
          textFiles::ThrowSystemFailure(EINVAL);  // no name to be written under
        }
        return std::make_unique<textFiles::TextReader>(source.fd, options);
      }
      return std::make_unique<textFiles::TextReader>(source.path, options);
    } catch (const textFiles::FileError& error) {
      Fail(index, {index, Side::Input, source.path, error.What()});
      return nullptr;
    }
  }

  // Written into files, only regular files are read: a pipe or a device
  // could hang the run or be replaced by a file. A name that stands for a
  // descriptor is read through it (bash's <(...), /dev/stdin).
  bool ReadsRegularFilesOnly(const Source& source) const {
    if (source.IsDescriptor()) {
      return false;
    }
    switch (destination_.kind) {
      case Destination::Kind::Descriptor:
        return false;
      case Destination::Kind::InPlace:
        return true;
      case Destination::Kind::File:
      case Destination::Kind::Folder:
        return !fileSystem::DescriptorNamed(source.path);
    }
    return true;
  }

  bool OpenWriter(std::size_t index) {
    Input& input = inputs_[index];
    try {
      if (destination_.kind == Destination::Kind::Descriptor) {
        input.writer = std::make_unique<textFiles::FileWriter>(destination_.fd);
      } else {
        input.writer = std::make_unique<textFiles::FileWriter>(input.target, kFileOptions);
        ++openOutputs_;
      }
      return true;
    } catch (const textFiles::FileError& error) {
      Fail(index, {index, Side::Output, input.target, error.What(), StopsTheRun()});
      return false;
    }
  }

  // A descriptor that cannot be written fails every text after it.
  bool StopsTheRun() const { return destination_.kind == Destination::Kind::Descriptor; }

  // Reads the text and hands it on in pieces cut where the conversion allows.
  void ReadAndHand(std::size_t index, textFiles::TextReader& reader) {
    std::u16string pending;
    std::size_t start = 0;
    for (bool more = true; more && !inputs_[index].failed;) {
      // Room for what a read can add, at once rather than by doubling, as
      // each piece takes the room on with its text.
      pending.reserve(std::max(pending.size() + kReadBytes, kPieceUnits + kReadBytes));
      try {
        more = reader.Read(pending, kReadBytes);
      } catch (const textFiles::FileError& error) {
        Fail(index, {index, Side::Input, sources_[index].path, error.What()});
        return;
      }
      observer_.Read(index, reader.BytesRead());
      lineFeedEndsLine_ = reader.Encoding() != textCodec::Encoding::Cp932;
      withoutCr_ = !reader.MayHoldCr();
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
    piece->outOfMemory = false;
    piece->unencodable = false;
    return piece;
  }

  void Launch(std::size_t index, std::unique_ptr<Piece> piece, HandOn how) {
    piece->input = index;
    piece->lineFeedEndsLine = lineFeedEndsLine_;
    piece->withoutCr = withoutCr_;
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
    WriteWhatIsDone();
  }

  // Writes the pieces done in order. Past mostInFlight_ pieces, this thread
  // converts one of those waiting too, but only while that leaves every other
  // thread one to go on with: a thread that finds none sleeps, and waking it
  // takes longer than reading another piece meanwhile.
  void WriteWhatIsDone() {
    while (!pieces_.empty()) {
      if (IsDone(*pieces_.front())) {
        WriteFront();
      } else if (pieces_.size() <= mostInFlight_) {
        return;
      } else if (!workers_ || !workers_->HelpWithOne(helping_, workers_->Count())) {
        if (pieces_.size() <= 2 * mostInFlight_) {
          return;
        }
        WriteFront();
      }
    }
  }

  bool IsDone(const Piece& piece) { return workers_ ? workers_->IsDone(piece) : piece.done; }

  void WriteFront() {
    Piece& piece = *pieces_.front();
    if (workers_) {
      workers_->HelpUntilDone(piece, helping_);
    }
    if (piece.outOfMemory) {
      throw std::bad_alloc();
    }
    std::unique_ptr<Piece> written = std::move(pieces_.front());
    pieces_.pop_front();
    const std::size_t index = written->input;
    if (!inputs_[index].failed) {
      try {
        Write(index, *written);
      } catch (const textFiles::FileError& error) {
        Fail(index, {index, Side::Output, inputs_[index].target, error.What(), StopsTheRun()});
      }
    }
    spare_.push_back(std::move(written));
  }

  // Writes a piece, or keeps its output while a descriptor is held back.
  void Write(std::size_t index, Piece& piece) {
    Input& input = inputs_[index];
    if (piece.unencodable || input.unencodable) {
      CountUnencodable(index, piece);
      if (piece.last) {
        Fail(index, {index, Side::Input, sources_[index].path, *input.unencodable});
      }
      return;
    }
    input.position.Advance(piece.extent);
    if (input.holding) {
      held_.Append(piece.bytes.View());
      heldFor_ = index;
      if (held_.Size() < kHeldOutputBytes && !piece.last) {
        return;
      }
      input.holding = false;
      const std::string_view held = held_.View();
      held_.Clear();
      input.writer->Write(held);
    } else {
      input.writer->Write(piece.bytes.View());
    }
    if (piece.last) {
      input.writer->Commit();
      CloseOutput(input);
    }
  }

  void CountUnencodable(std::size_t index, const Piece& piece) {
    Input& input = inputs_[index];
    if (!input.unencodable) {
      // Nothing more of this text is written.
      input.unencodable.emplace(textFiles::UnencodableText{settings_.output.encoding, {}, 0, {}});
      CloseOutput(input);
      ReleaseHeld(index);
    }
    textFiles::UnencodableText& found = *input.unencodable;
    const textCodec::UnencodableCharacters inPiece =
        textCodec::FindEveryUnencodable(settings_.output.encoding, piece.text, kListedUnencodable);
    for (const textCodec::Unencodable& place : inPiece.first) {
      if (found.count++ == 0) {
        found.where = input.position.Place(place);
      } else if (found.next.size() + 1 < kListedUnencodable) {
        found.next.push_back(input.position.Place(place));
      }
    }
    found.count += inPiece.count - inPiece.first.size();
    input.position.Advance(piece.extent);
  }

  void Fail(std::size_t index, const Failure& failure) {
    Input& input = inputs_[index];
    if (input.failed) {
      return;
    }
    input.failed = true;
    CloseOutput(input);
    ReleaseHeld(index);
    ++outcome_.failed;
    stopped_ = stopped_ || failure.stopsTheRun;
    observer_.Failed(failure);
  }

  void CloseOutput(Input& input) {
    if (input.writer && destination_.kind != Destination::Kind::Descriptor) {
      --openOutputs_;
    }
    input.writer.reset();
  }

  void ReleaseHeld(std::size_t index) {
    if (heldFor_ == index) {
      held_.Clear();
    }
  }

  // Every file being written is left as it was, and the threads are stopped
  // before the pieces they may be converting go.
  void StopForLackOfMemory() noexcept {
    outcome_.outOfMemory = true;
    workers_.reset();
    for (Input& input : inputs_) {
      input.writer.reset();
    }
    held_.Clear();
    pieces_.clear();
  }

  const Settings& settings_;
  std::span<const Source> sources_;
  const Destination& destination_;
  Observer& observer_;
  mdlFlexConv::Converter cutter_;
  std::deque<Input> inputs_;
  std::deque<std::unique_ptr<Piece>> pieces_;  // handed on and not written yet, in order
  std::vector<std::unique_ptr<Piece>> spare_;  // written, kept for their room
  detail::PieceWork inOrder_;                  // the pieces converted in this thread, in order
  detail::PieceWork helping_;                  // the pieces this thread takes from the others
  detail::HeldOutput held_;                    // output held back for one input
  std::size_t heldFor_ = 0;                    // the input whose output held_ holds
  std::size_t mostOutputs_;
  std::size_t openOutputs_ = 0;
  std::size_t mostInFlight_ = 2;
  bool lineFeedEndsLine_ = true;  // in the text being read
  bool withoutCr_ = false;        // nor has a CR been read in it yet
  bool chained_ = false;          // the last piece handed on goes on in the next
  std::size_t searched_ = 0;      // how far the text after the last cut was searched for one
  bool stopped_ = false;
  Outcome outcome_;
  // Last, so that it goes first: its threads are done with every piece
  // before the pieces go.
  std::optional<detail::Workers> workers_;
};

}  // namespace

void Observer::Read(std::size_t, std::uint64_t) {}
void Observer::InputRead(std::size_t) {}
void Observer::Failed(const Failure&) {}

std::string TargetPath(const Destination& destination, const Source& source) {
  switch (destination.kind) {
    case Destination::Kind::Descriptor:
      return {};
    case Destination::Kind::File:
      return destination.path;
    case Destination::Kind::Folder:
      return source.IsDescriptor()
                 ? std::string()
                 : destination.path + "/" + fileSystem::SplitPath(source.path).second;
    case Destination::Kind::InPlace:
      return source.path;
  }
  return {};
}

Outcome Convert(const Settings& settings, std::span<const Source> sources,
                const Destination& destination, Observer& observer) {
  try {
    return Run(settings, sources, destination, observer).Go();
  } catch (const std::bad_alloc&) {
    Outcome outcome;
    outcome.outOfMemory = true;
    return outcome;
  }
}

}  // namespace streamConversion
