#include "conversion.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "files.h"
#include "mdlFlexConv.h"
#include "textCodec.h"

namespace pokopenConvert {

namespace {

// Big enough to keep the per-piece overhead small, small enough for the
// engine's buffers to stay in the cache.
constexpr std::size_t kPieceUnits = std::size_t{1} << 16;

int EngineFlag(bool set) {
  return set ? 1 : 0;
}

std::string CodePointText(char32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
  return text;
}

constexpr std::size_t kReadBytes = std::size_t{1} << 20;

bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// How much of bytes, which may end inside a character, can be decoded on its
// own exactly as it would be within the whole input, error offsets included.
std::size_t DecodableLength(std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::Utf8) {
    // Characters begin at any byte that is not a continuation byte; a run of
    // four continuation bytes is an error wherever the input is cut.
    const std::size_t lowest = bytes.size() > 4 ? bytes.size() - 4 : 0;
    for (std::size_t at = bytes.size(); at-- > lowest;) {
      if (!IsUtf8Continuation(bytes[at])) {
        return at;
      }
    }
    return bytes.size();
  }
  // In code page 932 a byte below 0x40 is neither a lead nor a trail byte, so
  // a character ends with it.
  for (std::size_t at = bytes.size(); at-- > 0;) {
    if (static_cast<unsigned char>(bytes[at]) < 0x40) {
      return at + 1;
    }
  }
  return 0;
}

void DecodeAppend(std::string_view bytes, Encoding encoding, std::size_t offset,
                  const std::string& name, std::u16string& text) {
  const textCodec::Decoded decoded =
      encoding == Encoding::Utf8 ? textCodec::DecodeUtf8(bytes) : textCodec::DecodeCp932(bytes);
  if (decoded.error) {
    const char* what = encoding == Encoding::Utf8 ? "invalid UTF-8" : "invalid code page 932";
    throw Failure(name, std::string(what) + " at byte offset " +
                            std::to_string(offset + decoded.error->byteOffset));
  }
  text.append(decoded.text);
}

// Reads and decodes the whole input a megabyte at a time, so that its bytes
// never need to be held all at once.
std::u16string ReadText(const std::string& path, Encoding encoding) {
  InputFile input(path);
  std::u16string text;
  if (input.SizeHint() > 0) {
    // A byte never gives more than one code unit.
    text.reserve(input.SizeHint());
    AdviseHugePages(text.data(), text.capacity() * sizeof(char16_t));
  }
  std::string buffer(kReadBytes, '\0');
  std::size_t held = 0;     // bytes at the start of buffer not yet decoded
  std::size_t decoded = 0;  // bytes of the input decoded so far
  for (;;) {
    if (held == buffer.size()) {
      buffer.resize(buffer.size() * 2);
    }
    const std::size_t count = input.Read(buffer.data() + held, buffer.size() - held);
    const std::string_view available(buffer.data(), held + count);
    const std::size_t length = count == 0 ? available.size() : DecodableLength(available, encoding);
    DecodeAppend(available.substr(0, length), encoding, decoded, input.Name(), text);
    decoded += length;
    held = available.size() - length;
    std::copy(available.begin() + static_cast<std::ptrdiff_t>(length), available.end(),
              buffer.begin());
    if (count == 0) {
      return text;
    }
  }
}

// The engine's own words are all representable in both encodings, so an
// input that the output encoding can hold gives a result it can hold.
void CheckRepresentable(std::u16string_view text, Encoding encoding, const std::string& name) {
  if (encoding != Encoding::Cp932) {
    return;
  }
  if (const auto unencodable = textCodec::FindUnencodableCp932(text)) {
    throw Failure(name, "line " + std::to_string(unencodable->line) + ", column " +
                            std::to_string(unencodable->column) + ": " +
                            CodePointText(unencodable->codePoint) +
                            " cannot be written in code page 932");
  }
}

bool IsLineBreak(char16_t unit) {
  return unit == u'\r' || unit == u'\n';
}

// Fills piece with the text from position on, about kPieceUnits of it, every
// line break (CR LF, a lone CR, a lone LF) written as CR LF, as the rules
// expect. Returns where the next piece starts.
std::size_t NextPiece(std::u16string_view text, std::size_t position, std::u16string& piece) {
  piece.clear();
  const std::size_t end = std::min(text.size(), position + kPieceUnits);
  while (position < end) {
    const auto stop = std::find_if(text.begin() + position, text.begin() + end, IsLineBreak);
    const std::size_t run = static_cast<std::size_t>(stop - text.begin()) - position;
    piece.append(text.substr(position, run));
    position += run;
    if (position < end) {
      piece.append(u"\r\n");
      const bool pair =
          text[position] == u'\r' && position + 1 < text.size() && text[position + 1] == u'\n';
      position += pair ? 2 : 1;
    }
  }
  return position;
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Turns the converted text into output bytes: CR LF as LF unless asked to
// keep it, then encoded, a surrogate pair never split between two writes.
class ResultWriter {
 public:
  ResultWriter(Output& output, Encoding encoding, bool crlf)
      : output_(output), encoding_(encoding), crlf_(crlf) {
    bytes_.reserve(kPieceUnits * 4);
  }

  void Add(std::u16string_view converted) {
    if (crlf_) {
      units_.append(converted);
    } else {
      AppendWithLineFeeds(converted);
    }
    Flush(false);
  }

  void Finish() {
    if (pendingCarriageReturn_) {
      units_.push_back(u'\r');
      pendingCarriageReturn_ = false;
    }
    Flush(true);
  }

 private:
  void AppendWithLineFeeds(std::u16string_view converted) {
    for (std::size_t position = 0; position < converted.size();) {
      if (pendingCarriageReturn_) {
        pendingCarriageReturn_ = false;
        if (converted[position] != u'\n') {
          units_.push_back(u'\r');
        }
      }
      const std::size_t cr = std::min(converted.find(u'\r', position), converted.size());
      units_.append(converted.substr(position, cr - position));
      if (cr < converted.size()) {
        pendingCarriageReturn_ = true;
      }
      position = cr + 1;
    }
  }

  void Flush(bool textEnded) {
    const bool holdLast = !textEnded && !units_.empty() && IsHighSurrogate(units_.back());
    const std::u16string_view ready =
        std::u16string_view(units_).substr(0, units_.size() - (holdLast ? 1 : 0));
    bytes_.clear();
    if (encoding_ == Encoding::Utf8) {
      textCodec::AppendUtf8(ready, bytes_);
    } else {
      textCodec::AppendCp932(ready, bytes_);
    }
    output_.Write(bytes_);
    units_.erase(0, ready.size());
  }

  Output& output_;
  Encoding encoding_;
  bool crlf_;
  bool pendingCarriageReturn_ = false;
  std::u16string units_;
  std::string bytes_;
};

// Converted pieces go from the converting thread to the writing thread
// through a short queue, and the spent buffers come back for reuse, so the
// engine keeps one core busy while the other encodes and writes.
class PieceQueue {
 public:
  std::u16string TakeEmpty() {
    const std::lock_guard lock(mutex_);
    if (spare_.empty()) {
      return {};
    }
    std::u16string buffer = std::move(spare_.back());
    spare_.pop_back();
    buffer.clear();
    return buffer;
  }

  // Waits while the queue is full; throws what stopped the writer.
  void Put(std::u16string piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ready_.size() < kDepth || failure_; });
    if (failure_) {
      std::rethrow_exception(failure_);
    }
    ready_.push_back(std::move(piece));
    changed_.notify_all();
  }

