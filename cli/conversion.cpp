#include "conversion.h"

#include <unistd.h>

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "mdlFlexConv.h"
#include "messages.h"
#include "textReader.h"
#include "textWriter.h"

namespace pokopenConvert {

namespace {

// Standard output gets nothing until this much of a text is converted, so
// that a fault found early leaves nothing half-written there.
constexpr std::size_t kHeldOutputBytes = std::size_t{16} << 20;

// A failure of one input, and whether the whole run must stop (standard
// output can no longer be written).
struct Failure {
  std::string message;
  bool stopsTheRun = false;
};

std::string NameOfInput(const std::string& path) {
  return path == "-" ? "standard input" : ShownName(path);
}

// Runs a step on a file, turning its FileError into a Failure naming the file.
template <typename Step>
auto OnFile(const std::string& shownName, Step&& step, bool stopsTheRun = false) {
  try {
    return step();
  } catch (const textFile::FileError& error) {
    throw Failure{shownName + ": " + Describe(error.What()), stopsTheRun};
  }
}

// Where the units of a text read in pieces stand, counted as the messages
// count them: CR LF, a lone CR and a lone LF each end a line; a surrogate
// pair is one character. Pieces are never cut inside a CR LF or a pair.
class TextPosition {
 public:
  // Where the unit at `index` of the next piece stands in the whole text.
  textCodec::Unencodable Locate(std::u16string_view piece, std::size_t index) const {
    textCodec::Unencodable where = textCodec::Locate(piece, index);
    if (where.line == 1) {
      where.column += column_ - 1;
    }
    where.line += line_ - 1;
    return where;
  }

  void Advance(std::u16string_view piece) {
    if (piece.empty()) {
      return;
    }
    // The end of the piece stands where a unit after it would.
    const std::u16string withNext = std::u16string(piece) + u' ';
    const textCodec::Unencodable end = Locate(withNext, piece.size());
    line_ = end.line;
    column_ = end.column;
  }

 private:
  std::size_t line_ = 1;
  std::size_t column_ = 1;
};

// Writes converted text as bytes: a CR or high surrogate that ends a piece
// waits for the next, so that a CR LF or a pair is never split, and standard
// output is held back at first.
class ResultSink {
 public:
  ResultSink(textFile::FileWriter& file, textFile::WriteFormat format, std::size_t held)
      : file_(file), format_(format), holdUpTo_(held) {}

  void Add(std::u16string_view converted) {
    pending_.append(converted);
    std::size_t ready = pending_.size();
    if (ready > 0 &&
        (pending_.back() == u'\r' || (pending_.back() >= 0xD800 && pending_.back() <= 0xDBFF))) {
      --ready;
    }
    Encode(std::u16string_view(pending_).substr(0, ready));
    pending_.erase(0, ready);
  }

  void Finish() {
    Encode(pending_);
    pending_.clear();
    Flush();
    file_.Commit();
  }

 private:
  void Encode(std::u16string_view text) {
    // The engine's own words are in both encodings, and the input was checked.
    textFile::EncodeText(text, format_, bytes_);
    if (bytes_.size() > holdUpTo_) {
      Flush();
    }
  }

  void Flush() {
    file_.Write(bytes_);
    bytes_.clear();
    holdUpTo_ = 0;
  }

  textFile::FileWriter& file_;
  textFile::WriteFormat format_;
  std::size_t holdUpTo_;
  std::u16string pending_;
  std::string bytes_;
};

class Conversion {
 public:
  Conversion(const Options& options, const std::string& input)
      : options_(options), input_(input), inputName_(NameOfInput(input)) {}

  void Run() {
    const textFile::ReadOptions readOptions{options_.inputEncoding, false};
    std::unique_ptr<textFile::TextReader> reader = OnFile(inputName_, [&] {
      return input_ == "-" ? std::make_unique<textFile::TextReader>(STDIN_FILENO, readOptions)
                           : std::make_unique<textFile::TextReader>(input_, readOptions);
    });
    const std::string target = TargetPath();
    const std::string targetName = target.empty() ? "standard output" : ShownName(target);
    const bool toStandardOutput = target.empty();
    std::unique_ptr<textFile::FileWriter> file = OnFile(targetName, [&] {
      return toStandardOutput
                 ? std::make_unique<textFile::FileWriter>(STDOUT_FILENO)
                 : std::make_unique<textFile::FileWriter>(target, textFile::WriteOptions{});
    });
    ResultSink sink(*file, {options_.outputEncoding, options_.crlf},
                    toStandardOutput ? kHeldOutputBytes : 0);
    mdlFlexConv::Converter converter(
        mdlFlexConv::StyleAt(options_.style),
        {options_.pokoru, options_.first, options_.second, options_.force});

    TextPosition position;
    std::u16string piece;
    std::u16string converted;
    for (bool more = true; more;) {
      piece.clear();
      more = OnFile(inputName_, [&] { return reader->Read(piece); });
      CheckWritable(piece, position);
      position.Advance(piece);
      converted.clear();
      converter.Push(piece, converted);
      if (!more) {
        converter.Finish(converted);
      }
      OnFile(
          targetName, [&] { sink.Add(converted); }, toStandardOutput);
    }
    OnFile(
        targetName, [&] { sink.Finish(); }, toStandardOutput);
  }

 private:
  std::string TargetPath() const {
    switch (options_.destination) {
      case Destination::StandardOutput:
        return {};
      case Destination::OutputFile:
        return options_.output;
      case Destination::OutputFolder:
        return options_.output + "/" + fileSystem::SplitPath(input_).second;
      case Destination::InPlace:
        return input_;
    }
    return {};
  }

  // The engine's own words are in both encodings, so an input the output
  // encoding can hold gives a result it can hold.
  void CheckWritable(std::u16string_view piece, const TextPosition& position) const {
    if (const auto at = textCodec::FindUnencodable(options_.outputEncoding, piece)) {
      const textFile::UnencodableText unencodable{options_.outputEncoding,
                                                  position.Locate(piece, *at)};
      throw Failure{inputName_ + ": " + Describe(unencodable)};
    }
  }

  const Options& options_;
  const std::string& input_;
  std::string inputName_;
};

}  // namespace

int ConvertAll(const Options& options) {
  int status = 0;
  for (const std::string& input : options.inputs) {
    try {
      Conversion(options, input).Run();
    } catch (const Failure& failure) {
      PrintError(failure.message);
      status = 1;
      if (failure.stopsTheRun) {
        break;
      }
    } catch (const std::bad_alloc&) {
      PrintError(NameOfInput(input) + ": not enough memory to convert it");
      status = 1;
    }
  }
  return status;
}

}  // namespace pokopenConvert
