// The text files the window loads and saves, through the program's one reader
// and writer. Failures are thrown as RuntimeErrorException, naming the path,
// for an ErrorTrap step to report.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "errorTrap.h"
#include "textReader.h"
#include "textWriter.h"

namespace mdlPokoConv {

// A file that the program does not read by a rule of its own (its encoding,
// NUL bytes, invalid bytes, not a regular file): nothing failed, so the window
// tells the person plainly instead of reporting an error.
class RefusedFileException : public RuntimeErrorException {
 public:
  using RuntimeErrorException::RuntimeErrorException;
};

// The whole text of a file, every line followed by CR LF: the encoding is
// detected and line breaks come out as the reader gives them (a lone LF stays
// inside its line only in code page 932 text). A file refused for what it
// holds throws RefusedFileException; a failure of the system, the plain
// RuntimeErrorException.
std::u16string LoadTextFile(std::u16string_view path, const textFiles::Progress& progress = {});

// The two ways the window saves a text: code page 932 with every line break
// as CR LF, and UTF-8 with every CR LF as LF, as Linux programs expect.
enum class SaveFormat { Cp932, Utf8 };

// Saves a text so that the target is replaced only once the whole text is
// written: Create prepares the target, WriteText writes to it, Close puts it
// in the target's place. After a failed step every later WriteText fails with
// the same error, and Close only cleans up without an error of its own. A
// writer that was never closed leaves the target as it was.
class TextFileWriter {
 public:
  TextFileWriter();
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  void Create(std::u16string_view path, SaveFormat format = SaveFormat::Cp932);
  // Writes text and a line break: in code page 932 always CR LF after it, in
  // UTF-8 a LF unless the text already ends with a line break. A character
  // that the format's encoding cannot hold fails the save before anything is
  // written.
  void WriteText(std::u16string_view text, const textFiles::Progress& progress = {});
  void Close();

 private:
  [[noreturn]] void Fail(RuntimeError error);

  std::u16string path_;  // as the caller named it, for messages
  textFiles::WriteFormat format_;
  std::unique_ptr<textFiles::FileWriter> file_;
  std::optional<RuntimeError> failure_;
};

}  // namespace mdlPokoConv