  // No more pieces: the writer finishes the text, or, when abandoned, stops.
  void Close(bool abandon) {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    abandoned_ = abandon;
    changed_.notify_all();
  }

  // The next piece to write; none once the queue is closed and empty, or abandoned.
  std::optional<std::u16string> Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || closed_; });
    if (abandoned_ || ready_.empty()) {
      return std::nullopt;
    }
    std::u16string piece = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return piece;
  }

  void Recycle(std::u16string buffer) {
    const std::lock_guard lock(mutex_);
    spare_.push_back(std::move(buffer));
  }

  bool Abandoned() {
    const std::lock_guard lock(mutex_);
    return abandoned_;
  }

  void Fail(std::exception_ptr failure) {
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
    changed_.notify_all();
  }

  std::exception_ptr Failure() {
    const std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  static constexpr std::size_t kDepth = 4;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::u16string> ready_;
  std::vector<std::u16string> spare_;
  bool closed_ = false;
  bool abandoned_ = false;
  std::exception_ptr failure_;
};

void WriteFromQueue(PieceQueue& queue, ResultWriter& writer) {
  try {
    while (std::optional<std::u16string> piece = queue.Next()) {
      writer.Add(*piece);
      queue.Recycle(std::move(*piece));
    }
    if (!queue.Abandoned()) {
      writer.Finish();
    }
  } catch (...) {
    queue.Fail(std::current_exception());
  }
}

void ConvertInPieces(std::u16string_view text, const Options& options, Output& output) {
  mdlFlexConv::Converter converter = mdlFlexConv::Converter::SpeechStyle(
      options.style, EngineFlag(options.pokoru), EngineFlag(options.first),
      EngineFlag(options.second), EngineFlag(options.force));
  ResultWriter writer(output, options.outputEncoding, options.crlf);
  PieceQueue queue;
  std::thread writing(WriteFromQueue, std::ref(queue), std::ref(writer));
  try {
    std::u16string piece;
    piece.reserve(kPieceUnits * 2);
    for (std::size_t position = 0; position < text.size();) {
      position = NextPiece(text, position, piece);
      std::u16string converted = queue.TakeEmpty();
      converter.Push(piece, converted);
      queue.Put(std::move(converted));
    }
    std::u16string rest = queue.TakeEmpty();
    converter.Finish(rest);
    queue.Put(std::move(rest));
    queue.Close(false);
  } catch (...) {
    queue.Close(true);
    writing.join();
    throw;
  }
  writing.join();
  if (const std::exception_ptr failure = queue.Failure()) {
    std::rethrow_exception(failure);
  }
}

}  // namespace

void Convert(const Options& options) {
  const std::string inputName = InputName(options.inputPath);
  try {
    const std::u16string text = ReadText(options.inputPath, options.inputEncoding);
    CheckRepresentable(text, options.outputEncoding, inputName);
    Output output(options.outputPath);
    ConvertInPieces(text, options, output);
    output.Commit();
  } catch (const std::bad_alloc&) {
    throw Failure(inputName, "not enough memory to convert it");
  }
}

}  // namespace pokopenConvert
