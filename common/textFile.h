// The text files the window loads and saves. Failures are thrown as
// RuntimeErrorException, naming the path, for an ErrorTrap step to report.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "errorTrap.h"
#include "replacingFile.h"

namespace mdlPokoConv {

// The whole text of a file, every line followed by CR LF (a line ends at CR LF
// or a lone CR; a lone LF stays inside its line). A file that starts with a
// UTF-8 byte-order mark, or is valid UTF-8 with non-ASCII text, is read as
// UTF-8; any other as code page 932. Bytes that are not valid text are an
// error naming their offset: nothing is replaced.
std::u16string LoadTextFile(std::u16string_view path);

// Saves a text in code page 932 so that the target is replaced only once the
// whole text is written: Create makes a temporary file beside the target,
// WriteText writes to it, Close puts it in the target's place with the
// target's permissions. After a failed step every later WriteText fails with
// the same error, and Close only cleans up without an error of its own. A
// writer that was never closed removes its temporary file.
class TextFileWriter {
 public:
  TextFileWriter() = default;
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  void Create(std::u16string_view path);
  // Writes text followed by one CR LF. A character that code page 932 cannot
  // hold fails the save before anything is written.
  void WriteText(std::u16string_view text);
  void Close();

 private:
  [[noreturn]] void Fail(RuntimeError error);
  void Discard() noexcept;

  std::u16string path_;  // as the caller named it, for messages
  std::optional<replacingFile::ReplacingFile> file_;
  std::optional<RuntimeError> failure_;
};

}  // namespace mdlPokoConv
