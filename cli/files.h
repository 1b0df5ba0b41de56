// Reading the whole input and writing the output, with every failure turned
// into a Failure that names the file and what went wrong.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "replacingFile.h"

namespace pokopenConvert {

// A one-line message: the file as the user named it, then what is wrong.
class Failure : public std::runtime_error {
 public:
  Failure(std::string_view file, std::string_view what);
};

// The name of a path in messages: "-" is standard input or output.
std::string InputName(std::string_view path);
std::string OutputName(std::string_view path);

// The input file, or standard input for "-", read in large pieces.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  const std::string& Name() const { return name_; }
  // The size of a regular file, or 0 when it cannot be known beforehand.
  std::size_t SizeHint() const { return sizeHint_; }
  // Reads up to room bytes; 0 at the end of the input.
  std::size_t Read(char* into, std::size_t room);

 private:
  std::string name_;
  int fd_ = -1;
  bool ownsFd_ = false;
  std::size_t sizeHint_ = 0;
};

// Asks for huge pages for the whole pages inside a large block about to be
// filled, so that filling it takes few page faults.
void AdviseHugePages(void* block, std::size_t bytes);

// Where the result goes. A regular file (new or existing) is written to a
// temporary file in the same folder and renamed over the target by Commit, so
// the target changes all at once or not at all; standard output and existing
// special files (a terminal, /dev/null, a pipe) are written directly.
class Output {
 public:
  explicit Output(const std::string& path);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~Output();

  void Write(std::string_view bytes);
  void Commit();

 private:
  void Discard() noexcept;

  std::string name_;                                  // for messages
  std::optional<replacingFile::ReplacingFile> file_;  // when replacing a regular file
  int fd_ = -1;                                       // when written directly
  bool ownsFd_ = false;
};

// Writes all of bytes to standard output; for --help and --version.
void WriteToStandardOutput(std::string_view bytes);

}  // namespace pokopenConvert
